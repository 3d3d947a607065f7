// Helpers for the host stand-in's tests: a temporary folder, small file I/O,
// and counts of this process's descriptors and child processes.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hosttest {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hostfw-XXXXXX").string();
    if (mkdtemp(&pattern[0]) != nullptr) m_Path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_Path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_Path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return m_Path; }
  std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

 private:
  std::string m_Path;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Open descriptors of this process.
inline int CountOpenFds() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count - 1;  // the iterator's own descriptor
}

// Processes whose parent is this process (zombies included).
inline int CountChildren() {
  int count = 0;
  const std::string self = std::to_string(getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string stat = ReadFile(entry.path().string() + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string state, ppid;
    fields >> state >> ppid;
    if (ppid == self) ++count;
  }
  return count;
}

// True while `pid` exists and is not a zombie.
inline bool ProcessAlive(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

// Waits up to three seconds for a killed process to die; true when it has.
inline bool Dies(pid_t pid) {
  for (int i = 0; i < 300 && ProcessAlive(pid); ++i) usleep(10000);
  return !ProcessAlive(pid);
}

}  // namespace hosttest
