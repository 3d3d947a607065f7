#include "PI/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes `content` to a temporary file beside `path` and renames it over
// `path`. On failure nothing at `path` changes and the temporary is removed.
bool ReplaceFile(const std::string& path, const std::string& content, mode_t mode) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + base + ".XXXXXX";
  const int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
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
    return ERR_GENERAL;
  }
  try {
    hostfw::NoCancelScope noCancel;
    std::string path = ResolvedPath();
    if (path.empty()) return ERR_GENERAL;
    // Write through a symbolic link to its target, so the link survives.
    struct stat st;
    mode_t mode = 0644;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char real[PATH_MAX];
      if (realpath(path.c_str(), real) == nullptr) return ERR_GENERAL;
      path = real;
    }
    std::string content;
    if (stat(path.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode)) return ERR_GENERAL;
      if (!hostfw::ReadSmallFile(path, content, kMaxFileSize)) return ERR_GENERAL;
      mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
      return ERR_GENERAL;
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
    return ReplaceFile(path, out, mode) ? ERR_SUCCESS : ERR_GENERAL;
  } catch (...) {  // out of memory: nothing was written
    return ERR_GENERAL;
  }
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
