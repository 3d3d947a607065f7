// Helpers shared by the host stand-in's sources; not part of the installed
// interface.
#pragma once

#include <pthread.h>

#include <string>

// Leaves a function out of AddressSanitizer's instrumentation. Used on
// functions that block in a cancellation point without a cleanup of their
// own: a cancellation unwinds past such a frame without running its epilogue,
// and the stale poison of its locals trips the sanitizer runtime in the next
// landing pad up the stack.
#if defined(__SANITIZE_ADDRESS__)
#define HOSTFW_NO_ASAN __attribute__((no_sanitize_address))
#else
#define HOSTFW_NO_ASAN
#endif

namespace hostfw {

// Disables thread cancellation for its lifetime. Used around code that must
// not be cut short (a trace line being written, a child being reaped) and in
// destructors, where a forced unwind would reach std::terminate.
class NoCancelScope {
 public:
  NoCancelScope() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_Old); }
  ~NoCancelScope() { pthread_setcancelstate(m_Old, nullptr); }
  NoCancelScope(const NoCancelScope&) = delete;
  NoCancelScope& operator=(const NoCancelScope&) = delete;

 private:
  int m_Old = PTHREAD_CANCEL_ENABLE;
};

// Resolves a configuration file name: absolute names stay, relative names are
// taken below the host's configuration directory.
std::string ResolveConfigPath(const std::string& name);

// Writes one trace line (never throws, never interleaves with other lines).
void WriteTraceLine(const char* module, unsigned level, const char* file, int line,
                    const std::string& message) noexcept;

// Reads a whole (small) file; false when it cannot be opened or read, or is a
// folder.
bool ReadSmallFile(const std::string& path, std::string& content, size_t limit);

// Trims blanks (space, tab, CR, LF) from both ends.
std::string Trim(const std::string& text);

}  // namespace hostfw
