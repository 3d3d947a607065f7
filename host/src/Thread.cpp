#include "TLX/Thread.h"

#include <cxxabi.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>

#include "HostInternal.h"
#include "TLX/Mutex.h"
#include "TLX/Trace.h"

namespace TLX {
namespace Threading {

struct CThread::State {
  std::mutex m_Lock;
  std::condition_variable m_EndedCv;
  Delegate m_Routine;
  pthread_t m_Thread{};
  bool m_Started = false;  // guarded by m_Lock; a native thread exists until joined
  bool m_Ended = false;    // guarded by m_Lock
  bool m_Joined = false;   // guarded by m_Lock
};

namespace {

using StatePtr = std::shared_ptr<CThread::State>;

// Marks the thread as ended on every way out of its routine: return,
// exception or cancellation.
class EndMarker {
 public:
  explicit EndMarker(CThread::State& state) : m_State(state) {}
  ~EndMarker() {
    std::lock_guard<std::mutex> lock(m_State.m_Lock);
    m_State.m_Ended = true;
    m_State.m_EndedCv.notify_all();
  }
  EndMarker(const EndMarker&) = delete;
  EndMarker& operator=(const EndMarker&) = delete;

 private:
  CThread::State& m_State;
};

}  // namespace

// Entry point of every native thread; `arg` is an owned StatePtr.
extern "C" void* HostThreadEntry(void* arg);

void* HostThreadEntry(void* arg) {
  std::unique_ptr<StatePtr> owned(static_cast<StatePtr*>(arg));
  StatePtr state = *owned;
  owned.reset();
  EndMarker marker(*state);
  try {
    state->m_Routine();
  } catch (const std::exception& e) {
    Internals::HostTrace(std::string("thread routine ended by an exception: ") + e.what());
  } catch (...) {
    // Cancellation unwinds with glibc's forced-unwind exception, which has no
    // C++ type (nor an object, so it is not caught by reference here): it
    // must go on to finish the thread.
    if (abi::__cxa_current_exception_type() == nullptr) throw;
    Internals::HostTrace("thread routine ended by an unknown exception");
  }
  return nullptr;
}

CThread::CThread() : m_State(std::make_shared<State>()) {}

CThread::~CThread() {
  hostfw::NoCancelScope noCancel;
  pthread_t thread;
  {
    std::lock_guard<std::mutex> lock(m_State->m_Lock);
    if (!m_State->m_Started || m_State->m_Joined) return;
    thread = m_State->m_Thread;
    m_State->m_Joined = true;
    if (pthread_equal(thread, pthread_self())) {
      pthread_detach(thread);  // destroyed by its own routine
      return;
    }
    if (!m_State->m_Ended) pthread_cancel(thread);
  }
  pthread_join(thread, nullptr);
}

bool CThread::Create(Delegate routine, bool suspended) {
  if (suspended || !routine) return false;
  std::lock_guard<std::mutex> lock(m_State->m_Lock);
  if (m_State->m_Started) return false;
  m_State->m_Routine = std::move(routine);
  auto arg = std::make_unique<StatePtr>(m_State);
  if (pthread_create(&m_State->m_Thread, nullptr, HostThreadEntry, arg.get()) != 0) {
    m_State->m_Routine.clear();
    return false;
  }
  static_cast<void>(arg.release());  // now owned by the new thread
  m_State->m_Started = true;
  return true;
}

int CThread::Wait(unsigned timeoutMs) {
  pthread_t thread;
  {
    std::unique_lock<std::mutex> lock(m_State->m_Lock);
    if (!m_State->m_Started || m_State->m_Joined) return 0;
    if (pthread_equal(m_State->m_Thread, pthread_self())) return kWaitTimeout;  // itself
    auto ended = [this] { return m_State->m_Ended; };
    if (timeoutMs == kInfinite) {
      m_State->m_EndedCv.wait(lock, ended);
    } else if (!m_State->m_EndedCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
      return kWaitTimeout;
    }
    m_State->m_Joined = true;
    thread = m_State->m_Thread;
  }
  // The routine has returned; the join only collects the native thread.
  hostfw::NoCancelScope noCancel;
  pthread_join(thread, nullptr);
  return 0;
}

bool CThread::HasNativeThread() const {
  std::lock_guard<std::mutex> lock(m_State->m_Lock);
  return m_State->m_Started && !m_State->m_Joined;
}

bool CThread::Cancel() {
  std::lock_guard<std::mutex> lock(m_State->m_Lock);
  if (!m_State->m_Started || m_State->m_Joined || m_State->m_Ended) return false;
  return pthread_cancel(m_State->m_Thread) == 0;
}

}  // namespace Threading
}  // namespace TLX
