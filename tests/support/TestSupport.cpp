#include "TestSupport.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = boost::filesystem;

namespace nimbra_test {

TempDir::TempDir() {
  const fs::path p = fs::temp_directory_path() / fs::unique_path("nimbra-test-%%%%-%%%%-%%%%");
  fs::create_directories(p);
  m_Path = p.string();
}

TempDir::~TempDir() {
  boost::system::error_code ec;
  // Restore write permission first so that read-only test folders go too.
  RunShell("chmod -R u+rwx '" + m_Path + "' 2>/dev/null");
  fs::remove_all(m_Path, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& text) const {
  const fs::path p = fs::path(m_Path) / name;
  fs::create_directories(p.parent_path());
  std::ofstream(p.string(), std::ios::binary) << text;
  return p.string();
}

std::string BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

void AddPciDevice(const std::string& root, const std::string& address, const std::string& vendor,
                  const std::string& device) {
  const fs::path dir = fs::path(root) / "bus/pci/devices" / address;
  fs::create_directories(dir);
  std::ofstream((dir / "vendor").string()) << vendor << "\n";
  std::ofstream((dir / "device").string()) << device << "\n";
}

int OpenDescriptors() {
  int n = 0;
  for (fs::directory_iterator it("/proc/self/fd"), end; it != end; ++it) ++n;
  return n - 1;  // the iterator's own descriptor
}

int Threads() {
  int n = 0;
  for (fs::directory_iterator it("/proc/self/task"), end; it != end; ++it) ++n;
  return n;
}

int Children() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  int n = 0;
  const std::string self = std::to_string(getpid());
  while (dirent* e = readdir(proc)) {
    // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
    const std::string stat = ReadFile(std::string("/proc/") + e->d_name + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    std::string state, ppid;
    if (fields >> state >> ppid && ppid == self) ++n;
  }
  closedir(proc);
  return n;
}

int RunShell(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    if (out != nullptr) out->append(buffer, n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
  // Streaming the buffer never throws: a read error (a folder, say) ends the text.
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace nimbra_test
