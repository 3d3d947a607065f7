#include "TLX/Mutex.h"

#include <chrono>

namespace TLX {
namespace Threading {
namespace Native_OS {

void CSyncGuard::Release() {
  while (m_Count > 0 && m_Mutex != nullptr) {
    m_Mutex->Release();
    --m_Count;
  }
  m_Mutex = nullptr;
  m_Count = 0;
}

int CFastMutex::Init() {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Initialised = true;
  return 1;
}

int CFastMutex::Wait(CSyncGuard* guard, unsigned timeoutMs) {
  if (guard != nullptr && guard->m_Mutex != nullptr && guard->m_Mutex != this) guard->Release();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  {
    std::unique_lock<std::mutex> lock(m_Lock);
    if (!m_Initialised) return 0;
    const std::thread::id self = std::this_thread::get_id();
    if (m_Depth > 0 && m_Owner == self) {
      ++m_Depth;
    } else {
      auto isFree = [this] { return m_Depth == 0; };
      if (timeoutMs == kInfinite) {
        m_Free.wait(lock, isFree);
      } else if (!m_Free.wait_until(lock, deadline, isFree)) {
        return kWaitTimeout;
      }
      m_Owner = self;
      m_Depth = 1;
    }
  }
  if (guard != nullptr) {
    guard->m_Mutex = this;
    ++guard->m_Count;
  }
  return 1;
}

int CFastMutex::Release() {
  std::lock_guard<std::mutex> lock(m_Lock);
  if (m_Depth == 0 || m_Owner != std::this_thread::get_id()) return 0;
  if (--m_Depth > 0) return 1;
  m_Owner = std::thread::id();
  // Every waiter rechecks; notifying under the lock keeps the condition
  // variable alive for the call even if the mutex is destroyed right after,
  // and waking all means a waiter that is cancelled or times out as it is
  // woken cannot swallow the wake-up of the others.
  m_Free.notify_all();
  return 1;
}

bool CFastMutex::IsOwner() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Depth > 0 && m_Owner == std::this_thread::get_id();
}

}  // namespace Native_OS
}  // namespace Threading
}  // namespace TLX
