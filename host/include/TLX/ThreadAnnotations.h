// Clang's thread-safety attributes behind small macros, so that the compiler
// checks which lock guards what (-Wthread-safety); on other compilers they
// expand to nothing. The host's mutex is a capability; code that uses it
// marks the data it guards (TLX_GUARDED_BY) and the functions that need,
// take or release it (TLX_REQUIRES, TLX_ACQUIRE, TLX_RELEASE).
#pragma once

#if defined(__clang__)
#define TLX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TLX_THREAD_ANNOTATION(x)
#endif

#define TLX_CAPABILITY(name) TLX_THREAD_ANNOTATION(capability(name))
#define TLX_SCOPED_CAPABILITY TLX_THREAD_ANNOTATION(scoped_lockable)
#define TLX_GUARDED_BY(x) TLX_THREAD_ANNOTATION(guarded_by(x))
#define TLX_PT_GUARDED_BY(x) TLX_THREAD_ANNOTATION(pt_guarded_by(x))
#define TLX_REQUIRES(...) TLX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TLX_ACQUIRE(...) TLX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TLX_RELEASE(...) TLX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TLX_TRY_ACQUIRE(...) TLX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TLX_EXCLUDES(...) TLX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define TLX_NO_THREAD_SAFETY_ANALYSIS TLX_THREAD_ANNOTATION(no_thread_safety_analysis)
