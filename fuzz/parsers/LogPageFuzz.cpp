// Feeds any text to the health-page parsers: as the lines of pages 2 and
// 197, and as the joined text of page 202.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzLines.h"
#include "NimbraCmdEmuParse.h"
#include "NimbraConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace CmdEmu = NAMESPACE_Nimbra::CmdEmu;
  const std::vector<std::string> lines = nimbra_fuzz::Lines(data, size);
  const std::vector<std::string> joined = {nimbra_fuzz::Joined(lines)};
  NAMESPACE_Nimbra::CCmdEmuGetlog log;
  try {
    CmdEmu::ParsePage2(lines, log);
    CmdEmu::ParsePage197(lines, size % 2 == 0, log);
    CmdEmu::ParsePage202(joined, log);
    CmdEmu::AddTemperatureBits(log);
  } catch (const NAMESPACE_Nimbra::ConversionError&) {
  }
  CmdEmu::IsInvalidIndexAnswer(lines);
  CmdEmu::FindSuccessLine(lines);
  return 0;
}
