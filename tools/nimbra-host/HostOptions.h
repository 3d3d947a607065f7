// The harness's command line: global options, the command and its arguments.
// ParseHostOptions never exits or prints; it reports a bad command line as
// one message in HostOptions::error. Everything that can be checked without
// the plug-in is checked here (a text starting "0x" is a hexadecimal object
// ID, property and operation numbers are whole decimal numbers in range,
// options belong to their command, the sysfs root and a fleet file exist), so
// that a wrong command line fails before the plug-in is loaded. An object is
// named by its ID, or by the serial number or device path of an adapter
// ("drive:" in front names the adapter's drive); the command resolves such a
// name against the topology (ObjectLookup.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbra_host {

struct HostOptions {
  std::string plugin;      // --plugin FILE (default: libNimbra.so beside the harness)
  std::string configDir;   // --config-dir DIR
  std::string sysfsRoot;   // --sysfs-root DIR
  unsigned traceMask = 0;  // --trace MASK (decimal or 0x hex)
  bool traceSet = false;
  std::string traceFile;        // --trace-file FILE
  unsigned toolTimeoutS = 120;  // --tool-timeout S
  unsigned settleS = 10;        // --settle S
  bool simulate = false;        // --simulate [FLEET.json]
  std::string fleet;

  bool help = false;
  std::string command;            // show, watch, serve, get, set, ops, check, exec
  std::vector<std::string> args;  // the command's own arguments and options, as given

  // The command's arguments, checked against its grammar (see Usage).
  bool json = false;        // --json (show, watch, get, exec)
  bool prometheus = false;  // show --format prometheus (text: the default)
  std::string output;       // show --output FILE (with --format prometheus)
  bool secondsSet = false;  // watch --seconds N
  unsigned seconds = 0;
  std::string listen = "127.0.0.1:9787";  // serve --listen ADDR:PORT (checked: ListenProblem)
  std::string exec;                       // watch, serve --exec CMD: the alert hook
  unsigned execTimeoutS = 30;             // watch, serve --exec-timeout S (with --exec)
  std::string object;                     // OBJECT: get, set, ops, check, exec, show (optional)
  bool objectIsId = false;                // OBJECT reads as an object ID, which is then objectId
  uint64_t objectId = 0;
  bool propertySet = false;  // PROPERTY: get (optional), set
  int32_t property = 0;
  int32_t operation = 0;  // OP: check, exec
  std::string value;      // VALUE: set (checked against the property later)

  std::string error;  // non-empty when the command line is wrong
};

HostOptions ParseHostOptions(int argc, const char* const* argv);

// Usage text: the whole program, or one command.
std::string Usage();
std::string CommandUsage(const std::string& command);

// "" when `address` is ADDR:PORT with ADDR an IPv4 address and PORT 0..65535
// (0: any free port), else why not.
std::string ListenProblem(const std::string& address);

// True for a command name the harness knows.
bool IsCommand(const std::string& word);

}  // namespace nimbra_host
