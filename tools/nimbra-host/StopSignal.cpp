#include "StopSignal.h"

#include <pthread.h>

namespace nimbra_host {

StopSignal::StopSignal() {
  sigemptyset(&m_Signals);
  sigaddset(&m_Signals, SIGINT);
  sigaddset(&m_Signals, SIGTERM);
  sigaddset(&m_Signals, SIGHUP);
  sigaddset(&m_Signals, SIGQUIT);
  pthread_sigmask(SIG_BLOCK, &m_Signals, &m_PreviousMask);
  m_Thread = std::thread(&StopSignal::Watch, this);
}

StopSignal::~StopSignal() {
  m_Quit = true;
  // A signal aimed at the watching thread ends its sigwait (it is blocked
  // there, so it terminates nothing).
  pthread_kill(m_Thread.native_handle(), SIGTERM);  // NOLINT(bugprone-bad-signal-to-kill-thread)
  m_Thread.join();
  pthread_sigmask(SIG_SETMASK, &m_PreviousMask, nullptr);
}

void StopSignal::Watch() {
  for (;;) {
    int signal = 0;
    if (sigwait(&m_Signals, &signal) != 0) continue;
    if (m_Quit) return;
    Request(signal);
  }
}

void StopSignal::Request(int signal) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    int none = 0;
    if (m_Signal.compare_exchange_strong(none, signal)) hook = m_Hook;
  }
  m_Stopped.notify_all();
  if (hook) hook();
}

void StopSignal::OnStop(const std::function<void()>& hook) {
  bool now = false;
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Hook = hook;
    now = Requested();
  }
  if (now && hook) hook();
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_Lock);
  return m_Stopped.wait_for(lock, timeout, [this] { return Requested(); });
}

void StopSignal::Wait() {
  std::unique_lock<std::mutex> lock(m_Lock);
  m_Stopped.wait(lock, [this] { return Requested(); });
}

}  // namespace nimbra_host
