// CFastMutex: a mutex that is re-entrant for its owner. The owning thread may
// Wait again without blocking: that takes one more level and returns 1 at
// once. Each Wait must be matched by one Release on the same thread, and the
// mutex is free when the count of levels drops to 0. A Release by a thread
// that does not own it returns 0 and changes nothing.
//
// Timeouts are milliseconds on the steady clock: 0 tries once without
// blocking, kInfinite (all ones) waits without limit, anything else gives up
// with kWaitTimeout (130) when it runs out. Wait is a cancellation point only
// while it blocks: a thread cancelled while it waits never takes the mutex.
//
// Cost: taking a free mutex and releasing one that nobody waits for are one
// compare-and-swap each, with no system call. A thread that finds the mutex
// held spins briefly, then sleeps. A release wakes at most one sleeper, and
// none while an earlier woken sleeper has not yet run, so a busy mutex does
// not make every release a system call. A running thread may take the mutex
// before a woken one (throughput first); a sleeper that has waited longer than
// kHandOffAfterMs is handed the mutex directly by the next release instead,
// and newcomers queue behind the sleepers until the queue has caught up, so no
// waiter starves. No wake-up is lost: a sleeper that is woken as it times out or is
// cancelled passes the wake-up on.
//
// The mutex does not own what it guards and is not copyable. It must outlive
// every thread that waits on it; destroying it while it is held is a bug, and
// a thread that ends while holding it leaves it held. A release that needs to
// wake nobody touches the mutex no more after the atomic operation that frees
// it, so the next owner may destroy it at once.
//
// CSyncGuard: a scope guard for the levels a Wait took through it. Levels
// taken through a guard are released by the guard (when it goes out of scope
// or on its Release), on the thread that destroys it; do not also Release them
// by hand. A guard serves one mutex: a Wait through a guard that holds levels
// of another mutex first releases those.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "TLX/ThreadAnnotations.h"

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

// For the compiler's lock checks Wait is a try-acquire that succeeds with 1,
// and Release releases; re-entry by the owner is not modelled.
class TLX_CAPABILITY("mutex") CFastMutex {
 public:
  CFastMutex() = default;
  CFastMutex(const CFastMutex&) = delete;
  CFastMutex& operator=(const CFastMutex&) = delete;

  // A sleeper that has waited this long gets the mutex handed to it.
  static constexpr unsigned kHandOffAfterMs = 10;

  // Makes the mutex usable. Returns 1. A second Init is harmless (it does not
  // free a held mutex).
  int Init();

  // Takes the mutex, or one more level of it for the owner. Returns 1 when
  // taken; kWaitTimeout (130) when the timeout ran out; 0 when the mutex was
  // never initialised (nothing taken). When `guard` is given, the guard
  // releases this level.
  int Wait(CSyncGuard* guard, unsigned timeoutMs = kInfinite) TLX_TRY_ACQUIRE(1);

  // Releases one level. Returns 1, or 0 when the caller is not the owner.
  int Release() TLX_RELEASE();

  // True when the calling thread owns the mutex.
  bool IsOwner() const;

 private:
  class Sleeper;

  bool TryTake();
  bool SpinToTake();
  bool TakeSlowly(unsigned timeoutMs);
  // REQUIRES: m_Lock held. Lets go of the mutex: hands it to the oldest
  // sleeper when one asked for it, else frees it and wakes one sleeper.
  void FreeLocked();
  // REQUIRES: m_Lock held. Wakes the oldest sleeper unless the mutex is held
  // or a woken sleeper has not yet looked.
  void WakeOneLocked();

  // m_State: kHeld, kWoken (a sleeper was woken and has not yet looked at the
  // mutex), kHandOff (the next release hands the mutex to a sleeper), and the
  // number of sleepers in units of kSleeper.
  static constexpr uint32_t kHeld = 1;
  static constexpr uint32_t kWoken = 2;
  static constexpr uint32_t kHandOff = 4;
  static constexpr uint32_t kSleeper = 8;

  std::atomic<uint32_t> m_State{0};
  std::atomic<std::thread::id> m_Owner{};  // written by the owner only
  unsigned m_Depth = 0;                    // guarded by ownership
  std::atomic<bool> m_Initialised{false};

  // The queue of sleepers, oldest first. m_Lock guards it, the sleepers'
  // fields, every change of the sleeper count and the setting of kWoken and
  // kHandOff.
  std::mutex m_Lock;
  Sleeper* m_Head = nullptr;
  Sleeper* m_Tail = nullptr;
};

}  // namespace Native_OS
}  // namespace Threading
}  // namespace TLX
