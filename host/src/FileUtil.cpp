#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "HostInternal.h"

namespace hostfw {

bool ReadSmallFile(const std::string& path, std::string& content, size_t limit) {
  NoCancelScope noCancel;
  // O_NONBLOCK: opening a FIFO put in a file's place must not wait for a
  // writer; only regular files are read.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  std::string data;
  char buffer[4096];
  while (ok) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (data.size() > limit) ok = false;
  }
  close(fd);
  if (ok) content.swap(data);
  return ok;
}

std::string Trim(const std::string& text) {
  static const char kBlanks[] = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

}  // namespace hostfw
