#include "FleetJson.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>

namespace isdctsim {
namespace {

using Json = nlohmann::ordered_json;

std::string join(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  throw FleetError(where + ": " + what);
}

// Walks the keys of one JSON object, hands each known key to its reader and
// rejects the keys nobody asked for.
class ObjectReader {
 public:
  ObjectReader(const Json& j, std::string where) : object_(j), where_(std::move(where)) {
    if (!object_.is_object()) fail(where_.empty() ? "fleet" : where_, "expected a JSON object");
  }

  template <typename F>
  void field(const char* key, F&& read) {
    known_.insert(key);
    auto it = object_.find(key);
    if (it != object_.end()) read(*it, join(where_, key));
  }

  void rejectUnknown() const {
    for (const auto& item : object_.items()) {
      if (known_.count(item.key()) == 0) fail(join(where_, item.key()), "unknown key");
    }
  }

 private:
  const Json& object_;
  std::string where_;
  std::set<std::string> known_;
};

std::string readString(const Json& j, const std::string& where) {
  if (!j.is_string()) fail(where, "expected a string");
  return j.get<std::string>();
}

bool readBool(const Json& j, const std::string& where) {
  if (!j.is_boolean()) fail(where, "expected true or false");
  return j.get<bool>();
}

// A non-negative integer, or a string of decimal or 0x-hexadecimal digits.
uint64_t readUnsigned(const Json& j, const std::string& where, uint64_t max) {
  std::optional<uint64_t> value;
  if (j.is_number_unsigned()) {
    value = j.get<uint64_t>();
  } else if (j.is_string()) {
    value = parseUnsigned(j.get<std::string>());
  }
  if (!value) fail(where, "expected an unsigned integer (decimal, or hexadecimal text \"0x..\")");
  if (*value > max)
    fail(where, "value " + std::to_string(*value) + " is above " + std::to_string(max));
  return *value;
}

uint32_t readU32(const Json& j, const std::string& where) {
  return static_cast<uint32_t>(readUnsigned(j, where, std::numeric_limits<uint32_t>::max()));
}

uint64_t readU64(const Json& j, const std::string& where) {
  return readUnsigned(j, where, std::numeric_limits<uint64_t>::max());
}

FaultMap readFaults(const Json& j, const std::string& where, bool perDrive) {
  if (!j.is_object()) fail(where, "expected a JSON object");
  FaultMap faults;
  for (const auto& item : j.items()) {
    const std::string key = join(where, item.key());
    std::optional<Command> command = parseCommand(item.key());
    if (!command || (perDrive && *command == Command::kVersion)) {
      fail(key, perDrive ? "unknown key (a drive's faults: show, log2, log197, log202, format, "
                           "delete, set)"
                         : "unknown key (faults: show, version, log2, log197, log202, format, "
                           "delete, set)");
    }
    std::optional<Fault> fault = parseFault(readString(item.value(), key));
    if (!fault) {
      fail(key, "unknown fault \"" + item.value().get<std::string>() +
                    "\" (empty, no-results, invalid-index, garbage, out-of-range, exit-nonzero, "
                    "stderr-only, hang)");
    }
    faults[*command] = *fault;
  }
  return faults;
}

Json faultsToJson(const FaultMap& faults) {
  Json j = Json::object();
  for (const auto& [command, fault] : faults) j[commandName(command)] = faultName(fault);
  return j;
}

void readHealth(const Json& j, const std::string& where, Health& h) {
  ObjectReader r(j, where);
  r.field("criticalWarnings", [&](const Json& v, const std::string& w) {
    h.criticalWarnings = static_cast<uint32_t>(readUnsigned(v, w, 0xFF));
  });
  r.field("availableSpare",
          [&](const auto& v, const auto& w) { h.availableSpare = readU32(v, w); });
  r.field("availableSpareThreshold",
          [&](const auto& v, const auto& w) { h.availableSpareThreshold = readU32(v, w); });
  r.field("percentageUsed",
          [&](const auto& v, const auto& w) { h.percentageUsed = readU32(v, w); });
  r.field("dataUnitsRead", [&](const auto& v, const auto& w) { h.dataUnitsRead = readU64(v, w); });
  r.field("dataUnitsWritten",
          [&](const auto& v, const auto& w) { h.dataUnitsWritten = readU64(v, w); });
  r.field("powerOnHours", [&](const auto& v, const auto& w) { h.powerOnHours = readU64(v, w); });
  r.field("mediaErrors", [&](const auto& v, const auto& w) { h.mediaErrors = readU64(v, w); });
  r.field("temperature", [&](const auto& v, const auto& w) { h.temperature = readU32(v, w); });
  r.field("thermalThrottleStatus",
          [&](const auto& v, const auto& w) { h.thermalThrottleStatus = readU32(v, w); });
  r.field("wearLevelingCount",
          [&](const auto& v, const auto& w) { h.wearLevelingCount = readU32(v, w); });
  r.rejectUnknown();
}

}  // namespace

std::optional<uint64_t> parseUnsigned(const std::string& text) {
  int base = 10;
  std::string digits = text;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text.substr(2);
  }
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (base == 10 ? !std::isdigit(static_cast<unsigned char>(c))
                   : !std::isxdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
  }
  errno = 0;
  unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
  if (errno == ERANGE) return std::nullopt;
  return static_cast<uint64_t>(value);
}

Drive driveFromJson(const Json& j, std::size_t position, const std::string& where) {
  Drive d = defaultDrive(position);
  bool indexGiven = false;
  bool pathGiven = false;
  ObjectReader r(j, where);
  r.field("index", [&](const auto& v, const auto& w) {
    d.index = readU32(v, w);
    indexGiven = true;
  });
  r.field("serial", [&](const auto& v, const auto& w) { d.serial = readString(v, w); });
  r.field("model", [&](const auto& v, const auto& w) { d.model = readString(v, w); });
  r.field("firmware", [&](const auto& v, const auto& w) { d.firmware = readString(v, w); });
  r.field("bootloader", [&](const auto& v, const auto& w) { d.bootloader = readString(v, w); });
  r.field("devicePath", [&](const auto& v, const auto& w) {
    d.devicePath = readString(v, w);
    pathGiven = true;
  });
  r.field("pci", [&](const Json& v, const std::string& w) {
    ObjectReader pci(v, w);
    pci.field("segment", [&](const auto& pv, const auto& pw) {
      d.pci.segment = readUnsigned(pv, pw, 0xFFFF);
    });
    pci.field("bus",
              [&](const auto& pv, const auto& pw) { d.pci.bus = readUnsigned(pv, pw, 0xFF); });
    pci.field("device",
              [&](const auto& pv, const auto& pw) { d.pci.device = readUnsigned(pv, pw, 0x1F); });
    pci.field("function",
              [&](const auto& pv, const auto& pw) { d.pci.function = readUnsigned(pv, pw, 7); });
    pci.rejectUnknown();
  });
  r.field("sectorSize", [&](const auto& v, const auto& w) { d.sectorSize = readU32(v, w); });
  r.field("lbaFormat", [&](const auto& v, const auto& w) {
    d.lbaFormat = static_cast<uint32_t>(readUnsigned(v, w, kNumLbaFormats - 1));
  });
  r.field("maximumLBA", [&](const auto& v, const auto& w) { d.maximumLBA = readU64(v, w); });
  r.field("nativeMaxLBA", [&](const auto& v, const auto& w) { d.nativeMaxLBA = readU64(v, w); });
  r.field("physicalSize", [&](const auto& v, const auto& w) { d.physicalSize = readU64(v, w); });
  r.field("tempThreshold", [&](const auto& v, const auto& w) { d.tempThreshold = readU32(v, w); });
  r.field("driverMajor", [&](const auto& v, const auto& w) { d.driverMajor = readString(v, w); });
  r.field("driverMinor", [&](const auto& v, const auto& w) { d.driverMinor = readString(v, w); });
  r.field("present", [&](const auto& v, const auto& w) { d.present = readBool(v, w); });
  r.field("erased", [&](const auto& v, const auto& w) { d.erased = readBool(v, w); });
  r.field("health", [&](const auto& v, const auto& w) { readHealth(v, w, d.health); });
  r.field("faults", [&](const auto& v, const auto& w) { d.faults = readFaults(v, w, true); });
  r.field("settings", [&](const Json& v, const std::string& w) {
    if (!v.is_object()) fail(w, "expected a JSON object");
    for (const auto& item : v.items()) {
      d.settings[item.key()] = readString(item.value(), join(w, item.key()));
    }
  });
  r.rejectUnknown();
  if (indexGiven && !pathGiven) d.devicePath = devicePathFor(d.index);
  return d;
}

Fleet fleetFromJson(const Json& j) {
  Fleet fleet = defaultFleet();
  ObjectReader r(j, "");
  r.field("toolVersion",
          [&](const auto& v, const auto& w) { fleet.toolVersion = readString(v, w); });
  r.field("nvmeModuleVersion",
          [&](const auto& v, const auto& w) { fleet.nvmeModuleVersion = readString(v, w); });
  r.field("faults", [&](const auto& v, const auto& w) { fleet.faults = readFaults(v, w, false); });
  r.field("drives", [&](const Json& v, const std::string& w) {
    if (!v.is_array()) fail(w, "expected a JSON array");
    fleet.drives.clear();
    for (std::size_t i = 0; i < v.size(); ++i) {
      fleet.drives.push_back(driveFromJson(v[i], i, w + "[" + std::to_string(i) + "]"));
    }
  });
  r.rejectUnknown();
  checkFleet(fleet);
  return fleet;
}

void checkFleet(const Fleet& fleet) {
  std::set<std::string> serials;
  for (std::size_t i = 0; i < fleet.drives.size(); ++i) {
    if (!serials.insert(fleet.drives[i].serial).second) {
      fail("drives[" + std::to_string(i) + "].serial",
           "serial number \"" + fleet.drives[i].serial + "\" is used by another drive");
    }
  }
}

Fleet parseFleet(const std::string& text) {
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    // nlohmann's message begins "[json.exception.parse_error.101] "; keep the rest.
    auto bracket = what.find("] ");
    throw FleetError("not a JSON document: " +
                     (bracket == std::string::npos ? what : what.substr(bracket + 2)));
  }
  return fleetFromJson(j);
}

Json driveToJson(const Drive& d) {
  Json j;
  j["index"] = d.index;
  j["serial"] = d.serial;
  j["model"] = d.model;
  j["firmware"] = d.firmware;
  j["bootloader"] = d.bootloader;
  j["devicePath"] = d.devicePath;
  j["pci"] = {{"segment", d.pci.segment},
              {"bus", d.pci.bus},
              {"device", d.pci.device},
              {"function", d.pci.function}};
  j["sectorSize"] = d.sectorSize;
  j["lbaFormat"] = d.lbaFormat;
  j["maximumLBA"] = d.maximumLBA;
  j["nativeMaxLBA"] = d.nativeMaxLBA;
  j["physicalSize"] = d.physicalSize;
  j["tempThreshold"] = d.tempThreshold;
  j["driverMajor"] = d.driverMajor;
  j["driverMinor"] = d.driverMinor;
  j["present"] = d.present;
  j["erased"] = d.erased;
  const Health& h = d.health;
  j["health"] = {{"criticalWarnings", h.criticalWarnings},
                 {"availableSpare", h.availableSpare},
                 {"availableSpareThreshold", h.availableSpareThreshold},
                 {"percentageUsed", h.percentageUsed},
                 {"dataUnitsRead", h.dataUnitsRead},
                 {"dataUnitsWritten", h.dataUnitsWritten},
                 {"powerOnHours", h.powerOnHours},
                 {"mediaErrors", h.mediaErrors},
                 {"temperature", h.temperature},
                 {"thermalThrottleStatus", h.thermalThrottleStatus},
                 {"wearLevelingCount", h.wearLevelingCount}};
  j["faults"] = faultsToJson(d.faults);
  j["settings"] = Json::object();
  for (const auto& [name, value] : d.settings) j["settings"][name] = value;
  return j;
}

Json fleetToJson(const Fleet& fleet) {
  Json j;
  j["toolVersion"] = fleet.toolVersion;
  j["nvmeModuleVersion"] = fleet.nvmeModuleVersion;
  j["faults"] = faultsToJson(fleet.faults);
  j["drives"] = Json::array();
  for (const Drive& d : fleet.drives) j["drives"].push_back(driveToJson(d));
  return j;
}

std::string serializeFleet(const Fleet& fleet) { return fleetToJson(fleet).dump(2) + "\n"; }

}  // namespace isdctsim
