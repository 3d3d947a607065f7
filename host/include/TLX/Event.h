// CEvent: a signal that threads wait on, alone or through a CWaiter.
// Init(initiallySet, manualReset): a manual-reset event stays set until Reset
// and wakes every waiter; an auto-reset event wakes one waiter and clears
// itself as that waiter returns. A Set before anyone waits is never lost: the
// next wait sees it. All members are safe from any thread; the event must
// outlive every waiter that holds it.
#pragma once

#include <memory>

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

  // Returns 1. May be called again to re-arm the event with new flags.
  int Init(bool initiallySet, bool manualReset);

  void Set();
  void Reset();
  bool IsSet() const;

  // Waits for the event alone: 1 when signalled, 130 on time-out
  // (milliseconds; kInfinite waits without limit), 0 before Init.
  int Wait(unsigned timeoutMs);

 private:
  friend class CWaiter;
  std::shared_ptr<detail::EventState> m_State;
};

}  // namespace Threading
}  // namespace TLX
