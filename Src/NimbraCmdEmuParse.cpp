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
    for (const auto& key : Patterns::kInventory) {
      inventory.emplace_back(key.pattern, Patterns::kFlagsExact);
    }
    page2.reserve(Patterns::kPage2Count);
    for (const auto& key : Patterns::kPage2) {
      page2.emplace_back(key.pattern, Patterns::kFlagsIgnoreCase);
    }
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

// Stores the value of `key` into `record` with the key's conversion.
template <class Record>
void Store(const Patterns::Key<Record>& key, const std::string& v, Record& record) {
  using Kind = typename Patterns::Key<Record>::Kind;
  switch (key.kind) {
    case Kind::kText:
      record.*key.text = v;
      break;
    case Kind::kFlag:
      record.*key.flag = (v != "False");
      break;
    case Kind::kIndex:
      record.*key.u32 = static_cast<uint32_t>(ToNumber<int32_t>(v));
      break;
    case Kind::kDecimal32:
      record.*key.u32 = ToNumber<uint32_t>(v);
      break;
    case Kind::kSigned32:
      record.*key.i32 = ToNumber<int32_t>(v);
      break;
    case Kind::kDecimal64:
      record.*key.u64 = ToNumber<uint64_t>(v);
      break;
    case Kind::kHex32:
      record.*key.u32 = ToNumber<uint32_t>(v, Base::kHexadecimal);
      break;
    case Kind::kHex64:
      record.*key.u64 = ToNumber<uint64_t>(v, Base::kHexadecimal);
      break;
  }
}

uint64_t U64(const std::string& v) { return ToNumber<uint64_t>(v); }
int32_t I32(const std::string& v) { return ToNumber<int32_t>(v); }

void StoreIfSupported(CCmdEmuAdapter& work, std::vector<CCmdEmuAdapter>& records) {
  if (work.m_Index == CCmdEmuAdapter::kNoDrive || !IsSupportedModel(work.m_ModelNumber)) return;
  records.push_back(work);
  work.m_Index = CCmdEmuAdapter::kNoDrive;
}

}  // namespace

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
        const auto& row = Patterns::kInventory[key];
        Store(row, value, work);
        if (row.kind == Patterns::Key<CCmdEmuAdapter>::Kind::kIndex) {
          work.m_Number = records.size() + 1;  // the position the record will take
        }
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
        Store(Patterns::kPage2[key], value, log);
        break;
      }
    }
  }
}

void ParsePage197(const std::vector<std::string>& lines, bool addInCard, CCmdEmuGetlog& log) {
  const auto margin = static_cast<uint32_t>(TraitsOf(addInCard).temperatureMargin);
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
