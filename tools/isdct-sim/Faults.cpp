#include "Faults.h"

#include <utility>

namespace isdct_sim {
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
const char* NameOf(const std::vector<std::pair<T, const char*>>& table, T value) {
  for (const auto& [v, name] : table) {
    if (v == value) return name;
  }
  return "?";
}

template <typename T>
std::optional<T> ValueOf(const std::vector<std::pair<T, const char*>>& table,
                         const std::string& name) {
  for (const auto& [v, n] : table) {
    if (name == n) return v;
  }
  return std::nullopt;
}

template <typename T>
std::vector<T> ValuesOf(const std::vector<std::pair<T, const char*>>& table) {
  std::vector<T> values;
  values.reserve(table.size());
  for (const auto& entry : table) values.push_back(entry.first);
  return values;
}

}  // namespace

const char* CommandName(Command command) { return NameOf(kCommandNames, command); }
const char* FaultName(Fault fault) { return NameOf(kFaultNames, fault); }

std::optional<Command> ParseCommand(const std::string& name) {
  return ValueOf(kCommandNames, name);
}

std::optional<Fault> ParseFault(const std::string& name) { return ValueOf(kFaultNames, name); }

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = ValuesOf(kCommandNames);
  return commands;
}

const std::vector<Fault>& AllFaults() {
  static const std::vector<Fault> faults = ValuesOf(kFaultNames);
  return faults;
}

std::optional<Fault> FaultFor(const FaultMap& fleetFaults, const FaultMap* driveFaults,
                              Command command) {
  if (driveFaults != nullptr) {
    auto it = driveFaults->find(command);
    if (it != driveFaults->end()) return it->second;
  }
  auto it = fleetFaults.find(command);
  if (it != fleetFaults.end()) return it->second;
  return std::nullopt;
}

}  // namespace isdct_sim
