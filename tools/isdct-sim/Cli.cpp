#include "Cli.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

#include "Faults.h"
#include "Fleet.h"
#include "FleetJson.h"
#include "FleetStore.h"
#include "Garbage.h"
#include "Maintenance.h"
#include "Printers.h"
#include "SimCommands.h"

namespace isdct_sim {
namespace {

// The words of a tool command line, sorted by kind.
struct Words {
  std::string verb;
  std::set<std::string> flags;  // "-all", "-f"
  bool intelssd = false;
  std::optional<std::string> target;                          // the word after -intelssd
  std::map<std::string, std::string> props;                   // Name=Value, names in lower case
  std::vector<std::pair<std::string, std::string>> rawProps;  // as written, in order
  std::vector<std::string> stray;                             // anything else
  std::string line;  // the whole command line, for messages
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

Words SortWords(const std::vector<std::string>& args) {
  Words w;
  w.verb = args[0];
  for (const std::string& a : args) w.line += (w.line.empty() ? "" : " ") + a;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-intelssd") {
      w.intelssd = true;
      if (i + 1 < args.size() && args[i + 1][0] != '-' &&
          args[i + 1].find('=') == std::string::npos) {
        w.target = args[++i];
      }
    } else if (!a.empty() && a[0] == '-') {
      w.flags.insert(a);
    } else if (a.find('=') != std::string::npos && a[0] != '=') {
      const auto eq = a.find('=');
      const std::string name = Lower(a.substr(0, eq));
      if (w.props.count(name) != 0) {
        w.stray.push_back(a);  // a property given twice
      } else {
        w.props[name] = a.substr(eq + 1);
        w.rawProps.emplace_back(a.substr(0, eq), a.substr(eq + 1));
      }
    } else {
      w.stray.push_back(a);
    }
  }
  return w;
}

Outcome UsageError(const std::string& message) {
  return {"", "isdct: " + message + "\nRun 'isdct --help' for the command lines it accepts.\n", 1};
}

Outcome UnknownLine(const Words& w) { return UsageError("unknown command line: " + w.line); }

Outcome InvalidIndex() { return {kInvalidIndexLine, "", 1}; }

// The answer of a run that meets `fault`; `normal` builds the fault-free
// answer (or its out-of-range variant).
Outcome WithFault(std::optional<Fault> fault, Command command, const std::string& seed,
                  const std::function<Outcome(bool outOfRange)>& normal) {
  if (!fault) return normal(false);
  switch (*fault) {
    case Fault::kEmpty:
      return {};
    case Fault::kNoResults:
      return {kNoResultsLine, "", 0};
    case Fault::kInvalidIndex:
      return InvalidIndex();
    case Fault::kGarbage:
      return {Garbage(command, seed), "", 0};
    case Fault::kOutOfRange:
      return normal(true);
    case Fault::kExitNonzero:
      return {std::string("Error: ") + CommandName(command) +
                  " failed: the device did not respond (simulated fault).\n",
              "", 3};
    case Fault::kStderrOnly: {
      Outcome o = normal(false);
      return {"", o.out + o.err, o.status, o.hang};
    }
    case Fault::kHang:
      return {"", "", 0, true};
  }
  return normal(false);
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The present drive a target word names: an index, or else a serial number.
Drive* Resolve(Fleet& fleet, const std::string& target) {
  if (AllDigits(target)) {
    auto index = ParseUnsigned(target);
    if (!index || *index > UINT32_MAX) return nullptr;
    return FindPresent(fleet, static_cast<uint32_t>(*index));
  }
  for (Drive& d : fleet.drives) {
    if (d.present && d.serial == target) return &d;
  }
  return nullptr;
}

Outcome Show(Fleet& fleet, const Words& w) {
  auto whole = [&](bool outOfRangeAll) -> Outcome {
    std::vector<const Drive*> drives;
    if (w.target) {
      const Drive* d = Resolve(fleet, *w.target);
      if (d == nullptr) return InvalidIndex();
      drives.push_back(d);
    } else {
      for (const Drive& d : fleet.drives) {
        if (d.present) drives.push_back(&d);
      }
    }
    if (drives.empty()) return {kNoResultsLine, "", 0};
    Outcome total;
    for (const Drive* d : drives) {
      Outcome block = WithFault(FaultFor({}, &d->faults, Command::kShow), Command::kShow, d->serial,
                                [&](bool outOfRange) -> Outcome {
                                  return {InventoryBlock(*d, outOfRange || outOfRangeAll), "", 0};
                                });
      total.out += block.out;
      total.err += block.err;
      if (block.hang || block.status == 3) {
        total.hang = block.hang;
        total.status = block.status;
        break;
      }
      if (total.status == 0) total.status = block.status;
    }
    return total;
  };
  return WithFault(FaultFor(fleet.faults, nullptr, Command::kShow), Command::kShow, "fleet", whole);
}

Outcome Dump(Fleet& fleet, const Words& w) {
  static const std::map<std::string, std::pair<Command, std::string (*)(const Drive&, bool)>>
      kPages = {{"2", {Command::kLog2, LogPage2}},
                {"197", {Command::kLog197, LogPage197}},
                {"202", {Command::kLog202, LogPage202}}};
  auto dataType = w.props.find("datatype");
  auto logId = w.props.find("logid");
  if (dataType == w.props.end() || logId == w.props.end() || w.props.size() != 2) {
    return UsageError("dump takes DataType=nvmelog and LogID=2, 197 or 202: " + w.line);
  }
  if (Lower(dataType->second) != "nvmelog") {
    return UsageError("DataType " + dataType->second + " is not supported (nvmelog)");
  }
  auto page = kPages.find(logId->second);
  if (page == kPages.end()) {
    return UsageError("LogID " + logId->second + " is not supported (2, 197 or 202)");
  }
  const Command command = page->second.first;
  const Drive* d = Resolve(fleet, *w.target);
  return WithFault(FaultFor(fleet.faults, d ? &d->faults : nullptr, command), command,
                   d ? d->serial : "fleet", [&](bool outOfRange) -> Outcome {
                     if (d == nullptr) return InvalidIndex();
                     return {page->second.second(*d, outOfRange), "", 0};
                   });
}

// Runs a maintenance command under the fleet's edit lock; the fleet file is
// written back when the drive changed.
Outcome Maintain(const FleetStore& store, Command command, const std::string& target,
                 const std::function<MaintenanceResult(Drive&, bool)>& act) {
  Outcome result;
  store.Edit([&](Fleet& fleet) {
    Drive* d = Resolve(fleet, target);
    bool changed = false;
    result = WithFault(FaultFor(fleet.faults, d ? &d->faults : nullptr, command), command,
                       d ? d->serial : "fleet", [&](bool outOfRange) -> Outcome {
                         if (d == nullptr) return InvalidIndex();
                         MaintenanceResult r = act(*d, outOfRange);
                         changed = r.ok;
                         return {r.text, "", r.ok ? 0 : 1};
                       });
    return changed;
  });
  return result;
}

Outcome Format(const FleetStore& store, const Words& w) {
  static const std::set<std::string> kKnown = {"function", "lbaformat", "secureerasesetting",
                                               "protectioninformation", "metadatasetting"};
  auto function = w.props.find("function");
  if (function == w.props.end() || Lower(function->second) != "nvmeformat") {
    return UsageError("start needs Function=nvmeformat: " + w.line);
  }
  FormatOptions options;
  const std::pair<const char*, uint64_t*> numbers[] = {
      {"lbaformat", &options.lbaFormat},
      {"secureerasesetting", &options.secureErase},
      {"protectioninformation", &options.protectionInfo},
      {"metadatasetting", &options.metadataSetting}};
  for (const auto& [name, field] : numbers) {
    auto it = w.props.find(name);
    if (it == w.props.end()) continue;
    auto value = AllDigits(it->second) ? ParseUnsigned(it->second) : std::nullopt;
    if (!value) return UsageError("expected a number in " + it->first + "=" + it->second);
    *field = *value;
  }
  for (const auto& prop : w.props) {
    if (kKnown.count(prop.first) == 0) return UsageError("unknown property " + prop.first);
  }
  return Maintain(store, Command::kFormat, *w.target,
                  [&](Drive& d, bool outOfRange) { return FormatDrive(d, options, outOfRange); });
}

Outcome Setting(const FleetStore& store, const Words& w) {
  if (w.props.empty()) {
    return UsageError("set needs a setting: isdct set -intelssd N Name=Value");
  }
  if (w.props.size() > 1 || !w.stray.empty()) {
    return UsageError("set takes one setting at a time: " + w.line);
  }
  return Maintain(store, Command::kSet, *w.target, [&](Drive& d, bool outOfRange) {
    return ApplySetting(d, w.rawProps[0].first, w.rawProps[0].second, outOfRange);
  });
}

Outcome Dispatch(std::vector<std::string> args, const FleetStore& store) {
  if (!args.empty() && args.back() == "2>&1") args.pop_back();
  if (args.empty()) return {"", Usage(), 1};
  const std::string& verb = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "--help" || verb == "-h" || verb == "help") return {Usage(), "", 0};
  if (verb == "sim-set") return SimSet(store, rest);
  if (verb == "sim-add") return SimAdd(store, rest);
  if (verb == "sim-remove") return SimRemove(store, rest);
  if (verb == "sim-sysfs") {
    if (rest.size() != 1) return UsageError("usage: isdct sim-sysfs DIR");
    return SimSysfs(store.Load(), rest[0]);
  }
  if (verb == "sim-fleet") {
    if (!rest.empty()) return UsageError("usage: isdct sim-fleet");
    return {SerializeFleet(store.Load()), "", 0};
  }

  const Words w = SortWords(args);
  const bool bare = w.flags.empty() && !w.intelssd && w.props.empty() && w.stray.empty();
  const bool plainDriveCommand = w.intelssd && w.target && w.stray.empty();
  if (verb == "version" && bare) {
    Fleet fleet = store.Load();
    const std::string source = store.HasFile() ? store.Path() : "built-in default";
    return WithFault(FaultFor(fleet.faults, nullptr, Command::kVersion), Command::kVersion, "fleet",
                     [&](bool outOfRange) -> Outcome {
                       return {VersionText(fleet.toolVersion, source, outOfRange), "", 0};
                     });
  }
  if (verb == "show" && w.flags == std::set<std::string>{"-all"} && w.intelssd && w.props.empty() &&
      w.stray.empty()) {
    Fleet fleet = store.Load();
    return Show(fleet, w);
  }
  if (verb == "dump" && plainDriveCommand && w.flags.empty()) {
    Fleet fleet = store.Load();
    return Dump(fleet, w);
  }
  if ((verb == "start" || verb == "delete") && plainDriveCommand && w.flags.empty()) {
    return UsageError(verb + " destroys all data on the drive; add -f to confirm: " + w.line);
  }
  if (verb == "start" && plainDriveCommand && w.flags == std::set<std::string>{"-f"}) {
    return Format(store, w);
  }
  if (verb == "delete" && plainDriveCommand && w.flags == std::set<std::string>{"-f"} &&
      w.props.empty()) {
    return Maintain(store, Command::kDelete, *w.target,
                    [](Drive& d, bool outOfRange) { return EraseDrive(d, outOfRange); });
  }
  if (verb == "set" && w.intelssd && w.target && w.flags.empty()) {
    return Setting(store, w);
  }
  return UnknownLine(w);
}

}  // namespace

Outcome Run(const std::vector<std::string>& args, const std::optional<std::string>& fleetPath) {
  try {
    return Dispatch(args, FleetStore(fleetPath));
  } catch (const std::exception& e) {
    return {"", std::string("isdct: ") + e.what() + "\n", 1};
  }
}

std::string Usage() {
  return R"(Usage: isdct COMMAND
A stand-in for the SSD command-line tool: it answers for the simulated drives
of a fleet file, or of a built-in fleet of four drives.

Drive commands (N is a drive index or a serial number):
  show -all -intelssd [N]         inventory of every Drive (or of drive N)
  dump -intelssd N DataType=nvmelog LogID=2|197|202
                                  log page 2 (SMART / health), 197 (temperature)
                                  or 202 (vendor attributes)
  start -f -intelssd N Function=nvmeformat [LBAFormat=0..6] [SecureEraseSetting=0..2]
        [ProtectionInformation=0..3] [MetadataSetting=0|1]
                                  NVMe format; LBA formats 0-2 have 512-byte,
                                  3-6 have 4096-byte sectors
  delete -f -intelssd N           erase all user data
  set -intelssd N Name=Value      change a setting: MaximumLBA=native|<LBAs>|<n>GB|X<percent>;
                                  any other name is stored as given
  version                         the tool's version

Simulator commands:
  sim-sysfs DIR                   write the fleet's PCI devices and the nvme module
                                  version under DIR, a sysfs root for the host
  sim-set SERIAL KEY=VALUE...     edit one drive, e.g. temperature=85 criticalWarnings=0x11
                                  present=false pci.bus=6 faults.log2=hang settings.X=1
  sim-set --fleet KEY=VALUE...    edit the fleet: toolVersion=.. nvmeModuleVersion=..
                                  faults.CMD=KIND (none clears)
  sim-add [KEY=VALUE...]          add a Drive (fresh serial, index and PCI bus unless given)
  sim-remove SERIAL               take a drive out of the fleet
  sim-fleet                       print the fleet as JSON with every key filled in

Environment:
  ISDCT_SIM_FLEET  the fleet file (JSON), read on every run. Unset: the built-in
                   fleet. A file that does not exist yet stands for the built-in
                   fleet; sim-set, sim-add, sim-remove and the maintenance
                   commands write it.

Faults ("faults": {"CMD": "KIND"} in the fleet file, fleet-wide or per drive):
  CMD  show version log2 log197 log202 format delete set
  KIND empty no-results invalid-index garbage out-of-range exit-nonzero
       stderr-only hang

Exit status: 0 done; 1 bad command line, invalid drive index, refused setting or
bad fleet file; 3 the exit-nonzero fault.
)";
}

}  // namespace isdct_sim
