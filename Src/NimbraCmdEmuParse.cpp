#include "NimbraCmdEmuParse.h"

#include <string.h>

#include <array>

#include "NimbraCmdEmuPatterns.h"
#include "NimbraConvert.h"
#include "NimbraTrace.h"
#include "PI/Status.h"
#include "TLX/Regex/Regex.h"

namespace NAMESPACE_Nimbra {
namespace CmdEmu {

namespace {

using Regex = TLX::Regex::basic_regex<char>;

// Every pattern of the parsers, compiled once on first use (a function-local
// static is initialised exactly once, also when threads race to it).
struct CompiledPatterns {
  Regex header{Patterns::kInventoryHeader, Patterns::kFlagsExact};
  std::vector<Regex> inventory;
  Regex version{Patterns::kVersion, Patterns::kFlagsExact};
  std::vector<Regex> page2;
  Regex page197{Patterns::kPage197, Patterns::kFlagsIgnoreCase};
  Regex throttle{Patterns::kPage202Throttle, Patterns::kFlagsIgnoreCase};
  Regex wear{Patterns::kPage202Wear, Patterns::kFlagsIgnoreCase};

  CompiledPatterns() {
    inventory.reserve(Patterns::kInventoryCount);
    for (const char* p : Patterns::kInventory) inventory.emplace_back(p, Patterns::kFlagsExact);
    page2.reserve(Patterns::kPage2Count);
    for (const char* p : Patterns::kPage2) page2.emplace_back(p, Patterns::kFlagsIgnoreCase);
  }
};

const CompiledPatterns& Compiled() {
  static const CompiledPatterns patterns;
  return patterns;
}

// Copies group 1 of a successful match out of `text` and traces it.
bool TakeGroup1(const TLX::Regex::MatchResultT& result, const std::string& text,
                std::string& value) {
  if (!result.IsMatched() || result.GetHighestGroup() < 1 || result.GetGroupStart(1) < 0) {
    return false;
  }
  value.assign(text, static_cast<size_t>(result.GetGroupStart(1)),
               static_cast<size_t>(result.GetGroupEnd(1) - result.GetGroupStart(1)));
  NIMBRA_TRACE(2, kUnitCmdEmu, "Value: (%s)", value);
  return true;
}

// Group 1 of a match of the whole line. (The result words are read directly:
// a match_result would copy the line for every pattern tried.)
bool MatchValue(const Regex& re, const std::string& line, std::string& value) {
  return TakeGroup1(re.MatchExact(line.data(), line.size()), line, value);
}

// Group 1 of the first match anywhere in `text`.
bool SearchValue(const Regex& re, const std::string& text, std::string& value) {
  return TakeGroup1(re.Match(text.data(), text.size()), text, value);
}

uint32_t U32(const std::string& v) { return ToNumber<uint32_t>(v); }
uint64_t U64(const std::string& v) { return ToNumber<uint64_t>(v); }
int32_t I32(const std::string& v) { return ToNumber<int32_t>(v); }
uint64_t Hex64(const std::string& v) { return ToNumber<uint64_t>(v, Base::kHexadecimal); }

// Stores the value of inventory key `key` (its position in the pattern list).
void SetInventoryField(size_t key, const std::string& v, size_t stored, CCmdEmuAdapter& r) {
  switch (key) {
    case 0:  // Index: converted as a signed 32-bit number
      r.m_Index = static_cast<uint32_t>(I32(v));
      r.m_Number = stored + 1;
      break;
    case 1:
      r.m_Bootloader = v;
      break;
    case 2:
      r.m_ControllerDescription = v;
      break;
    case 3:
      r.m_ControllerIDEMode = (v != "False");
      break;
    case 4:
      r.m_ControllerManufacturer = v;
      break;
    case 5:
      r.m_ControllerService = v;
      break;
    case 6:
      r.m_DevicePath = v;
      break;
    case 7:
      r.m_DeviceStatus = v;
      break;
    case 8:
      r.m_DriverDescription = v;
      break;
    case 9:
      r.m_DriverMajorVersion = v;
      break;
    case 10:
      r.m_DriverManufacturer = v;
      break;
    case 11:
      r.m_DriverMinorVersion = v;
      break;
    case 12:
      r.m_ErrorString = v;
      break;
    case 13:
      r.m_Firmware = v;
      break;
    case 14:
      r.m_LBAFormat = U32(v);
      break;
    case 15:
      r.m_ProductFamily = v;
      break;
    case 16:
      r.m_MaximumLBA = U64(v);
      break;
    case 17:
      r.m_ModelNumber = v;
      break;
    case 18:
      r.m_NativeMaxLBA = U64(v);
      break;
    case 19:
      r.m_NumLBAFormats = U32(v);
      break;
    case 20:
      r.m_NVMePowerState = U32(v);
      break;
    case 21:
      r.m_PhysicalSize = U64(v);
      break;
    case 22:
      r.m_PowerGovernerMode = v;
      break;
    case 23:
      r.m_SectorSize = U32(v);
      break;
    case 24:
      r.m_SerialNumber = v;
      break;
    case 25:
      r.m_TempThreshold = U32(v);
      break;
    default:
      break;
  }
}

void SetPage2Field(size_t key, const std::string& v, CCmdEmuGetlog& log) {
  switch (key) {
    case 0:
      log.m_CriticalWarnings = ToNumber<uint32_t>(v, Base::kHexadecimal);
      break;
    case 1:
      log.m_SpareBelowThreshold = I32(v);
      break;
    case 2:
      log.m_TemperatureExceeded = I32(v);
      break;
    case 3:
      log.m_ReliabilityDegraded = I32(v);
      break;
    case 4:
      log.m_ReadOnlyMode = I32(v);
      break;
    case 5:
      log.m_VolatileBackupFailed = I32(v);
      break;
    case 6:
      log.m_AvailableSpare = I32(v);
      break;
    case 7:
      log.m_AvailableSpareThreshold = I32(v);
      break;
    case 8:
      log.m_PercentageUsed = I32(v);
      break;
    case 9:
      log.m_DataUnitsRead = Hex64(v);
      break;
    case 10:
      log.m_DataUnitsWritten = Hex64(v);
      break;
    case 11:
      log.m_PowerOnHours = Hex64(v);
      break;
    case 12:
      log.m_MediaErrors = Hex64(v);
      break;
    default:
      break;
  }
}

void StoreIfSupported(CCmdEmuAdapter& work, std::vector<CCmdEmuAdapter>& records) {
  if (work.m_Index == CCmdEmuAdapter::kNoDrive || !IsSupportedModel(work.m_ModelNumber)) return;
  records.push_back(work);
  work.m_Index = CCmdEmuAdapter::kNoDrive;
}

}  // namespace

bool IsAddInCard(const std::string& model) { return model.compare(0, 12, "INTEL SSDPED") == 0; }

bool IsSupportedModel(const std::string& model) {
  return IsAddInCard(model) || model.compare(0, 12, "INTEL SSDPE2") == 0;
}

uint32_t ParseInventory(const std::vector<std::string>& lines, std::vector<CCmdEmuAdapter>& records,
                        uint64_t& count) {
  if (lines.empty()) return PI::ERR_TOOL_FAILED;
  if (lines.front().find("No results") != std::string::npos) return PI::ERR_NO_SUPPORTED_HARDWARE;
  const CompiledPatterns& p = Compiled();
  // One working record for the whole parse, never cleared: a key missing
  // from a later block keeps the value of an earlier one.
  CCmdEmuAdapter work;
  std::string value;
  for (const std::string& line : lines) {
    if (p.header.Match(line.data(), line.size()).IsMatched()) {
      StoreIfSupported(work, records);
      continue;
    }
    for (size_t key = 0; key < p.inventory.size(); ++key) {
      if (MatchValue(p.inventory[key], line, value)) {
        SetInventoryField(key, value, records.size(), work);
        break;
      }
    }
  }
  StoreIfSupported(work, records);
  count = records.size();
  return count != 0 ? 0 : PI::ERR_NO_SUPPORTED_HARDWARE;
}

uint32_t ParseVersion(const std::vector<std::string>& lines, std::string& version) {
  std::string value;
  for (const std::string& line : lines) {
    if (MatchValue(Compiled().version, line, value)) {
      version = value;
      return 0;
    }
  }
  return PI::ERR_TOOL_FAILED;
}

void ParsePage2(const std::vector<std::string>& lines, CCmdEmuGetlog& log) {
  const auto& page2 = Compiled().page2;
  std::string value;
  for (const std::string& line : lines) {
    for (size_t key = 0; key < page2.size(); ++key) {
      if (MatchValue(page2[key], line, value)) {
        SetPage2Field(key, value, log);
        break;
      }
    }
  }
}

void ParsePage197(const std::vector<std::string>& lines, bool addInCard, CCmdEmuGetlog& log) {
  const uint32_t margin = addInCard ? 5 : 14;
  std::string value;
  for (const std::string& line : lines) {
    if (!MatchValue(Compiled().page197, line, value)) continue;
    // The margin is added in 32-bit two's complement, so a reading at the
    // top of the range wraps instead of overflowing.
    log.m_CurrentTemperature = static_cast<int32_t>(static_cast<uint32_t>(I32(value)) + margin);
  }
}

void ParsePage202(const std::vector<std::string>& elements, CCmdEmuGetlog& log) {
  const CompiledPatterns& p = Compiled();
  std::string value;
  for (const std::string& text : elements) {
    if (SearchValue(p.throttle, text, value)) log.m_ThermalThrottleStatus = U64(value);
    if (SearchValue(p.wear, text, value)) log.m_WearLevelingCount = U64(value);
  }
}

void AddTemperatureBits(CCmdEmuGetlog& log) {
  const int32_t t = log.m_CurrentTemperature;
  if (t == 78 || t == 79) log.m_CriticalWarnings |= 0x20;
  if (t > 79) log.m_CriticalWarnings |= 0x200;
  if (t >= 80 && t <= 83) log.m_CriticalWarnings |= 0x40;
  if (t > 83) log.m_CriticalWarnings |= 0x80;
}

bool IsInvalidIndexAnswer(const std::vector<std::string>& lines) {
  // memmem: the first element of page 202 is the whole joined page, and
  // string::find stops at every 'E' in it.
  static constexpr char kInvalid[] = "Error: Given drive index is invalid.";
  return !lines.empty() && memmem(lines.front().data(), lines.front().size(), kInvalid,
                                  sizeof(kInvalid) - 1) != nullptr;
}

const std::string* FindSuccessLine(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.find("successful") != std::string::npos) return &line;
  }
  return nullptr;
}

}  // namespace CmdEmu
}  // namespace NAMESPACE_Nimbra
