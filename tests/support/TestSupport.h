// Helpers shared by the test suites: temporary folders, the build folder of
// the running test program, fake sysfs trees and descriptor counts.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace nimbra_test {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_Path; }
  std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

  // Writes `text` to the file `name` inside the folder (creating folders).
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string m_Path;
};

// Folder of the running test program (the top of the build tree).
std::string BuildDir();

// Adds a PCI device folder bus/pci/devices/<address> with vendor and device
// files under `root`.
void AddPciDevice(const std::string& root, const std::string& address,
                  const std::string& vendor = "0x8086", const std::string& device = "0x0953");

// Number of open descriptors of this process.
int OpenDescriptors();

// Number of threads of this process.
int Threads();

// Number of child processes of this process that still exist (zombies
// included), from /proc; -1 when /proc cannot be read.
int Children();

// Runs a shell command; returns its exit status and appends stdout to `out`.
int RunShell(const std::string& command, std::string* out = nullptr);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Polls `done` every 20 ms until it holds (true) or `limit` has passed (false).
template <class Predicate, class Rep, class Period>
bool WaitFor(Predicate done, std::chrono::duration<Rep, Period> limit) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(limit);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace nimbra_test
