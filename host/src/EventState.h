// Shared state behind TLX::Threading::CEvent and the wait on several events.
//
// A wait registers a WaitNode with every event it waits on, then scans the
// events; Set marks the event and pulses every registered node. Because the
// node is registered before the scan and the pulse is latched in the node, a
// Set between the scan and the sleep is never lost.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace TLX {
namespace Threading {
namespace detail {

struct WaitNode {
  std::mutex m_Lock;
  std::condition_variable m_Pulse;
  bool m_Pulsed = false;  // guarded by m_Lock
};

struct EventState {
  std::mutex m_Lock;
  bool m_Initialised = false;                        // guarded by m_Lock
  bool m_ManualReset = false;                        // guarded by m_Lock
  bool m_Signalled = false;                          // guarded by m_Lock
  std::vector<std::shared_ptr<WaitNode>> m_Waiters;  // guarded by m_Lock

  // Takes the signal: true when set; an auto-reset event is cleared.
  bool TryConsume();
};

// Waits until one of `events` is signalled: its 1-based position, or 130
// after `timeoutMs` (kInfinite: no limit). Null entries never signal.
int WaitAny(const std::vector<std::shared_ptr<EventState>>& events, unsigned timeoutMs);

}  // namespace detail
}  // namespace Threading
}  // namespace TLX
