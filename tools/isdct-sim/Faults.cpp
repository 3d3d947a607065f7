#include "Faults.h"

#include <utility>

namespace isdctsim {
namespace {

const std::vector<std::pair<Command, const char*>> kCommandNames = {
    {Command::kShow, "show"},     {Command::kVersion, "version"}, {Command::kLog2, "log2"},
    {Command::kLog197, "log197"}, {Command::kLog202, "log202"},   {Command::kFormat, "format"},
    {Command::kDelete, "delete"}, {Command::kSet, "set"},
};

const std::vector<std::pair<Fault, const char*>> kFaultNames = {
    {Fault::kEmpty, "empty"},
    {Fault::kNoResults, "no-results"},
    {Fault::kInvalidIndex, "invalid-index"},
    {Fault::kGarbage, "garbage"},
    {Fault::kOutOfRange, "out-of-range"},
    {Fault::kExitNonzero, "exit-nonzero"},
    {Fault::kStderrOnly, "stderr-only"},
    {Fault::kHang, "hang"},
};

template <typename T>
const char* nameOf(const std::vector<std::pair<T, const char*>>& table, T value) {
  for (const auto& [v, name] : table) {
    if (v == value) return name;
  }
  return "?";
}

template <typename T>
std::optional<T> valueOf(const std::vector<std::pair<T, const char*>>& table,
                         const std::string& name) {
  for (const auto& [v, n] : table) {
    if (name == n) return v;
  }
  return std::nullopt;
}

template <typename T>
std::vector<T> valuesOf(const std::vector<std::pair<T, const char*>>& table) {
  std::vector<T> values;
  for (const auto& entry : table) values.push_back(entry.first);
  return values;
}

}  // namespace

const char* commandName(Command command) { return nameOf(kCommandNames, command); }
const char* faultName(Fault fault) { return nameOf(kFaultNames, fault); }

std::optional<Command> parseCommand(const std::string& name) {
  return valueOf(kCommandNames, name);
}

std::optional<Fault> parseFault(const std::string& name) { return valueOf(kFaultNames, name); }

const std::vector<Command>& allCommands() {
  static const std::vector<Command> commands = valuesOf(kCommandNames);
  return commands;
}

const std::vector<Fault>& allFaults() {
  static const std::vector<Fault> faults = valuesOf(kFaultNames);
  return faults;
}

std::optional<Fault> faultFor(const FaultMap& fleetFaults, const FaultMap* driveFaults,
                              Command command) {
  if (driveFaults != nullptr) {
    auto it = driveFaults->find(command);
    if (it != driveFaults->end()) return it->second;
  }
  auto it = fleetFaults.find(command);
  if (it != fleetFaults.end()) return it->second;
  return std::nullopt;
}

}  // namespace isdctsim
