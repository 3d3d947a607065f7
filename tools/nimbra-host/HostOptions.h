// The harness's command line: global options, the command and its arguments.
// ParseHostOptions never exits or prints; it reports a bad command line as
// one message in HostOptions::error.
#pragma once

#include <string>
#include <vector>

namespace nimbra_host {

struct HostOptions {
  std::string plugin;      // --plugin FILE (default: libNimbra.so beside the harness)
  std::string configDir;   // --config-dir DIR
  std::string sysfsRoot;   // --sysfs-root DIR
  unsigned traceMask = 0;  // --trace MASK (decimal or 0x hex)
  bool traceSet = false;
  std::string traceFile;   // --trace-file FILE
  unsigned toolTimeoutS = 120;  // --tool-timeout S
  unsigned settleS = 10;        // --settle S
  bool simulate = false;        // --simulate [FLEET.json]
  std::string fleet;

  bool help = false;
  std::string command;            // show, watch, get, set, ops, check, exec
  std::vector<std::string> args;  // the command's own arguments and options
  std::string error;              // non-empty when the command line is wrong
};

HostOptions ParseHostOptions(int argc, const char* const* argv);

// Usage text: the whole program, or one command.
std::string Usage();
std::string CommandUsage(const std::string& command);

// True for a command name the harness knows.
bool IsCommand(const std::string& word);

}  // namespace nimbra_host
