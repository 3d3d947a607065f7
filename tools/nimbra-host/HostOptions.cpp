#include "HostOptions.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/stat.h>

#include <boost/optional.hpp>
#include <cerrno>
#include <climits>
#include <cstring>

#include "ObjectId.h"
#include "WholeNumber.h"

namespace nimbra_host {

namespace {

const char* const kCommands[] = {"show", "watch", "serve", "get", "set", "ops", "check", "exec"};

// A whole decimal number, or hexadecimal with "0x", that fits `out`.
// Returns "" or the reason it does not.
std::string ReadUnsigned(const std::string& text, unsigned& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const auto n = ParseObjectId(text);  // the same hexadecimal digits
    if (!n) return "'" + text + "' is not a hexadecimal number";
    if (*n > UINT_MAX) return "'" + text + "' is out of range (0..0xFFFFFFFF)";
    out = static_cast<unsigned>(*n);
    return "";
  }
  uint64_t n = 0;
  std::string problem = ReadWhole(text, UINT_MAX, n);
  if (problem.empty()) out = static_cast<unsigned>(n);
  return problem;
}

// A decimal property or operation number: 0 to 2^31-1.
std::string ReadNumberId(const std::string& text, int32_t& out) {
  int64_t n = 0;
  std::string problem = ReadWhole(text, 0, INT32_MAX, n);
  if (problem.empty()) out = static_cast<int32_t>(n);
  return problem;
}

// "" when `dir` is a folder the harness can read, else why not.
std::string FolderProblem(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) return "'" + dir + "': " + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return "'" + dir + "' is not a folder";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return "cannot read '" + dir + "': " + std::strerror(errno);
  closedir(d);
  return "";
}

// The arguments each command takes, in order; options are its own.
const char kId[] = "an object (ID, serial number or device path)";
const char kProperty[] = "a property number";
const char kOperation[] = "an operation number";
const char kValue[] = "a value";

struct Grammar {
  const char* command;
  std::vector<const char*> required;
  std::vector<const char*> optional;
  bool json;
  bool seconds;
  bool exec;    // --exec CMD, --exec-timeout S
  bool listen;  // --listen ADDR:PORT
};

const Grammar kGrammars[] = {
    {"show", {}, {kId}, true, false, false, false},
    {"watch", {}, {}, true, true, true, false},
    {"serve", {}, {}, false, false, true, true},
    {"get", {kId}, {kProperty}, true, false, false, false},
    {"set", {kId, kProperty, kValue}, {}, false, false, false, false},
    {"ops", {kId}, {}, false, false, false, false},
    {"check", {kId, kOperation}, {}, false, false, false, false},
    {"exec", {kId, kOperation}, {}, true, false, false, false},
};

// Fills the command's fields of `o` from o.args, or sets o.error.
void ParseCommandArguments(HostOptions& o) {
  const Grammar* grammar = nullptr;
  for (const Grammar& g : kGrammars) {
    if (o.command == g.command) grammar = &g;
  }
  if (grammar == nullptr) return;
  const std::string& c = o.command;
  std::vector<std::string> positional;
  bool timeoutSet = false;
  for (size_t i = 0; i < o.args.size(); ++i) {
    const std::string& a = o.args[i];
    if (a == "--json" && grammar->json) {
      o.json = true;
    } else if ((a == "--format" || a == "--output") && c == "show") {
      if (i + 1 >= o.args.size()) {
        o.error = c + ": " + a + " needs a value";
        return;
      }
      const std::string& v = o.args[++i];
      if (a == "--output") {
        o.output = v;
      } else if (v == "prometheus" || v == "text") {
        o.prometheus = v == "prometheus";
      } else {
        o.error = c + ": --format: '" + v + "' is not text or prometheus";
        return;
      }
    } else if ((a == "--seconds" && grammar->seconds) ||
               ((a == "--exec" || a == "--exec-timeout") && grammar->exec) ||
               (a == "--listen" && grammar->listen)) {
      if (i + 1 >= o.args.size()) {
        o.error = c + ": " + a + " needs a value";
        return;
      }
      const std::string& v = o.args[++i];
      std::string problem;
      if (a == "--seconds") {
        problem = ReadUnsigned(v, o.seconds);
        o.secondsSet = true;
      } else if (a == "--exec-timeout") {
        problem = ReadUnsigned(v, o.execTimeoutS);
        if (problem.empty() && o.execTimeoutS == 0) problem = "must be at least 1";
        timeoutSet = true;
      } else if (a == "--listen") {
        problem = ListenProblem(v);
        o.listen = v;
      } else if (v.find_first_not_of(" \t") == std::string::npos) {
        problem = "the hook command is empty";
      } else {
        o.exec = v;
      }
      if (!problem.empty()) {
        o.error = c + ": " + a + ": " + problem;
        return;
      }
    } else if (a.compare(0, 2, "--") == 0) {
      o.error = c + ": unknown option '" + a + "'";
      return;
    } else {
      positional.push_back(a);
    }
  }
  if (o.prometheus && o.json) {
    o.error = c + ": --json and --format prometheus exclude each other";
    return;
  }
  if (timeoutSet && o.exec.empty()) {
    o.error = c + ": --exec-timeout needs --exec";
    return;
  }
  if (!o.output.empty() && !o.prometheus) {
    o.error = c + ": --output needs --format prometheus";
    return;
  }
  const size_t required = grammar->required.size();
  if (positional.size() < required) {
    o.error = c + " needs " + grammar->required[positional.size()];
    return;
  }
  if (positional.size() > required + grammar->optional.size()) {
    o.error = c + ": unexpected argument '" + positional[required + grammar->optional.size()] + "'";
    return;
  }
  for (size_t i = 0; i < positional.size(); ++i) {
    const std::string word = i < required ? grammar->required[i] : grammar->optional[i - required];
    const std::string& text = positional[i];
    if (word == kId) {
      const auto id = ParseObjectId(text);
      const bool hex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
      if (!id && hex) {
        o.error = "'" + text + "' is not an object ID: IDs are hexadecimal, as show prints them";
        return;
      }
      if (text.empty()) {
        o.error = c + " needs " + kId + ", not an empty text";
        return;
      }
      o.object = text;
      o.objectIsId = bool(id);
      o.objectId = id ? *id : 0;
    } else if (word == kProperty) {
      const std::string problem = ReadNumberId(text, o.property);
      if (!problem.empty()) {
        o.error = "property " + problem;
        return;
      }
      o.propertySet = true;
    } else if (word == kOperation) {
      const std::string problem = ReadNumberId(text, o.operation);
      if (!problem.empty()) {
        o.error = "operation " + problem;
        return;
      }
    } else {
      o.value = text;
    }
  }
}

std::string HookUsage() {
  return "--exec CMD runs CMD with /bin/sh -c once per event, one at a time, with the event\n"
         "in NIMBRA_EVENT_ID, NIMBRA_SEVERITY, NIMBRA_OBJECT_ID, NIMBRA_SERIAL,\n"
         "NIMBRA_OBJECT_NAME, NIMBRA_MESSAGE and NIMBRA_TIME (README); its output goes to\n"
         "stderr. A run is killed with its process group after S seconds (--exec-timeout,\n"
         "default 30); a failed run is reported on stderr; at most 1000 events wait, the\n"
         "oldest dropped first.\n";
}

}  // namespace

std::string ListenProblem(const std::string& address) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    return "'" + address + "' is not ADDR:PORT (127.0.0.1:9787, 0.0.0.0:9787)";
  }
  const std::string host = address.substr(0, colon);
  // Debian's civetweb, the endpoint's HTTP server, is built without IPv6.
  if (host.front() == '[' || host.find(':') != std::string::npos) {
    return "'" + address + "': IPv6 is not available (the HTTP server is built without it)";
  }
  in_addr binary{};
  if (inet_pton(AF_INET, host.c_str(), &binary) != 1) {
    return "'" + host + "' is not an IPv4 address (names are not looked up)";
  }
  uint64_t n = 0;
  const std::string problem = ReadWhole(address.substr(colon + 1), 65535, n);
  return problem.empty() ? "" : "port " + problem;
}

bool IsCommand(const std::string& word) {
  for (const char* c : kCommands) {
    if (word == c) return true;
  }
  return false;
}

HostOptions ParseHostOptions(int argc, const char* const* argv) {
  HostOptions o;
  int i = 1;
  auto value = [&](const char* name) -> boost::optional<std::string> {
    if (i + 1 >= argc) {
      o.error = std::string(name) + " needs a value";
      return boost::none;
    }
    return std::string(argv[++i]);
  };
  auto number = [&](const char* name, unsigned& out) {
    auto text = value(name);
    if (!text) return;
    const std::string problem = ReadUnsigned(*text, out);
    if (!problem.empty()) o.error = std::string(name) + ": " + problem;
  };
  for (; i < argc && o.error.empty(); ++i) {
    const std::string a = argv[i];
    if (!o.command.empty()) {
      if (a == "--help" || a == "-h") {
        o.help = true;
      } else {
        o.args.push_back(a);
      }
      continue;
    }
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--plugin") {
      if (auto v = value("--plugin")) o.plugin = *v;
    } else if (a == "--config-dir") {
      if (auto v = value("--config-dir")) o.configDir = *v;
    } else if (a == "--sysfs-root") {
      if (auto v = value("--sysfs-root")) {
        o.sysfsRoot = *v;
        const std::string problem = FolderProblem(o.sysfsRoot);
        if (!problem.empty()) o.error = "--sysfs-root: " + problem;
      }
    } else if (a == "--trace") {
      number("--trace", o.traceMask);
      o.traceSet = true;
    } else if (a == "--trace-file") {
      if (auto v = value("--trace-file")) o.traceFile = *v;
    } else if (a == "--tool-timeout") {
      number("--tool-timeout", o.toolTimeoutS);
      if (o.error.empty() && o.toolTimeoutS == 0) o.error = "--tool-timeout must be at least 1";
    } else if (a == "--settle") {
      number("--settle", o.settleS);
    } else if (a == "--simulate") {
      o.simulate = true;
      // The next word is the fleet file unless it is a command or an option;
      // a word that is neither a command nor a file is a mistake either way.
      if (i + 1 < argc && !IsCommand(argv[i + 1]) && std::strncmp(argv[i + 1], "--", 2) != 0) {
        o.fleet = argv[++i];
        struct stat st {};
        if (stat(o.fleet.c_str(), &st) != 0) {
          o.error = "--simulate: '" + o.fleet + "' is neither a command nor a fleet file (" +
                    std::strerror(errno) + ")";
        }
      }
    } else if (IsCommand(a)) {
      o.command = a;
    } else if (a.compare(0, 1, "-") == 0) {
      o.error = "unknown option '" + a + "'";
    } else {
      o.error = "unknown command '" + a + "'";
    }
  }
  if (o.error.empty() && o.command.empty() && !o.help) o.error = "no command given";
  if (o.error.empty() && !o.help) ParseCommandArguments(o);
  return o;
}

std::string Usage() {
  return "usage: nimbra-host [--plugin FILE] [--config-dir DIR] [--sysfs-root DIR] [--trace MASK]\n"
         "                   [--trace-file FILE] [--tool-timeout S] [--settle S]\n"
         "                   [--simulate [FLEET.json]] COMMAND\n"
         "\n"
         "Loads the Nimbra plug-in, initializes it and hands it adapter numbers, runs COMMAND,\n"
         "then shuts the plug-in down.\n"
         "\n"
         "commands:\n"
         "  show [OBJECT] [--json]          the topology (plug-in, adapters, drives), or one\n"
         "                                  object with what lies below it\n"
         "  show [OBJECT] --format prometheus [--output FILE]\n"
         "                                  the fleet's metrics in the Prometheus text format\n"
         "  watch [--seconds N] [--json] [--exec CMD [--exec-timeout S]]\n"
         "                                  show, then print events as they come (Ctrl-C ends);\n"
         "                                  CMD runs once per event\n"
         "  serve [--listen ADDR:PORT] [--exec CMD [--exec-timeout S]]\n"
         "                                  serve the metrics at http://ADDR:PORT/metrics\n"
         "                                  (default 127.0.0.1:9787) until SIGTERM or Ctrl-C\n"
         "  get OBJECT [PROPERTY] [--json]  properties of one object\n"
         "  set OBJECT PROPERTY VALUE       write a property\n"
         "  ops OBJECT                      operations of one object\n"
         "  check OBJECT OP                 ask whether an operation may run\n"
         "  exec OBJECT OP [--json]         run an operation\n"
         "\n"
         "OBJECT: an object ID in hex as show prints it (0x0135000000000001), or an adapter's\n"
         "serial number or device path (CVFT5213000A400BGN, /dev/nvme0n1); drive:SERIAL or\n"
         "drive:PATH names the adapter's drive.\n"
         "\n"
         "options:\n"
         "  --plugin FILE      plug-in library (default: libNimbra.so beside nimbra-host)\n"
         "  --config-dir DIR   folder of Nimbra.ini (default: the current folder)\n"
         "  --sysfs-root DIR   sysfs tree to find PCI devices in (default: /sys)\n"
         "  --trace MASK       trace levels of the plug-in: 2 calls, 4 objects, 8 locks, 16 "
         "values\n"
         "  --trace-file FILE  write trace lines to FILE instead of stderr\n"
         "  --tool-timeout S   time limit of one SSD tool run (default 120)\n"
         "  --settle S         wait at most S seconds for the first health read (default 10)\n"
         "  --simulate [FLEET] run against the SSD tool simulator (bin/isdct), with its default\n"
         "                     fleet or the fleet file FLEET\n"
         "\n"
         "exit status: 0 done (watch and serve: also ended by a signal), 1 failure or a signal\n"
         "(INT, TERM, HUP, QUIT), 2 the plug-in could not initialize, 3 show or get answered\n"
         "but the monitoring has stopped (the readings are frozen; stderr says why)\n";
}

std::string CommandUsage(const std::string& command) {
  if (command == "show") {
    return "usage: nimbra-host [options] show [OBJECT] [--json | --format text|prometheus\n"
           "                                      [--output FILE]]\n"
           "Prints the plug-in object, every adapter and every drive with its properties, as a\n"
           "tree with values in words and units, or with --json as one JSON document (IDs as\n"
           "hexadecimal text, every word of every property; docs/json.md). With OBJECT (an\n"
           "ID, an adapter's serial number or device path, drive:SERIAL), only that object\n"
           "and what lies below it: an adapter with its drive. --format prometheus prints the\n"
           "metrics once in the Prometheus text format (docs/metrics.md), for node_exporter's\n"
           "textfile collector; nimbra_events_total counts the events waiting in the queue,\n"
           "which it fetches. --output FILE writes them to FILE atomically (a temporary file\n"
           "beside it, then renamed).\n";
  }
  if (command == "watch") {
    return "usage: nimbra-host [options] watch [--seconds N] [--json] [--exec CMD\n"
           "                                       [--exec-timeout S]]\n"
           "Prints the topology as show does, then every event the plug-in raises, one line\n"
           "each, until N seconds have passed or Ctrl-C (exit status 0). With --json the\n"
           "topology is one line of JSON and each event a JSON object on a line of its own.\n"
           "Events come after the plug-in's next full scan: a changed critical warning is\n"
           "noticed at the next poll (property 30005 of the plug-in object, in seconds).\n" +
           HookUsage();
  }
  if (command == "serve") {
    return "usage: nimbra-host [options] serve [--listen ADDR:PORT] [--exec CMD\n"
           "                                       [--exec-timeout S]]\n"
           "Keeps the plug-in initialized and serves its metrics in the Prometheus text format\n"
           "at http://ADDR:PORT/metrics (docs/metrics.md; ADDR an IPv4 address, default\n"
           "127.0.0.1:9787, port 0 for any free one), every other path 404, until SIGTERM or\n"
           "Ctrl-C (exit status 0). Each scrape reads the plug-in's tree as it is; events are\n"
           "fetched as the plug-in raises them and counted in nimbra_events_total. Exit status\n"
           "1 when the address cannot be listened on (in use, privileged, not this machine's).\n" +
           HookUsage();
  }
  if (command == "get") {
    return "usage: nimbra-host [options] get OBJECT [PROPERTY] [--json]\n"
           "Prints the properties of OBJECT (an ID in hexadecimal as show prints it, an\n"
           "adapter's serial number or device path, drive:SERIAL for its drive), or only\n"
           "PROPERTY (a property number, as show prints it). Exit status 1 for a text that\n"
           "names no object or more than one, or a property the object does not have.\n";
  }
  if (command == "set") {
    return "usage: nimbra-host [options] set OBJECT PROPERTY VALUE\n"
           "Reads the property, puts VALUE in it and writes it back, then prints it again.\n"
           "VALUE must suit the property: a whole number within its limits for a ranged\n"
           "value, one of its allowed codes for an enumerated one. Example, the poll interval:\n"
           "  nimbra-host set 0x0135000000000000 30005 10\n";
  }
  if (command == "ops") {
    return "usage: nimbra-host [options] ops OBJECT\n"
           "Lists the operations OBJECT offers: number, name and the eight host words.\n";
  }
  if (command == "check") {
    return "usage: nimbra-host [options] check OBJECT OP\n"
           "Asks the plug-in whether operation OP may run on OBJECT. Exit status 0 when\n"
           "it may, 1 when the plug-in refuses (the line names its status).\n";
  }
  if (command == "exec") {
    return "usage: nimbra-host [options] exec OBJECT OP [--json]\n"
           "Runs operation OP on OBJECT and prints the events it returns; 50002 on the\n"
           "plug-in object fetches the waiting events. With --json, one JSON object per\n"
           "event and line.\n";
  }
  return Usage();
}

}  // namespace nimbra_host
