#include "TLX/Event.h"

#include <algorithm>

#include "EventState.h"
#include "TLX/Mutex.h"

namespace TLX {
namespace Threading {

namespace detail {

bool EventState::TryConsume() {
  std::lock_guard<std::mutex> lock(m_Lock);
  if (!m_Initialised || !m_Signalled) return false;
  if (!m_ManualReset) m_Signalled = false;
  return true;
}

namespace {

void Pulse(const std::vector<std::shared_ptr<WaitNode>>& nodes) {
  for (const auto& node : nodes) {
    std::lock_guard<std::mutex> lock(node->m_Lock);
    node->m_Pulsed = true;
    node->m_Pulse.notify_all();
  }
}

// Keeps a node registered with a set of events for one wait; unregisters on
// every way out, a cancellation's unwinding included.
class Registration {
 public:
  Registration(const std::vector<std::shared_ptr<EventState>>& events,
               const std::shared_ptr<WaitNode>& node)
      : m_Events(events), m_Node(node) {
    for (const auto& event : m_Events) {
      if (!event) continue;
      std::lock_guard<std::mutex> lock(event->m_Lock);
      event->m_Waiters.push_back(m_Node);
    }
  }
  ~Registration() {
    for (const auto& event : m_Events) {
      if (!event) continue;
      std::lock_guard<std::mutex> lock(event->m_Lock);
      auto& list = event->m_Waiters;
      auto it = std::find(list.begin(), list.end(), m_Node);
      if (it != list.end()) list.erase(it);
    }
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

 private:
  const std::vector<std::shared_ptr<EventState>>& m_Events;
  std::shared_ptr<WaitNode> m_Node;
};

int Scan(const std::vector<std::shared_ptr<EventState>>& events) {
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i] && events[i]->TryConsume()) return static_cast<int>(i + 1);
  }
  return 0;
}

}  // namespace

int WaitAny(const std::vector<std::shared_ptr<EventState>>& events, unsigned timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (int found = Scan(events)) return found;
  if (timeoutMs == 0) return kWaitTimeout;

  auto node = std::make_shared<WaitNode>();
  Registration registration(events, node);
  for (;;) {
    if (int found = Scan(events)) return found;
    std::unique_lock<std::mutex> lock(node->m_Lock);
    auto pulsed = [&node] { return node->m_Pulsed; };
    if (timeoutMs == kInfinite) {
      node->m_Pulse.wait(lock, pulsed);
    } else if (!node->m_Pulse.wait_until(lock, deadline, pulsed)) {
      lock.unlock();
      const int found = Scan(events);  // a signal that raced the deadline still counts
      return found != 0 ? found : kWaitTimeout;
    }
    node->m_Pulsed = false;
  }
}

}  // namespace detail

CEvent::CEvent() : m_State(std::make_shared<detail::EventState>()) {}

CEvent::~CEvent() = default;

int CEvent::Init(bool initiallySet, bool manualReset) {
  std::vector<std::shared_ptr<detail::WaitNode>> waiters;
  {
    std::lock_guard<std::mutex> lock(m_State->m_Lock);
    m_State->m_Initialised = true;
    m_State->m_ManualReset = manualReset;
    m_State->m_Signalled = initiallySet;
    if (initiallySet) waiters = m_State->m_Waiters;
  }
  detail::Pulse(waiters);
  return 1;
}

void CEvent::Set() {
  std::vector<std::shared_ptr<detail::WaitNode>> waiters;
  {
    std::lock_guard<std::mutex> lock(m_State->m_Lock);
    if (!m_State->m_Initialised) return;
    m_State->m_Signalled = true;
    waiters = m_State->m_Waiters;
  }
  detail::Pulse(waiters);
}

void CEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_State->m_Lock);
  m_State->m_Signalled = false;
}

bool CEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(m_State->m_Lock);
  return m_State->m_Initialised && m_State->m_Signalled;
}

int CEvent::Wait(unsigned timeoutMs) {
  {
    std::lock_guard<std::mutex> lock(m_State->m_Lock);
    if (!m_State->m_Initialised) return 0;
  }
  return detail::WaitAny({m_State}, timeoutMs);
}

}  // namespace Threading
}  // namespace TLX
