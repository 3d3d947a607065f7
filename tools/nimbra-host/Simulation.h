// Simulation: runs the harness against the SSD tool simulator. Writes a
// temporary sysfs tree that matches the fleet with "bin/isdct sim-sysfs",
// points the host's sysfs root at it, exports ISDCT_SIM_FLEET when a fleet
// file is given, and removes the tree again when destroyed.
//
// The tree is "nimbra-sysfs-pidPID-XXXXXXXX" in the temporary folder; Start
// first removes the trees of harnesses that were killed outright (their PID
// no longer lives, and the folder is the same user's).
#pragma once

#include <string>

namespace nimbra_host {

class Simulation {
 public:
  Simulation() = default;
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  // `toolPath` is the simulator; `fleet` may be empty (default fleet).
  // Returns false with one message in `error`.
  bool Start(const std::string& toolPath, const std::string& fleet, std::string& error);

  const std::string& SysfsRoot() const { return m_Root; }

 private:
  std::string m_Root;
};

// Removes the stale trees in `tempDir`: folders named as above whose PID
// no longer lives, owned by this user. Returns how many it removed.
int RemoveStaleTrees(const std::string& tempDir);

// Folder of the running harness (where libNimbra.so and bin/ are).
std::string HarnessDirectory();

}  // namespace nimbra_host
