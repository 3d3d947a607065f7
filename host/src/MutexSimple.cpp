// CFastMutex as a std::mutex and a condition variable guarding the owner, the
// depth and the number of waiters.
#include <chrono>

#include "TLX/Mutex.h"

namespace TLX {
namespace Threading {
namespace Native_OS {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

// Counts a thread among the waiters while it blocks in Wait. REQUIRES: m_Lock
// held from construction to destruction (a cancelled wait takes it back before
// it unwinds). A waiter that leaves without taking the mutex while it is free
// may have consumed the wake-up meant for another: it passes it on.
class CFastMutex::Waiting {
 public:
  explicit Waiting(CFastMutex& mutex) : m_Mutex(mutex) { ++m_Mutex.m_Waiters; }
  ~Waiting() {
    --m_Mutex.m_Waiters;
    if (m_Mutex.m_Owner == std::thread::id() && m_Mutex.m_Waiters > 0) {
      m_Mutex.m_Freed.notify_one();
    }
  }
  Waiting(const Waiting&) = delete;
  Waiting& operator=(const Waiting&) = delete;

 private:
  CFastMutex& m_Mutex;
};

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
  const std::thread::id self = std::this_thread::get_id();
  {
    std::unique_lock<std::mutex> lock(m_Lock);
    if (!m_Initialised) return 0;
    if (m_Owner == self) {
      ++m_Depth;
    } else {
      if (m_Owner != std::thread::id() && !TakeWhenFreed(lock, timeoutMs)) return kWaitTimeout;
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

bool CFastMutex::TakeWhenFreed(std::unique_lock<std::mutex>& lock, unsigned timeoutMs) {
  if (timeoutMs == 0) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Waiting waiting(*this);
  // The condition variable's waits are cancellation points; a cancelled
  // thread unwinds from here without taking the mutex.
  while (m_Owner != std::thread::id()) {
    if (timeoutMs == kInfinite) {
      m_Freed.wait(lock);
    } else if (m_Freed.wait_until(lock, deadline) == std::cv_status::timeout &&
               m_Owner != std::thread::id()) {
      return false;
    }
  }
  // Taken before `waiting` leaves, so that it passes on no wake-up.
  m_Owner = std::this_thread::get_id();
  return true;
}

int CFastMutex::Release() {
  // Notified under m_Lock: once it is unlocked, the next owner may destroy
  // the mutex.
  std::lock_guard<std::mutex> lock(m_Lock);
  if (m_Owner != std::this_thread::get_id() || m_Depth == 0) return 0;
  if (--m_Depth > 0) return 1;
  m_Owner = std::thread::id();
  if (m_Waiters > 0) m_Freed.notify_one();
  return 1;
}

bool CFastMutex::IsOwner() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Owner == std::this_thread::get_id();
}

}  // namespace Native_OS
}  // namespace Threading
}  // namespace TLX
