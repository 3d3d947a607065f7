// Parsers of the SSD tool's text, apart from running the tool, so that tests,
// benchmarks and fuzz targets can feed them text directly. Each line is
// tried against an ordered pattern list; the first pattern that matches
// decides, unmatched lines are ignored, and the value is capture group 1.
// Patterns are compiled once per process, on first use, thread-safely.
//
// Statuses: 0, 20001 (ERR_NO_SUPPORTED_HARDWARE) or 20003 (ERR_TOOL_FAILED).
// A number that does not fit its field throws ConversionError; records
// filled before that point keep what they got.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NimbraCmdEmuRecords.h"
#include "NimbraFormFactor.h"

namespace NAMESPACE_Nimbra {
namespace CmdEmu {

// "show -all -intelssd": appends one record per supported drive to `records`
// (which the caller has emptied) and sets `count` to their number. Returns
// 20003 for no lines and 20001 when the first line says "No results" (both
// leave `count` alone) or no supported drive was found (count 0).
uint32_t ParseInventory(const std::vector<std::string>& lines, std::vector<CCmdEmuAdapter>& records,
                        uint64_t& count);

// "version": the text after "Version: " on the first line that has it.
// Returns 0, or 20003 with `version` untouched when no line matches.
uint32_t ParseVersion(const std::vector<std::string>& lines, std::string& version);

// Log page 2: the thirteen health keys, a later line overriding an earlier.
void ParsePage2(const std::vector<std::string>& lines, CCmdEmuGetlog& log);
// Log page 197: every "Current Temperature" line sets the temperature plus
// the margin of the form factor (FormFactorTraits).
void ParsePage197(const std::vector<std::string>& lines, bool addInCard, CCmdEmuGetlog& log);
// Log page 202: searches each element (normally the whole page joined into
// one text) for the thermal-throttle and wear-levelling attributes.
void ParsePage202(const std::vector<std::string>& elements, CCmdEmuGetlog& log);
// Adds the temperature-band bits 0x20, 0x40, 0x80 and 0x200 that the
// current temperature calls for to the critical-warning word.
void AddTemperatureBits(CCmdEmuGetlog& log);

// True when the first line carries the tool's invalid-index message.
bool IsInvalidIndexAnswer(const std::vector<std::string>& lines);
// The first line containing "successful", or null.
const std::string* FindSuccessLine(const std::vector<std::string>& lines);

}  // namespace CmdEmu
}  // namespace NAMESPACE_Nimbra
