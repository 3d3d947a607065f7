// CFastMutex: a mutex that is re-entrant for its owner. The owning thread may
// Wait again without blocking: that takes one more level and returns 1 at
// once. Each Wait must be matched by one Release on the same thread, and the
// mutex is free when the count of levels drops to 0. A Release by a thread
// that does not own it returns 0 and changes nothing.
//
// Timeouts are milliseconds on the steady clock: 0 tries once without
// blocking, kInfinite (all ones) waits without limit, anything else gives up
// with kWaitTimeout (130) when it runs out. A release wakes every waiter, so
// no wake-up is lost, also when a waiter times out or is cancelled as it is
// woken. Wait is a cancellation point: a thread cancelled while it waits never
// takes the mutex.
//
// The mutex does not own what it guards and is not copyable. It must outlive
// every thread that waits on it; destroying it while it is held is a bug, and
// a thread that ends while holding it leaves it held.
//
// CSyncGuard: a scope guard for the levels a Wait took through it. Levels
// taken through a guard are released by the guard (when it goes out of scope
// or on its Release), on the thread that destroys it; do not also Release them
// by hand. A guard serves one mutex: a Wait through a guard that holds levels
// of another mutex first releases those.
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

  // Makes the mutex usable. Returns 1. A second Init is harmless (it does not
  // free a held mutex).
  int Init();

  // Takes the mutex, or one more level of it for the owner. Returns 1 when
  // taken; kWaitTimeout (130) when the timeout ran out; 0 when the mutex was
  // never initialised (nothing taken). When `guard` is given, the guard
  // releases this level.
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
