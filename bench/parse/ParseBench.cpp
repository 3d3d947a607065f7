// Parsing the SSD tool's text, and running the tool: the inventory of 1 to
// 256 drives and one drive's three health pages parsed from memory (no
// process), and one tool run through the host's command execution next to a
// bare posix_spawn + waitpid of the same program, with and without a shell.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "NimbraCmdEmuParse.h"
#include "TLXX/System.h"

extern char** environ;

namespace {

namespace fs = boost::filesystem;
using Lines = std::vector<std::string>;

std::string Tool() {
  return (fs::read_symlink("/proc/self/exe").parent_path() / "bin" / "isdct").string();
}

// Runs the simulator with a fleet of `drives` drives and returns its answer.
Lines ToolOutput(int drives, const std::string& arguments, bool joined = false) {
  static std::map<int, std::string> fleets;
  if (!fleets.count(drives)) {
    const fs::path file =
        fs::temp_directory_path() / ("nimbra-bench-fleet-" + std::to_string(drives) + ".json");
    std::ofstream out(file.string());
    out << "{\"drives\": [";
    for (int i = 0; i < drives; ++i) out << (i ? ",{}" : "{}");
    out << "]}";
    fleets[drives] = file.string();
  }
  setenv("ISDCT_SIM_FLEET", fleets[drives].c_str(), 1);
  Lines lines;
  if (joined) {
    std::string text;
    TLXX::CSystem::ExecuteCommand(Tool(), arguments, text);
    lines.push_back(text);
  } else {
    TLXX::CSystem::ExecuteCommand(Tool(), arguments, lines);
  }
  unsetenv("ISDCT_SIM_FLEET");
  return lines;
}

void BM_ParseInventory(benchmark::State& state) {
  const int drives = static_cast<int>(state.range(0));
  const Lines lines = ToolOutput(drives, "show -all -intelssd");
  std::vector<NAMESPACE_Nimbra::CCmdEmuAdapter> records;
  records.reserve(drives);
  for (auto _ : state) {
    records.clear();
    uint64_t count = 0;
    NAMESPACE_Nimbra::CmdEmu::ParseInventory(lines, records, count);
    benchmark::DoNotOptimize(count);
  }
  if (records.size() != static_cast<size_t>(drives)) state.SkipWithError("wrong drive count");
  state.counters["lines"] = static_cast<double>(lines.size());
  state.counters["ns/line"] =
      benchmark::Counter(static_cast<double>(lines.size()) * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["drives"] = drives;
}
BENCHMARK(BM_ParseInventory)->Arg(1)->Arg(16)->Arg(64)->Arg(256);

void BM_ParseHealthPages(benchmark::State& state) {
  const Lines page2 = ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=2");
  const Lines page197 = ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=197");
  const Lines page202 = ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=202", true);
  namespace CmdEmu = NAMESPACE_Nimbra::CmdEmu;
  for (auto _ : state) {
    NAMESPACE_Nimbra::CCmdEmuGetlog log;
    CmdEmu::ParsePage2(page2, log);
    CmdEmu::ParsePage197(page197, true, log);
    CmdEmu::ParsePage202(page202, log);
    CmdEmu::AddTemperatureBits(log);
    benchmark::DoNotOptimize(log);
  }
}
BENCHMARK(BM_ParseHealthPages);

// Spawns `argv` with stdout to /dev/null and waits for it.
void SpawnAndWait(char* const argv[]) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

void BM_ToolRun_ExecuteCommand(benchmark::State& state) {
  const std::string tool = Tool();
  for (auto _ : state) {
    Lines lines;
    TLXX::CSystem::ExecuteCommand(tool, "version", lines);
    benchmark::DoNotOptimize(lines);
  }
}
BENCHMARK(BM_ToolRun_ExecuteCommand)->UseRealTime();

void BM_ToolRun_BareSpawnOfTheTool(benchmark::State& state) {
  std::string tool = Tool();
  std::string version = "version";
  char* argv[] = {tool.data(), version.data(), nullptr};
  for (auto _ : state) SpawnAndWait(argv);
}
BENCHMARK(BM_ToolRun_BareSpawnOfTheTool)->UseRealTime();

void BM_ToolRun_BareSpawnOfShell(benchmark::State& state) {
  std::string shell = "/bin/sh", dashC = "-c", command = "'" + Tool() + "' version";
  char* argv[] = {shell.data(), dashC.data(), command.data(), nullptr};
  for (auto _ : state) SpawnAndWait(argv);
}
BENCHMARK(BM_ToolRun_BareSpawnOfShell)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
