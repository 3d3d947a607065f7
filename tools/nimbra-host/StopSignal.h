// StopSignal: turns Ctrl-C (SIGINT), SIGTERM, SIGHUP and SIGQUIT into a
// request that the harness polls or waits for, so that it always leaves
// through its normal path: DeInitialize, releaseIf, removal of temporary
// files. A hook set with OnStop runs once, on the first request, on the
// thread that makes it (the watching thread for a signal), so that the
// harness can end what the main thread is stuck in (tool runs).
//
// The constructor blocks these signals in the calling thread, so it must run
// in main before any other thread exists: every thread started later
// inherits the mask, and only StopSignal's own thread receives the signals
// (with sigwait). Child processes are unaffected; the host's command
// execution resets their mask. A signal the process inherited as ignored
// (a non-interactive shell starts background jobs with SIGINT ignored, nohup
// ignores SIGHUP) stays ignored. The destructor stops that thread and
// restores the caller's mask. One StopSignal per process.
//
// Thread-safety: Requested, WaitFor and Wait may be called from any thread.
#pragma once

#include <signal.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace nimbra_host {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // True once one of the signals has arrived (later signals change nothing).
  bool Requested() const { return m_Signal.load() != 0; }
  // The first signal that arrived, 0 before.
  int Signal() const { return m_Signal.load(); }

  // Waits until a stop is requested or `timeout` has passed; true when
  // requested.
  bool WaitFor(std::chrono::milliseconds timeout);
  // Waits until a stop is requested.
  void Wait();

  // Requests a stop as a signal would (tests, and the harness's own limits).
  void Request(int signal);

  // Sets the hook for the first request; runs it at once when a stop was
  // requested already. It must not call back into this object's waits.
  void OnStop(const std::function<void()>& hook);

 private:
  void Watch();

  sigset_t m_Signals;
  sigset_t m_PreviousMask;
  std::atomic<int> m_Signal{0};
  std::atomic<bool> m_Quit{false};
  std::mutex m_Lock;
  std::condition_variable m_Stopped;
  std::function<void()> m_Hook;  // guarded by m_Lock
  std::thread m_Thread;
};

}  // namespace nimbra_host
