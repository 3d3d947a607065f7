// CThread: one native thread running a bound routine. The CThread owns the
// native thread: Wait collects (joins) it once it has ended, and destroying a
// CThread whose thread still runs cancels it and joins it.
//
// An exception that escapes the routine is traced (module "hostfw", level 1)
// and ends the thread; it never reaches std::terminate.
//
// Cancel (pthread_cancel) asks the native thread to end at its next
// cancellation point: TLX waits and msleep at once, ExecuteCommand within
// 100 ms, and any POSIX cancellation point in the routine's own code. The
// stack is unwound, so guards release their locks and a running command's
// process group is killed and reaped. A routine that catches (...) must
// rethrow the unwinding (abi::__forced_unwind). Under the sanitizers, prefer
// TLX waits to raw poll, read or nanosleep in a routine that may be
// cancelled: a cancellation inside their interceptors confuses the runtime.
//
// The members may be called from any thread, but one CThread is meant to be
// driven by one owner; it is not copyable.
//
// Endings: every routine's end is kept in a small process-wide log (the
// last kKeptEndings, oldest first): how it ended, an escaped exception's
// text, and when. RunningRoutines counts the routines started and not yet
// ended, so a host can tell that a plug-in's thread has gone and say why.
// Both are thread-safe.
#pragma once

#include <pthread.h>
#include <boost/function.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TLX {
namespace Threading {

class CThread {
 public:
  using Delegate = boost::function<void()>;

  CThread();
  virtual ~CThread();
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // Starts `routine` on a new thread. `suspended` must be false. Returns
  // true when the thread started; false when it could not, or when this
  // object has started a thread before (one CThread runs one thread).
  bool Create(Delegate routine, bool suspended);

  // 0 once the thread has ended (or never existed): the native thread is then
  // joined. 130 (kWaitTimeout) while it still runs after `timeoutMs`
  // milliseconds of waiting (0 only looks; all ones waits without limit).
  // Called by the thread on itself it returns 130 at once.
  int Wait(unsigned timeoutMs);

  // True while a native thread exists (started and not yet joined by Wait).
  bool HasNativeThread() const;

  // Cancels the native thread (see above) without waiting for it; follow
  // with Wait. Returns true when asked, false when there is no running
  // thread.
  bool Cancel();

  struct State;  // shared with the native thread; an implementation detail

 private:
  std::shared_ptr<State> m_State;
};

struct ThreadEnding {
  enum class How { kReturned, kCancelled, kException };
  How how = How::kReturned;
  std::string what;       // kException: what() ("unknown exception" without one)
  uint64_t timeMs = 0;    // wall clock, ms since the epoch
  uint64_t sequence = 0;  // 1 for the first ending in the process, then 2, 3...
};

constexpr size_t kKeptEndings = 32;

// Routines started by Create whose end has not come yet (a thread counts
// from Create's return until its routine has returned, thrown or unwound).
unsigned RunningRoutines();

// The kept endings, oldest first, and the number of endings so far.
std::vector<ThreadEnding> RecentEndings();
uint64_t EndingCount();

// "returned", "cancelled", or "ended by an exception: TEXT".
std::string Describe(const ThreadEnding& ending);

}  // namespace Threading
}  // namespace TLX
