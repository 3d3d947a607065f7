#include "Simulation.h"

#include <boost/filesystem.hpp>
#include <cstdlib>
#include <vector>

#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace nimbra_host {

namespace fs = boost::filesystem;

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
  const fs::path root = fs::temp_directory_path(ec) / fs::unique_path("nimbra-sysfs-%%%%-%%%%", ec);
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
