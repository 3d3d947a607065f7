// CWaiter: waits on several events at once. Events are added with <<, and
// Wait returns the 1-based position of a signalled event in the order they
// were added (the first such position when several are set), or 130 when the
// timeout ran out. An auto-reset event is cleared by the Wait that reports
// it. CWaitInterval: a deadline on the steady clock, for loops that wait
// "until the interval is over" across several wake-ups.
#pragma once

#include <chrono>
#include <vector>

#include "TLX/Event.h"

namespace TLX {
namespace Threading {

class CWaiter {
 public:
  CWaiter& operator<<(CEvent& event);

  // `waitAll` is accepted for the host's signature and must be false.
  int Wait(unsigned timeoutMs, bool waitAll = false);

 private:
  std::vector<CEvent*> m_Events;
};

class CWaitInterval {
 public:
  explicit CWaitInterval(unsigned ms) { Restart(ms); }

  // Starts a new interval of `ms` milliseconds from now.
  void Restart(unsigned ms);

  // Milliseconds left, 0 once the interval is over.
  unsigned Remaining() const;
  operator unsigned() const { return Remaining(); }

 private:
  std::chrono::steady_clock::time_point m_End;
};

}  // namespace Threading
}  // namespace TLX
