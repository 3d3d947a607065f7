#include "TLX/Thread.h"

#include <cxxabi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>

#include "HostInternal.h"
#include "TLX/Mutex.h"
#include "TLX/Trace.h"
#include "TLXX/SystemTime.h"

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

std::atomic<unsigned> g_Running{0};
std::mutex g_EndingsLock;
std::deque<ThreadEnding> g_Endings;  // guarded by g_EndingsLock
uint64_t g_EndingCount = 0;          // guarded by g_EndingsLock

void RecordEnding(ThreadEnding ending) noexcept {
  try {
    ending.timeMs = TLXX::CSystemTime_Lx::Now();
    std::lock_guard<std::mutex> lock(g_EndingsLock);
    ending.sequence = ++g_EndingCount;
    if (g_Endings.size() == kKeptEndings) g_Endings.pop_front();
    g_Endings.push_back(std::move(ending));
  } catch (...) {  // out of memory: the ending goes unrecorded
  }
}

// Marks the thread as ended on every way out of its routine: return,
// exception or cancellation (the ending stays kCancelled unless the routine
// returned or threw), and records how.
class EndMarker {
 public:
  explicit EndMarker(CThread::State& state) : m_State(state) {
    m_Ending.how = ThreadEnding::How::kCancelled;
  }
  ~EndMarker() {
    hostfw::NoCancelScope noCancel;
    RecordEnding(std::move(m_Ending));
    g_Running.fetch_sub(1);
    std::lock_guard<std::mutex> lock(m_State.m_Lock);
    m_State.m_Ended = true;
    m_State.m_EndedCv.notify_all();
  }
  EndMarker(const EndMarker&) = delete;
  EndMarker& operator=(const EndMarker&) = delete;

  void Returned() { m_Ending.how = ThreadEnding::How::kReturned; }
  void Threw(const char* what) noexcept {
    m_Ending.how = ThreadEnding::How::kException;
    try {
      m_Ending.what = what;
    } catch (...) {  // out of memory: the ending keeps no text
    }
  }

 private:
  CThread::State& m_State;
  ThreadEnding m_Ending;
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
    marker.Returned();
  } catch (const std::exception& e) {
    marker.Threw(e.what());
    Internals::HostTrace(std::string("thread routine ended by an exception: ") + e.what());
  } catch (...) {
    // Cancellation unwinds with glibc's forced-unwind exception, which has no
    // C++ type (nor an object, so it is not caught by reference here): it
    // must go on to finish the thread.
    if (abi::__cxa_current_exception_type() == nullptr) throw;
    marker.Threw("unknown exception");
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
  g_Running.fetch_add(1);  // before the thread can end
  if (pthread_create(&m_State->m_Thread, nullptr, HostThreadEntry, arg.get()) != 0) {
    g_Running.fetch_sub(1);
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

unsigned RunningRoutines() { return g_Running.load(); }

std::vector<ThreadEnding> RecentEndings() {
  std::lock_guard<std::mutex> lock(g_EndingsLock);
  return std::vector<ThreadEnding>(g_Endings.begin(), g_Endings.end());
}

uint64_t EndingCount() {
  std::lock_guard<std::mutex> lock(g_EndingsLock);
  return g_EndingCount;
}

std::string Describe(const ThreadEnding& ending) {
  switch (ending.how) {
    case ThreadEnding::How::kReturned:
      return "returned";
    case ThreadEnding::How::kCancelled:
      return "cancelled";
    case ThreadEnding::How::kException:
      break;
  }
  return "ended by an exception: " + ending.what;
}

}  // namespace Threading
}  // namespace TLX
