// LockScope: holds one of the plug-in's host mutexes for a scope, in the form
// the compiler's lock checks understand (a scoped capability). The
// constructor waits without time limit; Taken() tells whether the mutex was
// taken (it is not only before Initialize has prepared it, and then nothing
// it guards may be touched). Release lets go early; the destructor lets go
// of what is still held. Callers write the lock traces around the
// construction and the release. Used by one thread; not copyable.
#pragma once

#include "TLX/Mutex.h"
#include "TLX/ThreadAnnotations.h"

namespace NAMESPACE_Nimbra {

class TLX_SCOPED_CAPABILITY LockScope {
 public:
  explicit LockScope(TLX::Threading::Native_OS::CFastMutex& mutex)
      TLX_ACQUIRE(mutex) TLX_NO_THREAD_SAFETY_ANALYSIS
      : m_Taken(mutex.Wait(&m_Guard, TLX::Threading::kInfinite) == 1) {}
  ~LockScope() TLX_RELEASE() TLX_NO_THREAD_SAFETY_ANALYSIS {}
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;

  bool Taken() const { return m_Taken; }
  void Release() TLX_RELEASE() TLX_NO_THREAD_SAFETY_ANALYSIS { m_Guard.Release(); }

 private:
  TLX::Threading::Native_OS::CSyncGuard m_Guard;
  bool m_Taken;
};

}  // namespace NAMESPACE_Nimbra
