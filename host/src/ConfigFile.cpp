#include "PI/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "HostInternal.h"
#include "PI/Status.h"

namespace hostfw {

namespace {

std::mutex g_DirLock;
std::string g_ConfigDir;  // guarded by g_DirLock; "" = current directory

}  // namespace

std::string ResolveConfigPath(const std::string& name) {
  if (name.empty() || name[0] == '/') return name;
  std::string dir;
  {
    std::lock_guard<std::mutex> lock(g_DirLock);
    dir = g_ConfigDir;
  }
  if (dir.empty()) return name;
  if (dir.back() != '/') dir += '/';
  return dir + name;
}

}  // namespace hostfw

namespace PI {

namespace {

// Longest settings file read back before a write (anything larger is not a
// settings file).
constexpr size_t kMaxFileSize = 16 << 20;

std::mutex g_FailureLock;
ConfigWriteFailure g_LastFailure;  // guarded by g_FailureLock

// "STEP: the system's reason" for the errno of the failed call.
std::string StepFailed(const char* step, int error) {
  return std::string(step) + ": " + std::strerror(error);
}

// Keeps a failed write for LastWriteFailure; returns ERR_GENERAL.
long WriteFailed(const std::string& path, const std::string& reason) noexcept {
  try {
    std::lock_guard<std::mutex> lock(g_FailureLock);
    g_LastFailure.path = path;
    g_LastFailure.reason = reason;
    ++g_LastFailure.sequence;
  } catch (...) {  // out of memory: the failure goes unrecorded
  }
  return ERR_GENERAL;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

// The key of a "key=value" line, or false for blank, comment and section lines.
bool LineKey(const std::string& line, std::string& key, std::string* value) {
  const std::string trimmed = hostfw::Trim(line);
  if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';' || trimmed[0] == '[') {
    return false;
  }
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = hostfw::Trim(line.substr(0, eq));
  if (value != nullptr) *value = hostfw::Trim(line.substr(eq + 1));
  return !key.empty();
}

// Splits into lines, each keeping its own terminator, so that untouched lines
// are written back byte for byte.
std::vector<std::string> SplitKeepingEnds(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes `content` to a temporary file beside `path` and renames it over
// `path`. On failure nothing at `path` changes and the temporary is removed;
// returns "" or the failing step with the system's reason.
std::string ReplaceFile(const std::string& path, const std::string& content, mode_t mode) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + base + ".XXXXXX";
  const int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return StepFailed("creating a temporary file beside it", errno);
  std::string why;
  if (fchmod(fd, mode) != 0) {
    why = StepFailed("setting the temporary file's permissions", errno);
  } else if (!WriteAll(fd, content)) {
    why = StepFailed("writing the temporary file", errno);
  } else if (fsync(fd) != 0) {
    why = StepFailed("flushing the temporary file", errno);
  }
  if (close(fd) != 0 && why.empty()) why = StepFailed("closing the temporary file", errno);
  if (why.empty() && rename(temp.c_str(), path.c_str()) != 0) {
    why = StepFailed("renaming the temporary file over it", errno);
  }
  if (!why.empty()) unlink(temp.c_str());
  return why;
}

}  // namespace

std::string CConfigFile::ResolvedPath() const { return hostfw::ResolveConfigPath(m_FileName); }

CConfigFile::FileState CConfigFile::State() const {
  try {
    const std::string path = ResolvedPath();
    std::string content;
    if (hostfw::ReadSmallFile(path, content, kMaxFileSize)) return FileState::kReadable;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
      return FileState::kMissing;
    }
  } catch (...) {  // out of memory
  }
  return FileState::kUnreadable;
}

long CConfigFile::ReadKeyValue(const std::string& key, std::string& value, int, int) const {
  try {
    std::string content;
    if (!hostfw::ReadSmallFile(ResolvedPath(), content, kMaxFileSize)) return ERR_GENERAL;
    for (const std::string& line : SplitKeepingEnds(content)) {
      std::string lineKey, lineValue;
      if (LineKey(line, lineKey, &lineValue) && EqualsNoCase(lineKey, key)) {
        value = lineValue;
        return ERR_SUCCESS;
      }
    }
  } catch (...) {  // out of memory: report as unreadable
  }
  return ERR_GENERAL;
}

long CConfigFile::WriteKeyValue(const std::string& key, const std::string& value, int, int) {
  if (hostfw::Trim(key).empty() || key.find_first_of("=\r\n") != std::string::npos ||
      value.find_first_of("\r\n") != std::string::npos) {
    return WriteFailed(ResolvedPath(),
                       "the key is empty or holds '=' or a line break, or the "
                       "value a line break");
  }
  std::string path;
  try {
    hostfw::NoCancelScope noCancel;
    path = ResolvedPath();
    if (path.empty()) return WriteFailed(path, "no file name");
    // Write through a symbolic link to its target, so the link survives.
    struct stat st;
    mode_t mode = 0644;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char real[PATH_MAX];
      if (realpath(path.c_str(), real) == nullptr) {
        return WriteFailed(path, StepFailed("following the link", errno));
      }
      path = real;
    }
    std::string content;
    if (stat(path.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode)) return WriteFailed(path, "not a regular file");
      errno = 0;
      if (!hostfw::ReadSmallFile(path, content, kMaxFileSize)) {
        return WriteFailed(
            path, errno != 0 ? StepFailed("reading it back", errno) : "reading it back: too large");
      }
      mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
      return WriteFailed(path, StepFailed("looking it up", errno));
    }

    std::vector<std::string> lines = SplitKeepingEnds(content);
    bool replaced = false;
    for (std::string& line : lines) {
      std::string lineKey;
      if (!LineKey(line, lineKey, nullptr) || !EqualsNoCase(lineKey, key)) continue;
      const bool crlf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
      const bool lf = !crlf && !line.empty() && line.back() == '\n';
      line = hostfw::Trim(key) + "=" + value + (crlf ? "\r\n" : lf ? "\n" : "");
      replaced = true;
      break;
    }
    if (!replaced) {
      if (!lines.empty() && lines.back().back() != '\n') lines.back() += '\n';
      lines.push_back(hostfw::Trim(key) + "=" + value + "\n");
    }
    std::string out;
    for (const std::string& line : lines) out += line;
    const std::string why = ReplaceFile(path, out, mode);
    return why.empty() ? ERR_SUCCESS : WriteFailed(path, why);
  } catch (...) {  // out of memory: nothing was written
    return WriteFailed(path, "out of memory");
  }
}

bool CConfigFile::LastWriteFailure(ConfigWriteFailure& failure) {
  std::lock_guard<std::mutex> lock(g_FailureLock);
  if (g_LastFailure.sequence == 0) return false;
  failure = g_LastFailure;
  return true;
}

void CConfigFile::SetConfigDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(hostfw::g_DirLock);
  hostfw::g_ConfigDir = dir;
}

std::string CConfigFile::GetConfigDirectory() {
  std::lock_guard<std::mutex> lock(hostfw::g_DirLock);
  return hostfw::g_ConfigDir;
}

}  // namespace PI
