// The simulator's own commands, which the real tool does not have: writing
// the sysfs tree that matches the fleet, and editing the fleet file.
//
// Key forms of sim-set and sim-Add (KEY=VALUE, applied in order, all or none):
//   drive keys by their fleet-file names    model=..., index=7, present=false
//   nested keys with dots                   pci.bus=6, health.temperature=85
//   health keys also by their bare name     temperature=85, criticalWarnings=0x11
//   faults.CMD=KIND, "none" or empty clears faults.log2=hang, faults.log2=none
//   settings.NAME=VALUE, empty clears       settings.PowerGovernorMode=1
// Numbers are decimal or 0x-hexadecimal; booleans true/false (or 1/0).
// Changing index alone moves a device path of the form /dev/nvme<index>n1
// along. The fleet-wide keys are set with "--fleet" in place of the serial:
//   toolVersion=..., nvmeModuleVersion=..., faults.CMD=KIND.
// Errors throw FleetError with a one-line message naming the key.
#pragma once

#include <string>
#include <vector>

#include "Fleet.h"
#include "FleetStore.h"
#include "Outcome.h"

namespace isdct_sim {

void AssignDriveKeys(Drive& drive, const std::vector<std::string>& assignments);
void AssignFleetKeys(Fleet& fleet, const std::vector<std::string>& assignments);

// A new drive for the fleet: the defaults of its position with a serial
// number, index and PCI location that no drive of the fleet has.
Drive NewDrive(const Fleet& fleet);

// Writes <dir>/bus/pci/devices/SSSS:BB:DD.F/{vendor,device,class} for every
// present drive, removes device folders of this kind that no present drive
// has any more, and writes <dir>/module/nvme/version (removes it when the
// fleet's module version is empty).
Outcome SimSysfs(const Fleet& fleet, const std::string& dir);

// The sim-* commands on the store; `args` are the words after the command.
Outcome SimSet(const FleetStore& store, const std::vector<std::string>& args);
Outcome SimAdd(const FleetStore& store, const std::vector<std::string>& args);
Outcome SimRemove(const FleetStore& store, const std::vector<std::string>& args);

}  // namespace isdct_sim
