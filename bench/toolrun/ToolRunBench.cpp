// toolrun_bench: what one run of the SSD tool costs the host. The simulator
// answers the inventory of a 4-drive fleet, run three ways:
//   ExecuteCommand  the host's command execution (/bin/sh -c "exec 'tool' ...")
//   SpawnShell      a bare posix_spawn + waitpid of /bin/sh -c with the same line
//   SpawnTool       a bare posix_spawn + waitpid of the tool itself, no shell
// and the same three again while this process holds 2 GiB of touched heap
// (/heap:1), so that a spawn that copies the parent's page tables shows.
// Every variant reads the whole answer from a pipe, as the host does.
//
// Interleaved/heap:H runs the three one after the other in each iteration
// (the order rotating), so that all three meet the same load, and gives the
// medians of each (tool_ms, shell_ms, exec_ms) and the target ratios:
// exec_x_tool = ExecuteCommand / SpawnTool (target <= 1.5) and, on /heap:1,
// exec_x_no_heap = ExecuteCommand with the heap / without (target <= 1.2,
// against the /heap:0 rows run before it, so run the whole program).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "TLXX/System.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kArguments = "show -all -intelssd";
constexpr size_t kHeapBytes = size_t{2} << 30;

// The 2 GiB heap, allocated and touched page by page on first use and kept
// until the program ends.
const std::vector<char>& BigHeap() {
  static const std::vector<char> heap = [] {
    std::vector<char> h(kHeapBytes);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t i = 0; i < h.size(); i += page) h[i] = static_cast<char>(i / page);
    return h;
  }();
  return heap;
}

// Medians of ExecuteCommand's run time in each /heap:0 repetition so far.
std::vector<double>& LightExecMedians() {
  static std::vector<double> medians;
  return medians;
}

// Spawns argv[0] with stdin from /dev/null and stdout into a pipe, reads the
// pipe to its end and reaps the child. Returns the bytes read, -1 on failure.
long SpawnAndRead(char* const argv[]) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  long total = 0;
  char buffer[65536];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    total += n;
  }
  close(pipeEnds[0]);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? total : -1;
}

// Holds the big heap when `state.range(0)` says so and the 4-drive fleet;
// null (the state skipped) when the fleet cannot be set up.
std::unique_ptr<nimbra_bench::SimulatedFleet> Prepare(benchmark::State& state) {
  if (state.range(0) != 0) benchmark::DoNotOptimize(BigHeap().data());
  try {
    return std::make_unique<nimbra_bench::SimulatedFleet>(4);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return nullptr;
  }
}

// One run of each kind; each returns the bytes read, or -1.
struct Runs {
  std::string tool = nimbra_bench::ToolPath();
  std::string show = "show", all = "-all", ssd = "-intelssd", shell = "/bin/sh", dashC = "-c";
  std::string line = "'" + tool + "' " + kArguments;
  char* toolArgv[5] = {tool.data(), show.data(), all.data(), ssd.data(), nullptr};
  char* shellArgv[4] = {shell.data(), dashC.data(), line.data(), nullptr};

  long SpawnTool() { return SpawnAndRead(toolArgv); }
  long SpawnShell() { return SpawnAndRead(shellArgv); }
  long ExecuteCommand() const {
    std::vector<std::string> lines;
    if (TLXX::CSystem::ExecuteCommand(tool, kArguments, lines) != TLXX::EXEC_OK) return -1;
    long bytes = 0;
    for (const std::string& l : lines) bytes += static_cast<long>(l.size()) + 1;
    return bytes;
  }
  long Run(int kind) {
    return kind == 0 ? SpawnTool() : kind == 1 ? SpawnShell() : ExecuteCommand();
  }
};

void ToolRun(benchmark::State& state, int kind) {
  const auto fleet = Prepare(state);
  if (!fleet) return;
  Runs runs;
  long bytes = 0;
  for (auto _ : state) {
    bytes = runs.Run(kind);
    if (bytes <= 0) {
      state.SkipWithError("the tool run failed or printed nothing");
      return;
    }
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_SpawnTool(benchmark::State& state) { ToolRun(state, 0); }
void BM_SpawnShell(benchmark::State& state) { ToolRun(state, 1); }
void BM_ExecuteCommand(benchmark::State& state) { ToolRun(state, 2); }

void BM_Interleaved(benchmark::State& state) {
  const auto fleet = Prepare(state);
  if (!fleet) return;
  Runs runs;
  std::vector<double> ms[3];
  int turn = 0;
  for (auto _ : state) {
    for (int k = 0; k < 3; ++k) {
      const int kind = (turn + k) % 3;
      const auto start = Clock::now();
      if (runs.Run(kind) <= 0) {
        state.SkipWithError("the tool run failed or printed nothing");
        return;
      }
      ms[kind].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    ++turn;
  }
  const double tool = nimbra_bench::Percentile(ms[0], 50);
  const double shell = nimbra_bench::Percentile(ms[1], 50);
  const double exec = nimbra_bench::Percentile(ms[2], 50);
  state.counters["tool_ms"] = tool;
  state.counters["shell_ms"] = shell;
  state.counters["exec_ms"] = exec;
  state.counters["shell_x_tool"] = shell / tool;
  state.counters["exec_x_tool"] = exec / tool;
  if (state.range(0) == 0) {
    LightExecMedians().push_back(exec);
  } else if (!LightExecMedians().empty()) {
    std::vector<double> light = LightExecMedians();
    state.counters["exec_x_no_heap"] = exec / nimbra_bench::Percentile(light, 50);
  }
}

// Without the heap first: the heap rows are measured against them.
BENCHMARK(BM_SpawnTool)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnShell)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteCommand)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Interleaved)
    ->ArgName("heap")
    ->Arg(0)
    ->MinTime(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnTool)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnShell)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteCommand)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Interleaved)
    ->ArgName("heap")
    ->Arg(1)
    ->MinTime(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
