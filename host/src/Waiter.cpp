#include "TLX/Waiter.h"

#include "EventState.h"
#include "TLX/Mutex.h"

namespace TLX {
namespace Threading {

CWaiter& CWaiter::operator<<(CEvent& event) {
  m_Events.push_back(&event);
  return *this;
}

int CWaiter::Wait(unsigned timeoutMs, bool waitAll) {
  if (waitAll) return 0;
  std::vector<std::shared_ptr<detail::EventState>> states;
  states.reserve(m_Events.size());
  for (CEvent* event : m_Events) states.push_back(event->m_State);
  return detail::WaitAny(states, timeoutMs);
}

void CWaitInterval::Restart(unsigned ms) {
  m_End = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

unsigned CWaitInterval::Remaining() const {
  const auto left = m_End - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  // Rounded up, so that waiting for the remainder never ends early.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms >= static_cast<long long>(kInfinite) ? kInfinite - 1 : static_cast<unsigned>(ms);
}

}  // namespace Threading
}  // namespace TLX
