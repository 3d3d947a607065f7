// CEvent: a signal that threads wait on, alone or through a CWaiter.
//
// Init(initiallySet, manualReset): a manual-reset event stays set until Reset
// and releases every waiter; an auto-reset event releases exactly one waiter
// per Set and is cleared by the wait that reports it (Sets that come while it
// is already set are not counted). No wake-up is lost: a Set before anyone
// waits is seen by the next wait, and a Set that races a waiter going to sleep
// wakes it. Before Init an event ignores Set and is never signalled.
//
// Timeouts are milliseconds on the steady clock: 0 only looks, kInfinite (all
// ones) waits without limit. Waits are cancellation points. All members are
// safe from any thread. The event is not copyable; it must outlive every
// CWaiter that holds it (a wait in progress keeps the shared state alive).
#pragma once

#include <memory>

#include "TLX/Mutex.h"  // kInfinite, kWaitTimeout

namespace TLX {
namespace Threading {

namespace detail {
struct EventState;
}

class CEvent {
 public:
  CEvent();
  ~CEvent();
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  // Returns 1. May be called again to re-arm the event with new flags; a
  // waiter in progress keeps waiting on the re-armed event.
  int Init(bool initiallySet, bool manualReset);

  void Set();          // signals the event and wakes its waiters
  void Reset();        // clears the signal
  bool IsSet() const;  // a snapshot; another thread may change it at once

  // Waits for the event alone: 1 when signalled, 130 on time-out
  // (milliseconds; kInfinite waits without limit), 0 before Init.
  int Wait(unsigned timeoutMs);

 private:
  friend class CWaiter;
  std::shared_ptr<detail::EventState> m_State;
};

}  // namespace Threading
}  // namespace TLX
