// Helpers shared by the host stand-in's sources; not part of the installed
// interface.
#pragma once

#include <pthread.h>

#include <string>

namespace hostfw {

// Disables thread cancellation for its lifetime. Used around code that must
// not be cut short (a trace line being written, a child being reaped) and in
// destructors, where a forced unwind would reach std::terminate.
//
// Blocking system calls (poll, read, nanosleep) are run inside such a scope
// and cancellation is accepted only at TestCancel between them, in short
// slices: a cancellation acted on inside those calls would unwind through
// the sanitizers' interceptors and leave their per-thread state broken,
// whereas condition-variable waits and pthread_testcancel are safe.
class NoCancelScope {
 public:
  NoCancelScope() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_Old); }
  ~NoCancelScope() { pthread_setcancelstate(m_Old, nullptr); }

  // Acts on a pending cancellation request now, unless cancellation was
  // already disabled when the scope began.
  void TestCancel() const {
    if (m_Old != PTHREAD_CANCEL_ENABLE) return;
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
    pthread_testcancel();
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  }
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

// Reads a whole (small) regular file; false when it cannot be opened or read,
// is larger than `limit`, or is not a regular file (a folder, a FIFO, a
// device). Never blocks on a FIFO.
bool ReadSmallFile(const std::string& path, std::string& content, size_t limit);

// Trims blanks (space, tab, CR, LF) from both ends.
std::string Trim(const std::string& text);

}  // namespace hostfw
