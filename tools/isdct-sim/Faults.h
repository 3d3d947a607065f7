// Fault injection of the SSD tool simulator: the commands a fault can be
// attached to, the kinds of fault, their names in the fleet file, and which
// fault a run meets. Plain values and pure functions; no I/O.
//
// A fault is keyed by command. The fleet's own map applies to every run of
// that command; a drive's map applies to runs that address that drive and
// takes precedence over the fleet's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace isdct_sim {

// The tool commands a fault can be attached to. The log pages count as three
// commands so that each can fail on its own.
enum class Command { kShow, kVersion, kLog2, kLog197, kLog202, kFormat, kDelete, kSet };

enum class Fault {
  kEmpty,         // prints nothing, exit status 0
  kNoResults,     // "No results", exit status 0
  kInvalidIndex,  // "Error: Given drive index is invalid.", exit status 1
  kGarbage,       // deterministic noise, exit status 0
  kOutOfRange,    // the normal answer with numbers too large for the reader's fields
  kExitNonzero,   // an error text, exit status 3
  kStderrOnly,    // the normal answer on standard error instead of standard output
  kHang,          // prints nothing and sleeps until killed
};

using FaultMap = std::map<Command, Fault>;

// Names as they appear in the fleet file: "show", "log2", ...; "empty",
// "no-results", ... The parse functions return nullopt for an unknown name.
const char* CommandName(Command command);
const char* FaultName(Fault fault);
std::optional<Command> ParseCommand(const std::string& name);
std::optional<Fault> ParseFault(const std::string& name);
const std::vector<Command>& AllCommands();
const std::vector<Fault>& AllFaults();

// The fault a run of `command` meets: the drive's (when `driveFaults` is not
// null and has one), else the fleet's, else none.
std::optional<Fault> FaultFor(const FaultMap& fleetFaults, const FaultMap* driveFaults,
                              Command command);

}  // namespace isdct_sim
