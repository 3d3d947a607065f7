// toolrun_bench: what one run of the SSD tool costs the host. The simulator
// answers the inventory of a 4-drive fleet, run three ways:
//   ExecuteCommand  the host's command execution (/bin/sh -c "exec 'tool' ...")
//   SpawnShell      a bare posix_spawn + waitpid of /bin/sh -c with the same line
//   SpawnTool       a bare posix_spawn + waitpid of the tool itself, no shell
// and the same three again while this process holds 2 GiB of touched heap
// (/heap:1), so that a spawn that copies the parent's page tables shows.
// Every variant reads the whole answer from a pipe, as the host does.
//
// Counters (targets): x_tool is the run's mean over SpawnTool's mean with the
// same heap (target <= 1.5 for ExecuteCommand); x_no_heap is a /heap:1 run's
// mean over the same variant without the heap (target <= 1.2). The means are
// taken over every repetition that ran before, so run the whole program.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
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

// Mean seconds per run of each variant so far, keyed by (name, heap).
struct Mean {
  double seconds = 0;
  double runs = 0;
  double Value() const { return runs > 0 ? seconds / runs : 0; }
};
std::map<std::pair<std::string, bool>, Mean>& Means() {
  static std::map<std::pair<std::string, bool>, Mean> means;
  return means;
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

// Runs `run` (which returns the bytes read, or -1) under the benchmark loop
// and records its mean; `state.range(0)` says whether the big heap is held.
template <class Run>
void ToolRun(benchmark::State& state, const std::string& name, Run run) {
  const bool heap = state.range(0) != 0;
  if (heap) benchmark::DoNotOptimize(BigHeap().data());
  std::unique_ptr<nimbra_bench::SimulatedFleet> fleet;
  try {
    fleet = std::make_unique<nimbra_bench::SimulatedFleet>(4);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  long bytes = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    bytes = run();
    if (bytes <= 0) {
      state.SkipWithError("the tool run failed or printed nothing");
      return;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Mean& mine = Means()[{name, heap}];
  mine.seconds += seconds;
  mine.runs += static_cast<double>(state.iterations());
  state.counters["bytes"] = static_cast<double>(bytes);
  const Mean& tool = Means()[{"SpawnTool", heap}];
  if (name != "SpawnTool" && tool.runs > 0) state.counters["x_tool"] = mine.Value() / tool.Value();
  const Mean& light = Means()[{name, false}];
  if (heap && light.runs > 0) state.counters["x_no_heap"] = mine.Value() / light.Value();
}

void BM_SpawnTool(benchmark::State& state) {
  std::string tool = nimbra_bench::ToolPath(), show = "show", all = "-all", ssd = "-intelssd";
  char* argv[] = {tool.data(), show.data(), all.data(), ssd.data(), nullptr};
  ToolRun(state, "SpawnTool", [&] { return SpawnAndRead(argv); });
}

void BM_SpawnShell(benchmark::State& state) {
  std::string shell = "/bin/sh", dashC = "-c";
  std::string line = "'" + nimbra_bench::ToolPath() + "' " + kArguments;
  char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
  ToolRun(state, "SpawnShell", [&] { return SpawnAndRead(argv); });
}

void BM_ExecuteCommand(benchmark::State& state) {
  const std::string tool = nimbra_bench::ToolPath();
  ToolRun(state, "ExecuteCommand", [&]() -> long {
    std::vector<std::string> lines;
    if (TLXX::CSystem::ExecuteCommand(tool, kArguments, lines) != TLXX::EXEC_OK) return -1;
    long bytes = 0;
    for (const std::string& line : lines) bytes += static_cast<long>(line.size()) + 1;
    return bytes;
  });
}

// SpawnTool first in each heap state: the others are measured against it.
BENCHMARK(BM_SpawnTool)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnShell)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteCommand)->ArgName("heap")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnTool)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpawnShell)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteCommand)->ArgName("heap")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
