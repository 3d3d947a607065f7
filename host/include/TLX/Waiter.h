// CWaiter: waits on several events at once. Events are added with <<, and
// Wait returns the 1-based position of a signalled event in the order they
// were added (the first such position when several are set), or 130
// (kWaitTimeout) when the timeout ran out. Only the reported event is
// consumed: an auto-reset event is cleared by the Wait that reports it, and
// any other set event stays set for the next Wait. No wake-up is lost (see
// CEvent). Timeouts: 0 only looks, kInfinite (all ones) waits without limit.
// Wait is a cancellation point.
//
// The waiter holds pointers to its events, not the events: each must outlive
// the waiter. One waiter is used by one thread at a time; several waiters may
// wait on the same event from different threads.
//
// CWaitInterval: a deadline on the steady clock, for loops that wait "until
// the interval is over" across several wake-ups. Not synchronised.
#pragma once

#include <chrono>
#include <vector>

#include "TLX/Event.h"

namespace TLX {
namespace Threading {

class CWaiter {
 public:
  CWaiter& operator<<(CEvent& event);

  // `waitAll` is accepted for the host's signature and must be false; true
  // returns 0 at once. With no events added, a Wait just times out.
  int Wait(unsigned timeoutMs, bool waitAll = false);

 private:
  std::vector<CEvent*> m_Events;
};

class CWaitInterval {
 public:
  explicit CWaitInterval(unsigned ms) { Restart(ms); }

  // Starts a new interval of `ms` milliseconds from now.
  void Restart(unsigned ms);

  // Milliseconds left, rounded up (so that waiting for them never ends early),
  // 0 once the interval is over.
  unsigned Remaining() const;
  operator unsigned() const { return Remaining(); }

 private:
  std::chrono::steady_clock::time_point m_End;
};

}  // namespace Threading
}  // namespace TLX
