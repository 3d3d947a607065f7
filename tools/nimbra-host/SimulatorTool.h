// Where the SSD tool simulator is, and whether the plug-in runs it as its
// tool. The plug-in runs bin/isdct beside the host executable. The harness's
// folder holds the simulator under its own name, isdct-sim: installed, it is
// the simulator itself and bin/isdct is the real tool (or, installed so on
// purpose, a link to isdct-sim); in the build tree bin/isdct is the simulator
// and isdct-sim a link to it.
//
// ToolFolder makes --simulate run the simulator where bin/isdct is not the
// simulator: a temporary folder with bin/isdct linking to it, which the host
// reports as the folder of its executable (TLX::Misc process path), removed
// again when destroyed. It must outlive the plug-in session.
//
// The simulated flag is process-wide, like the host's settings: one run per
// process.
#pragma once

#include <string>

namespace nimbra_host {

// `dir`/isdct-sim when it exists, else "".
std::string FindSimulator(const std::string& dir);

// True when `tool` is the same file as `dir`/isdct-sim.
bool IsSimulator(const std::string& tool, const std::string& dir);

class ToolFolder {
 public:
  ToolFolder() = default;
  ~ToolFolder();
  ToolFolder(const ToolFolder&) = delete;
  ToolFolder& operator=(const ToolFolder&) = delete;

  // Makes the plug-in run `simulator` as its tool, unless `dir`/bin/isdct is
  // the simulator already. Returns false with one message in `error`.
  bool Start(const std::string& simulator, const std::string& dir, std::string& error);

 private:
  std::string m_Root;
};

// Whether this run's SSD tool is the simulator (set once before Initialize).
void SetSimulated(bool simulated);
bool Simulated();
// The line said on stderr before output about the simulator's drives.
extern const char kSimulatedNote[];

}  // namespace nimbra_host
