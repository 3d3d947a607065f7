// Feeds any text to the inventory parser as the tool's "show" output. A
// conversion error is the parser's documented answer to numbers that do not
// fit; anything else (a crash, a hang, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzLines.h"
#include "NimbraCmdEmuParse.h"
#include "NimbraConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = nimbra_fuzz::Lines(data, size);
  std::vector<NAMESPACE_Nimbra::CCmdEmuAdapter> records;
  uint64_t count = 0;
  try {
    NAMESPACE_Nimbra::CmdEmu::ParseInventory(lines, records, count);
    std::string version;
    NAMESPACE_Nimbra::CmdEmu::ParseVersion(lines, version);
  } catch (const NAMESPACE_Nimbra::ConversionError&) {
  }
  for (const auto& r : records) {
    if (r.m_Index == NAMESPACE_Nimbra::CCmdEmuAdapter::kNoDrive) __builtin_trap();
    if (!NAMESPACE_Nimbra::CmdEmu::IsSupportedModel(r.m_ModelNumber)) __builtin_trap();
  }
  return 0;
}
