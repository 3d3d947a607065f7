// CFastMutex: a mutex that is re-entrant for its owner. The owning thread may
// Wait again without blocking; each Wait must be matched by one Release, and
// the mutex is free when the count drops to 0. A Release by a thread that
// does not own it returns 0 and changes nothing. A timed Wait gives up after
// the timeout (milliseconds; 0 tries once, kInfinite waits without limit).
// Waits and releases are safe from any thread; a thread cancelled while it
// waits never takes the mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace TLX {
namespace Threading {

constexpr unsigned kInfinite = 0xFFFFFFFFu;
constexpr int kWaitTimeout = 130;  // result of a wait that timed out

namespace Native_OS {

class CFastMutex;

// Scope guard: a mutex that a Wait took through the guard is released once
// when the guard goes out of scope (or on Release of the guard).
class CSyncGuard {
 public:
  CSyncGuard() = default;
  CSyncGuard(const CSyncGuard&) = delete;
  CSyncGuard& operator=(const CSyncGuard&) = delete;
  ~CSyncGuard() { Release(); }

  void Release();

 private:
  friend class CFastMutex;
  CFastMutex* m_Mutex = nullptr;
  unsigned m_Count = 0;
};

class CFastMutex {
 public:
  CFastMutex() = default;
  CFastMutex(const CFastMutex&) = delete;
  CFastMutex& operator=(const CFastMutex&) = delete;

  // Makes the mutex usable. Returns 1. A second Init while free is harmless.
  int Init();

  // Takes the mutex, or one more level of it for the owner. Returns 1 when
  // taken; kWaitTimeout (130) when the timeout ran out; 0 when the mutex was
  // never initialised. When `guard` is given, the guard releases this level.
  int Wait(CSyncGuard* guard, unsigned timeoutMs = kInfinite);

  // Releases one level. Returns 1, or 0 when the caller is not the owner.
  int Release();

  // True when the calling thread owns the mutex.
  bool IsOwner() const;

 private:
  mutable std::mutex m_Lock;
  std::condition_variable m_Free;
  bool m_Initialised = false;
  std::thread::id m_Owner;
  unsigned m_Depth = 0;
};

}  // namespace Native_OS
}  // namespace Threading
}  // namespace TLX
