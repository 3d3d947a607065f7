// The text the SSD tool prints for each query, one drive at a time: the
// inventory block of "show", the log pages 2, 197 and 202 of "dump", and
// "version". Pure functions of their arguments; no I/O.
//
// Every key line stands on its own line as "Key: value". Page 202 prints each
// attribute over several lines ("ID: EA", "Description: ...", "Normalized:
// ...", "Raw: 0x..."), so a reader must join the lines to see one attribute.
// With `outOfRange` set the same text carries numbers too large for the
// reader's fields (the out-of-range fault).
#pragma once

#include <string>

#include "Fleet.h"

namespace isdct_sim {

constexpr const char* kNoResultsLine = "No results\n";
constexpr const char* kInvalidIndexLine = "Error: Given drive index is invalid.\n";

// "- IntelSSD <serial> -", the line that opens every answer about one drive.
std::string DriveHeader(const Drive& drive);

std::string InventoryBlock(const Drive& drive, bool outOfRange);
std::string LogPage2(const Drive& drive, bool outOfRange);
std::string LogPage197(const Drive& drive, bool outOfRange);
std::string LogPage202(const Drive& drive, bool outOfRange);
// `fleetSource` says where the drives come from, for a person reading it.
std::string VersionText(const std::string& toolVersion, const std::string& fleetSource,
                        bool outOfRange);

}  // namespace isdct_sim
