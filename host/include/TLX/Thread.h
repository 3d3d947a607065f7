// CThread: one native thread running a bound routine. An exception that
// escapes the routine is traced (module "hostfw", level 1) and ends the
// thread; it never reaches std::terminate. Cancel asks the native thread to
// end at its next cancellation point (a blocking read, wait or sleep); stack
// objects are unwound, so guards release their locks and child processes are
// killed and reaped. Destroying a CThread whose thread still runs cancels it
// and joins it.
#pragma once

#include <boost/function.hpp>
#include <memory>
#include <pthread.h>

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
  // true when the thread started; false when it could not or one already
  // exists.
  bool Create(Delegate routine, bool suspended);

  // 0 once the thread has ended (or never existed); 130 while it runs after
  // `timeoutMs` milliseconds of waiting.
  int Wait(unsigned timeoutMs);

  // True while a native thread exists (started and not yet joined).
  bool HasNativeThread() const;

  // Cancels the native thread (see above). Returns true when asked.
  bool Cancel();

 private:
  struct State;
  std::shared_ptr<State> m_State;
};

}  // namespace Threading
}  // namespace TLX
