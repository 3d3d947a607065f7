// Command-line dispatch of the simulated SSD tool: reads the words of a
// command line, loads the fleet, meets the faults and builds the Outcome.
// Writes nothing to the standard streams (main writes the Outcome); reads and
// edits the fleet file through FleetStore. Never throws: every error becomes
// an Outcome with a message on `err` and status 1.
//
// Command lines (N: a drive index or a serial number; a last word "2>&1",
// which a shell would have taken, is ignored):
//   show -all -intelssd [N]
//   dump -intelssd N DataType=nvmelog LogID=2|197|202
//   start -f -intelssd N Function=nvmeformat [LBAFormat=L] [SecureEraseSetting=S]
//         [ProtectionInformation=P] [MetadataSetting=M]
//   delete -f -intelssd N
//   set -intelssd N Name=Value
//   version
//   sim-sysfs DIR | sim-set SERIAL|--fleet KEY=VALUE... | sim-add [KEY=VALUE...]
//   sim-remove SERIAL | sim-fleet | --help
// Property names (DataType, LogID, ...) are matched ignoring case.
//
// Faults: a run of a drive command meets the addressed drive's fault for the
// command, else the fleet's. "show" meets the fleet's fault for the whole
// answer and each drive's fault for that drive's block. A maintenance command
// changes the drive only when it prints its Success (no fault, out-of-range
// or stderr-only).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Outcome.h"

namespace isdct_sim {

// `args`: the words after the program name. `fleetPath`: ISDCT_SIM_FLEET.
Outcome Run(const std::vector<std::string>& args, const std::optional<std::string>& fleetPath);

std::string Usage();

}  // namespace isdct_sim
