#include "SimulatorTool.h"

#include <atomic>
#include <boost/filesystem.hpp>

#include "TLX/Misc.h"

namespace nimbra_host {

namespace fs = boost::filesystem;

namespace {
std::atomic<bool> g_Simulated{false};
}

std::string FindSimulator(const std::string& dir) {
  boost::system::error_code ec;
  const fs::path simulator = fs::path(dir) / "isdct-sim";
  return fs::exists(simulator, ec) ? simulator.string() : std::string();
}

bool IsSimulator(const std::string& tool, const std::string& dir) {
  boost::system::error_code ec;
  const fs::path simulator = fs::path(dir) / "isdct-sim";
  return fs::exists(tool, ec) && fs::exists(simulator, ec) && fs::equivalent(tool, simulator, ec);
}

ToolFolder::~ToolFolder() {
  if (m_Root.empty()) return;
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  boost::system::error_code ec;
  fs::remove_all(m_Root, ec);
}

bool ToolFolder::Start(const std::string& simulator, const std::string& dir, std::string& error) {
  if (IsSimulator((fs::path(dir) / "bin" / "isdct").string(), dir)) return true;
  boost::system::error_code ec;
  const fs::path root = fs::temp_directory_path(ec) / fs::unique_path("nimbra-tool-%%%%-%%%%", ec);
  if (ec || !fs::create_directories(root / "bin", ec)) {
    error = "cannot create a temporary folder for the simulator: " + ec.message();
    return false;
  }
  m_Root = root.string();
  fs::create_symlink(fs::absolute(simulator), root / "bin" / "isdct", ec);
  if (ec) {
    error = "cannot link the simulator into " + m_Root + ": " + ec.message();
    return false;
  }
  // The plug-in takes the folder of this path as the host's: its tool is
  // bin/isdct there.
  TLX::Misc::CTlxApplication::SetProcessPathOverride((root / "nimbra-host").string());
  return true;
}

void SetSimulated(bool simulated) { g_Simulated.store(simulated); }

bool Simulated() { return g_Simulated.load(); }

const char kSimulatedNote[] =
    "simulated: the drives are the SSD tool simulator's (isdct-sim), not real hardware";

}  // namespace nimbra_host
