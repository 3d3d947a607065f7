// Helpers of the host stand-in's tests beyond tests/support: reading a file
// whole, and this process's child processes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hosttest {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
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
    count += ppid == self;
  }
  return count;
}

// Waits up to three seconds for a killed process to end (or become a
// zombie); true when it has.
inline bool Dies(pid_t pid) {
  auto alive = [pid] {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
  };
  for (int i = 0; i < 300 && alive(); ++i) usleep(10000);
  return !alive();
}

}  // namespace hosttest
