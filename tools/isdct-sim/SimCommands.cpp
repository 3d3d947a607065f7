#include "SimCommands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "FleetJson.h"

namespace isdct_sim {
namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

struct Assignment {
  std::string key;
  std::vector<std::string> path;
  std::string value;
};

Assignment ParseAssignment(const std::string& text) {
  const auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw FleetError("expected KEY=VALUE, got \"" + text + "\"");
  }
  Assignment a{text.substr(0, eq), {}, text.substr(eq + 1)};
  std::size_t start = 0;
  for (;;) {
    const auto dot = a.key.find('.', start);
    a.path.push_back(a.key.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  for (const std::string& part : a.path) {
    if (part.empty()) throw FleetError(a.key + ": unknown key");
  }
  return a;
}

std::optional<bool> ParseBool(const std::string& text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return std::nullopt;
}

// Sets one key of a fleet or drive in its JSON form, typed like the value it
// replaces. Faults and settings are maps whose members may be added or cleared.
void Assign(Json& root, const Assignment& a) {
  Json* node = &root;
  for (std::size_t i = 0; i + 1 < a.path.size(); ++i) {
    auto it = node->find(a.path[i]);
    if (it == node->end() || !it->is_object()) throw FleetError(a.key + ": unknown key");
    node = &*it;
  }
  const std::string& last = a.path.back();
  if (a.path.size() == 2 && (a.path[0] == "faults" || a.path[0] == "settings")) {
    if (a.value.empty() || (a.path[0] == "faults" && a.value == "none")) {
      node->erase(last);
    } else {
      (*node)[last] = a.value;
    }
    return;
  }
  auto it = node->find(last);
  if (it == node->end()) throw FleetError(a.key + ": unknown key");
  Json& target = *it;
  if (target.is_boolean()) {
    auto value = ParseBool(a.value);
    if (!value) throw FleetError(a.key + ": expected true or false, got \"" + a.value + "\"");
    target = *value;
  } else if (target.is_number()) {
    auto value = ParseUnsigned(a.value);
    if (!value) throw FleetError(a.key + ": expected a number, got \"" + a.value + "\"");
    target = *value;
  } else if (target.is_string()) {
    target = a.value;
  } else {
    throw FleetError(a.key + ": is a group of keys; set its members, e.g. " + a.key + "." +
                     (target.empty() ? std::string("NAME") : target.begin().key()));
  }
}

std::string PciName(const PciLocation& p) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", p.segment, p.bus, p.device, p.function);
  return text;
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw FleetError("cannot write " + file.string());
}

std::string ReadSmallFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  std::getline(in, text, '\0');
  return text;
}

Outcome Failed(const std::string& command, const std::string& message) {
  return {"", "isdct " + command + ": " + message + "\n", 1};
}

std::string JoinWords(const std::vector<std::string>& words, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
  return text;
}

constexpr const char* kNeedFile =
    "ISDCT_SIM_FLEET must name the fleet file to Edit (a file that does not exist yet is "
    "created with the default fleet)";

}  // namespace

void AssignDriveKeys(Drive& drive, const std::vector<std::string>& assignments) {
  Json j = DriveToJson(drive);
  bool indexSet = false;
  bool pathSet = false;
  for (const std::string& text : assignments) {
    Assignment a = ParseAssignment(text);
    if (a.path.size() == 1 && !j.contains(a.key) && j.at("health").contains(a.key)) {
      a.path = {"health", a.key};
    }
    indexSet |= a.path == std::vector<std::string>{"index"};
    pathSet |= a.path == std::vector<std::string>{"devicePath"};
    Assign(j, a);
  }
  Drive result = DriveFromJson(j, 0, "");
  if (indexSet && !pathSet && drive.devicePath == DevicePathFor(drive.index)) {
    result.devicePath = DevicePathFor(result.index);
  }
  drive = result;
}

void AssignFleetKeys(Fleet& fleet, const std::vector<std::string>& assignments) {
  Json j = FleetToJson(fleet);
  for (const std::string& text : assignments) {
    Assignment a = ParseAssignment(text);
    if (a.path[0] == "drives") {
      throw FleetError(a.key + ": edit a drive with sim-set SERIAL KEY=VALUE");
    }
    Assign(j, a);
  }
  fleet = FleetFromJson(j);
}

Drive NewDrive(const Fleet& fleet) {
  Drive d = DefaultDrive(fleet.drives.size());
  uint32_t index = 0;
  uint32_t maxBus = 0;
  std::set<std::string> serials;
  std::set<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> locations;
  for (const Drive& other : fleet.drives) {
    if (other.index != UINT32_MAX) index = std::max(index, other.index + 1);
    maxBus = std::max(maxBus, other.pci.bus);
    serials.insert(other.serial);
    locations.emplace(other.pci.segment, other.pci.bus, other.pci.device, other.pci.function);
  }
  d.index = index;
  d.devicePath = DevicePathFor(index);
  for (std::size_t k = fleet.drives.size(); serials.count(d.serial) != 0; ++k) {
    d.serial = DefaultDrive(k).serial;
  }
  // A new drive sits behind the others in PCI address order, as it does in index order.
  if (!fleet.drives.empty()) {
    d.pci = PciLocation{};
    d.pci.bus = maxBus < 0xFF ? maxBus + 1 : 0;
    for (int tries = 0;
         locations.count({d.pci.segment, d.pci.bus, d.pci.device, d.pci.function}) != 0; ++tries) {
      if (tries == 256 * 32) throw FleetError("no free PCI location on segment 0");
      if (++d.pci.device == 32) {
        d.pci.device = 0;
        d.pci.bus = (d.pci.bus + 1) & 0xFF;
      }
    }
  }
  return d;
}

Outcome SimSysfs(const Fleet& fleet, const std::string& dir) {
  try {
    const fs::path devices = fs::path(dir) / "bus" / "pci" / "devices";
    fs::create_directories(devices);
    std::set<std::string> wanted;
    for (const Drive& d : fleet.drives) {
      if (!d.present) continue;
      const std::string name = PciName(d.pci);
      wanted.insert(name);
      fs::create_directories(devices / name);
      WriteFile(devices / name / "vendor", "0x8086\n");
      WriteFile(devices / name / "device", "0x0953\n");
      WriteFile(devices / name / "class", "0x010802\n");
    }
    for (const auto& entry : fs::directory_iterator(devices)) {
      const std::string name = entry.path().filename().string();
      if (wanted.count(name) == 0 && ReadSmallFile(entry.path() / "vendor") == "0x8086\n" &&
          ReadSmallFile(entry.path() / "device") == "0x0953\n") {
        fs::remove_all(entry.path());
      }
    }
    const fs::path version = fs::path(dir) / "module" / "nvme" / "version";
    std::string out = "Wrote " + std::to_string(wanted.size()) + " NVMe device(s) under " +
                      devices.string() + "\n";
    if (fleet.nvmeModuleVersion.empty()) {
      fs::remove(version);
    } else {
      fs::create_directories(version.parent_path());
      WriteFile(version, fleet.nvmeModuleVersion + "\n");
      out +=
          "Wrote nvme module version " + fleet.nvmeModuleVersion + " to " + version.string() + "\n";
    }
    return {out, "", 0};
  } catch (const std::exception& e) {
    return Failed("sim-sysfs", e.what());
  }
}

Outcome SimSet(const FleetStore& store, const std::vector<std::string>& args) {
  if (args.size() < 2) return Failed("sim-set", "usage: isdct sim-set SERIAL|--fleet KEY=VALUE...");
  if (!store.HasFile()) return Failed("sim-set", kNeedFile);
  const std::string& target = args[0];
  const std::vector<std::string> assignments(args.begin() + 1, args.end());
  try {
    store.Edit([&](Fleet& fleet) {
      if (target == "--fleet") {
        AssignFleetKeys(fleet, assignments);
        return true;
      }
      Drive* d = FindSerial(fleet, target);
      if (d == nullptr) throw FleetError("no drive with serial number " + target);
      AssignDriveKeys(*d, assignments);
      CheckFleet(fleet);
      return true;
    });
  } catch (const FleetError& e) {
    return Failed("sim-set", e.what());
  }
  const std::string what = target == "--fleet" ? "fleet" : "drive " + target;
  return {"Updated " + what + ": " + JoinWords(args, 1) + "\n", "", 0};
}

Outcome SimAdd(const FleetStore& store, const std::vector<std::string>& args) {
  if (!store.HasFile()) return Failed("sim-add", kNeedFile);
  Drive added;
  try {
    store.Edit([&](Fleet& fleet) {
      added = NewDrive(fleet);
      AssignDriveKeys(added, args);
      fleet.drives.push_back(added);
      CheckFleet(fleet);
      return true;
    });
  } catch (const FleetError& e) {
    return Failed("sim-add", e.what());
  }
  return {"Added drive " + added.serial + " (index " + std::to_string(added.index) + ", PCI " +
              PciName(added.pci) + ", " + added.model + ")\n",
          "", 0};
}

Outcome SimRemove(const FleetStore& store, const std::vector<std::string>& args) {
  if (args.size() != 1) return Failed("sim-remove", "usage: isdct sim-remove SERIAL");
  if (!store.HasFile()) return Failed("sim-remove", kNeedFile);
  try {
    store.Edit([&](Fleet& fleet) {
      auto it = std::find_if(fleet.drives.begin(), fleet.drives.end(),
                             [&](const Drive& d) { return d.serial == args[0]; });
      if (it == fleet.drives.end()) throw FleetError("no drive with serial number " + args[0]);
      fleet.drives.erase(it);
      return true;
    });
  } catch (const FleetError& e) {
    return Failed("sim-remove", e.what());
  }
  return {"Removed drive " + args[0] + "\n", "", 0};
}

}  // namespace isdct_sim
