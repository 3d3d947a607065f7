#include "Simulation.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace nimbra_host {

namespace fs = boost::filesystem;

namespace {

const char kTreePrefix[] = "nimbra-sysfs-pid";

// The PID in a tree's name, 0 when the name is not one of ours.
pid_t TreeOwner(const std::string& name) {
  const size_t prefix = sizeof kTreePrefix - 1;
  if (name.compare(0, prefix, kTreePrefix) != 0) return 0;
  size_t end = prefix;
  while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
  if (end == prefix || end > prefix + 9 || end >= name.size() || name[end] != '-') return 0;
  return static_cast<pid_t>(std::stol(name.substr(prefix, end - prefix)));
}

}  // namespace

int RemoveStaleTrees(const std::string& tempDir) {
  boost::system::error_code ec;
  int removed = 0;
  for (fs::directory_iterator it(tempDir, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t owner = TreeOwner(it->path().filename().string());
    struct stat st;
    if (owner <= 0 || lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != geteuid()) {
      continue;
    }
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;  // alive (or not ours to ask)
    boost::system::error_code removeError;
    fs::remove_all(it->path(), removeError);
    if (!removeError) ++removed;
  }
  return removed;
}

std::string HarnessDirectory() {
  std::string path;
  TLX::Misc::CTlxApplication::GetProcessPath(path);
  return fs::path(path).parent_path().string();
}

Simulation::~Simulation() {
  if (m_Root.empty()) return;
  boost::system::error_code ec;
  fs::remove_all(m_Root, ec);
}

bool Simulation::Start(const std::string& toolPath, const std::string& fleet, std::string& error) {
  boost::system::error_code ec;
  if (!fs::exists(toolPath, ec)) {
    error = "the simulator " + toolPath + " does not exist";
    return false;
  }
  if (!fleet.empty()) {
    const fs::path fleetPath = fs::absolute(fleet, ec);
    if (!fs::is_regular_file(fleetPath, ec)) {
      error = "the fleet file " + fleet + " does not exist";
      return false;
    }
    setenv("ISDCT_SIM_FLEET", fleetPath.c_str(), 1);
  }
  const fs::path temp = fs::temp_directory_path(ec);
  if (!ec) RemoveStaleTrees(temp.string());
  const fs::path root =
      temp / fs::unique_path(kTreePrefix + std::to_string(getpid()) + "-%%%%%%%%", ec);
  if (ec || !fs::create_directories(root, ec)) {
    error = "cannot create a temporary sysfs folder: " + ec.message();
    return false;
  }
  m_Root = root.string();
  std::vector<std::string> output;
  const int rc = TLXX::CSystem::ExecuteCommand(toolPath, "sim-sysfs '" + m_Root + "' 2>&1", output);
  if (rc != TLXX::EXEC_OK || !fs::is_directory(root / "bus" / "pci" / "devices", ec)) {
    // The simulator names the fault in its first line, e.g. "isdct: fleet
    // file f.json: drives[0].temprature: unknown key".
    std::string why = output.empty() ? std::string() : output.front();
    if (why.compare(0, 7, "isdct: ") == 0) why.erase(0, 7);
    error = why.empty() ? "the simulator could not write the sysfs tree" : why;
    return false;
  }
  return true;
}

}  // namespace nimbra_host
