#include "FleetJson.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>

namespace isdct_sim {
namespace {

using Json = nlohmann::ordered_json;

std::string Join(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw FleetError(where + ": " + what);
}

// Walks the keys of one JSON object, hands each known key to its reader and
// rejects the keys nobody asked for.
class ObjectReader {
 public:
  ObjectReader(const Json& j, std::string where) : m_Object(j), m_Where(std::move(where)) {
    if (!m_Object.is_object()) Fail(m_Where.empty() ? "fleet" : m_Where, "expected a JSON object");
  }

  template <typename F>
  void Field(const char* key, F&& read) {
    m_Known.insert(key);
    auto it = m_Object.find(key);
    if (it != m_Object.end()) read(*it, Join(m_Where, key));
  }

  void RejectUnknown() const {
    for (const auto& item : m_Object.items()) {
      if (m_Known.count(item.key()) == 0) Fail(Join(m_Where, item.key()), "unknown key");
    }
  }

 private:
  const Json& m_Object;
  std::string m_Where;
  std::set<std::string> m_Known;
};

std::string ReadString(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, "expected a string");
  return j.get<std::string>();
}

bool ReadBool(const Json& j, const std::string& where) {
  if (!j.is_boolean()) Fail(where, "expected true or false");
  return j.get<bool>();
}

// A non-negative integer, or a string of decimal or 0x-hexadecimal digits.
uint64_t ReadUnsigned(const Json& j, const std::string& where, uint64_t max) {
  std::optional<uint64_t> value;
  if (j.is_number_unsigned()) {
    value = j.get<uint64_t>();
  } else if (j.is_string()) {
    value = ParseUnsigned(j.get<std::string>());
  }
  if (!value) Fail(where, "expected an unsigned integer (decimal, or hexadecimal text \"0x..\")");
  if (*value > max)
    Fail(where, "value " + std::to_string(*value) + " is above " + std::to_string(max));
  return *value;
}

uint32_t ReadU32(const Json& j, const std::string& where) {
  return static_cast<uint32_t>(ReadUnsigned(j, where, std::numeric_limits<uint32_t>::max()));
}

uint64_t ReadU64(const Json& j, const std::string& where) {
  return ReadUnsigned(j, where, std::numeric_limits<uint64_t>::max());
}

FaultMap ReadFaults(const Json& j, const std::string& where, bool perDrive) {
  if (!j.is_object()) Fail(where, "expected a JSON object");
  FaultMap faults;
  for (const auto& item : j.items()) {
    const std::string key = Join(where, item.key());
    std::optional<Command> command = ParseCommand(item.key());
    if (!command || (perDrive && *command == Command::kVersion)) {
      Fail(key, perDrive ? "unknown key (a drive's faults: show, log2, log197, log202, format, "
                           "delete, set)"
                         : "unknown key (faults: show, version, log2, log197, log202, format, "
                           "delete, set)");
    }
    std::optional<Fault> fault = ParseFault(ReadString(item.value(), key));
    if (!fault) {
      Fail(key, "unknown fault \"" + item.value().get<std::string>() +
                    "\" (empty, no-results, invalid-index, garbage, out-of-range, exit-nonzero, "
                    "stderr-only, hang)");
    }
    faults[*command] = *fault;
  }
  return faults;
}

Json FaultsToJson(const FaultMap& faults) {
  Json j = Json::object();
  for (const auto& [command, fault] : faults) j[CommandName(command)] = FaultName(fault);
  return j;
}

void ReadHealth(const Json& j, const std::string& where, Health& h) {
  ObjectReader r(j, where);
  r.Field("criticalWarnings", [&](const Json& v, const std::string& w) {
    h.criticalWarnings = static_cast<uint32_t>(ReadUnsigned(v, w, 0xFF));
  });
  r.Field("availableSpare",
          [&](const auto& v, const auto& w) { h.availableSpare = ReadU32(v, w); });
  r.Field("availableSpareThreshold",
          [&](const auto& v, const auto& w) { h.availableSpareThreshold = ReadU32(v, w); });
  r.Field("percentageUsed",
          [&](const auto& v, const auto& w) { h.percentageUsed = ReadU32(v, w); });
  r.Field("dataUnitsRead", [&](const auto& v, const auto& w) { h.dataUnitsRead = ReadU64(v, w); });
  r.Field("dataUnitsWritten",
          [&](const auto& v, const auto& w) { h.dataUnitsWritten = ReadU64(v, w); });
  r.Field("powerOnHours", [&](const auto& v, const auto& w) { h.powerOnHours = ReadU64(v, w); });
  r.Field("mediaErrors", [&](const auto& v, const auto& w) { h.mediaErrors = ReadU64(v, w); });
  r.Field("temperature", [&](const auto& v, const auto& w) { h.temperature = ReadU32(v, w); });
  r.Field("thermalThrottleStatus",
          [&](const auto& v, const auto& w) { h.thermalThrottleStatus = ReadU32(v, w); });
  r.Field("wearLevelingCount",
          [&](const auto& v, const auto& w) { h.wearLevelingCount = ReadU32(v, w); });
  r.RejectUnknown();
}

}  // namespace

std::optional<uint64_t> ParseUnsigned(const std::string& text) {
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

Drive DriveFromJson(const Json& j, std::size_t position, const std::string& where) {
  Drive d = DefaultDrive(position);
  bool indexGiven = false;
  bool pathGiven = false;
  ObjectReader r(j, where);
  r.Field("index", [&](const auto& v, const auto& w) {
    d.index = ReadU32(v, w);
    indexGiven = true;
  });
  r.Field("serial", [&](const auto& v, const auto& w) { d.serial = ReadString(v, w); });
  r.Field("model", [&](const auto& v, const auto& w) { d.model = ReadString(v, w); });
  r.Field("firmware", [&](const auto& v, const auto& w) { d.firmware = ReadString(v, w); });
  r.Field("bootloader", [&](const auto& v, const auto& w) { d.bootloader = ReadString(v, w); });
  r.Field("devicePath", [&](const auto& v, const auto& w) {
    d.devicePath = ReadString(v, w);
    pathGiven = true;
  });
  r.Field("pci", [&](const Json& v, const std::string& w) {
    ObjectReader pci(v, w);
    pci.Field("segment", [&](const auto& pv, const auto& pw) {
      d.pci.segment = ReadUnsigned(pv, pw, 0xFFFF);
    });
    pci.Field("bus",
              [&](const auto& pv, const auto& pw) { d.pci.bus = ReadUnsigned(pv, pw, 0xFF); });
    pci.Field("device",
              [&](const auto& pv, const auto& pw) { d.pci.device = ReadUnsigned(pv, pw, 0x1F); });
    pci.Field("function",
              [&](const auto& pv, const auto& pw) { d.pci.function = ReadUnsigned(pv, pw, 7); });
    pci.RejectUnknown();
  });
  r.Field("sectorSize", [&](const auto& v, const auto& w) { d.sectorSize = ReadU32(v, w); });
  r.Field("lbaFormat", [&](const auto& v, const auto& w) {
    d.lbaFormat = static_cast<uint32_t>(ReadUnsigned(v, w, kNumLbaFormats - 1));
  });
  r.Field("maximumLBA", [&](const auto& v, const auto& w) { d.maximumLBA = ReadU64(v, w); });
  r.Field("nativeMaxLBA", [&](const auto& v, const auto& w) { d.nativeMaxLBA = ReadU64(v, w); });
  r.Field("physicalSize", [&](const auto& v, const auto& w) { d.physicalSize = ReadU64(v, w); });
  r.Field("tempThreshold", [&](const auto& v, const auto& w) { d.tempThreshold = ReadU32(v, w); });
  r.Field("driverMajor", [&](const auto& v, const auto& w) { d.driverMajor = ReadString(v, w); });
  r.Field("driverMinor", [&](const auto& v, const auto& w) { d.driverMinor = ReadString(v, w); });
  r.Field("present", [&](const auto& v, const auto& w) { d.present = ReadBool(v, w); });
  r.Field("erased", [&](const auto& v, const auto& w) { d.erased = ReadBool(v, w); });
  r.Field("health", [&](const auto& v, const auto& w) { ReadHealth(v, w, d.health); });
  r.Field("faults", [&](const auto& v, const auto& w) { d.faults = ReadFaults(v, w, true); });
  r.Field("settings", [&](const Json& v, const std::string& w) {
    if (!v.is_object()) Fail(w, "expected a JSON object");
    for (const auto& item : v.items()) {
      d.settings[item.key()] = ReadString(item.value(), Join(w, item.key()));
    }
  });
  r.RejectUnknown();
  if (indexGiven && !pathGiven) d.devicePath = DevicePathFor(d.index);
  return d;
}

Fleet FleetFromJson(const Json& j) {
  Fleet fleet = DefaultFleet();
  ObjectReader r(j, "");
  r.Field("toolVersion",
          [&](const auto& v, const auto& w) { fleet.toolVersion = ReadString(v, w); });
  r.Field("nvmeModuleVersion",
          [&](const auto& v, const auto& w) { fleet.nvmeModuleVersion = ReadString(v, w); });
  r.Field("faults", [&](const auto& v, const auto& w) { fleet.faults = ReadFaults(v, w, false); });
  r.Field("drives", [&](const Json& v, const std::string& w) {
    if (!v.is_array()) Fail(w, "expected a JSON array");
    fleet.drives.clear();
    for (std::size_t i = 0; i < v.size(); ++i) {
      fleet.drives.push_back(DriveFromJson(v[i], i, w + "[" + std::to_string(i) + "]"));
    }
  });
  r.RejectUnknown();
  CheckFleet(fleet);
  return fleet;
}

void CheckFleet(const Fleet& fleet) {
  std::set<std::string> serials;
  for (std::size_t i = 0; i < fleet.drives.size(); ++i) {
    if (!serials.insert(fleet.drives[i].serial).second) {
      Fail("drives[" + std::to_string(i) + "].serial",
           "serial number \"" + fleet.drives[i].serial + "\" is used by another drive");
    }
  }
}

Fleet ParseFleet(const std::string& text) {
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
  return FleetFromJson(j);
}

Json DriveToJson(const Drive& d) {
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
  j["faults"] = FaultsToJson(d.faults);
  j["settings"] = Json::object();
  for (const auto& [name, value] : d.settings) j["settings"][name] = value;
  return j;
}

Json FleetToJson(const Fleet& fleet) {
  Json j;
  j["toolVersion"] = fleet.toolVersion;
  j["nvmeModuleVersion"] = fleet.nvmeModuleVersion;
  j["faults"] = FaultsToJson(fleet.faults);
  j["drives"] = Json::array();
  for (const Drive& d : fleet.drives) j["drives"].push_back(DriveToJson(d));
  return j;
}

std::string SerializeFleet(const Fleet& fleet) { return FleetToJson(fleet).dump(2) + "\n"; }

}  // namespace isdct_sim
