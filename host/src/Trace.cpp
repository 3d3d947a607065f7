#include "TLX/Trace.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "HostInternal.h"

namespace hostfw {

namespace {

std::mutex g_TraceLock;
int g_TraceFd = -1;  // guarded by g_TraceLock; -1 = stderr

void WriteFully(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a trace that cannot be written is dropped
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

void WriteTraceLine(const char* module, unsigned level, const char* file, int line,
                    const std::string& message) noexcept {
  // write() is a cancellation point; a forced unwind must not start here.
  NoCancelScope noCancel;
  try {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    const time_t seconds = static_cast<time_t>(ms / 1000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char head[96];
    snprintf(head, sizeof(head), "%04d-%02d-%02d %02d:%02d:%02d.%03d [%ld] ", utc.tm_year + 1900,
             utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
             static_cast<int>(ms % 1000), static_cast<long>(syscall(SYS_gettid)));
    std::string text = head;
    text += module != nullptr ? module : "?";
    text += " L" + std::to_string(level) + " ";
    text += file != nullptr ? file : "?";
    text += ":" + std::to_string(line) + " ";
    for (char c : message) text += (c == '\n' || c == '\r') ? ' ' : c;  // one line per statement
    text += '\n';
    // One write() per line under the lock: lines never interleave, and with
    // O_APPEND not even with other processes writing the same file.
    std::lock_guard<std::mutex> lock(g_TraceLock);
    WriteFully(g_TraceFd >= 0 ? g_TraceFd : STDERR_FILENO, text.data(), text.size());
  } catch (...) {  // out of memory: the line is dropped
  }
}

}  // namespace hostfw

namespace TLX {
namespace Internals {

CTraceStreamBuffer::CTraceStreamBuffer(unsigned level, const Misc::CModuleInfo& module,
                                       const char* file, int line)
    : m_Enabled(module.TraceEnabled(level)),
      m_Level(level),
      m_Module(module),
      m_File(file),
      m_Line(line) {}

CTraceStreamBuffer::~CTraceStreamBuffer() {
  if (m_Enabled) hostfw::WriteTraceLine(m_Module.Name(), m_Level, m_File, m_Line, m_Text);
}

CTraceStreamBuffer& CTraceStreamBuffer::operator<<(const std::string& text) {
  if (m_Enabled) {
    try {
      m_Text += text;
    } catch (...) {
    }
  }
  return *this;
}

CTraceStreamBuffer& CTraceStreamBuffer::operator<<(const char* text) {
  if (m_Enabled && text != nullptr) {
    try {
      m_Text += text;
    } catch (...) {
    }
  }
  return *this;
}

CTraceStreamBuffer& CTraceStreamBuffer::FormatInt(long long value) {
  if (m_Enabled) {
    try {
      m_Text += std::to_string(value);
    } catch (...) {
    }
  }
  return *this;
}

bool SetTraceFile(const std::string& path) {
  hostfw::NoCancelScope noCancel;
  int fd = -1;
  if (!path.empty()) {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
  }
  std::lock_guard<std::mutex> lock(hostfw::g_TraceLock);
  if (hostfw::g_TraceFd >= 0) close(hostfw::g_TraceFd);
  hostfw::g_TraceFd = fd;
  return true;
}

void HostTrace(const std::string& message) {
  hostfw::WriteTraceLine("hostfw", 1, "host", 0, message);
}

}  // namespace Internals
}  // namespace TLX
