// Feeds any text to the health-page parsers: as the lines of pages 2 and
// 197, and as the joined text of page 202. Each line is also converted as a
// number, and the quick conversion must agree with the stream converter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzLines.h"
#include "NimbraCmdEmuParse.h"
#include "NimbraConvert.h"

namespace {

template <class T>
void CheckConversion(const std::string& text, NAMESPACE_Nimbra::Base base) {
  namespace N = NAMESPACE_Nimbra;
  const boost::optional<T> stream = boost::convert<T>(text, N::detail::Converter(base));
  try {
    const T value = N::ToNumber<T>(text, base);
    if (!stream || value != *stream) std::abort();
  } catch (const N::ConversionError&) {
    if (stream) std::abort();
  }
}

}  // namespace

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
  for (const std::string& line : lines) {
    for (auto base : {NAMESPACE_Nimbra::Base::kDecimal, NAMESPACE_Nimbra::Base::kHexadecimal}) {
      CheckConversion<uint32_t>(line, base);
      CheckConversion<int32_t>(line, base);
      CheckConversion<uint64_t>(line, base);
    }
  }
  CmdEmu::IsInvalidIndexAnswer(lines);
  CmdEmu::FindSuccessLine(lines);
  return 0;
}
