// scan_bench: the worker's two cycles against the simulated fleet, one cycle
// per iteration, on a plug-in set up once per fleet size (Initialize and one
// full scan, no worker thread):
//   FullScan       GetAdapterCount, ScanSystem (three health pages per drive),
//                  UpdateSystem, as the worker's full scan does
//   RefreshHealth  the three health pages of every drive, with the pause
//                  between drives set to 0
// Wall time per cycle, then CPU per cycle split three ways:
//   own_cpu_ms   the plug-in's own work (parsing, scanning, merging, building
//                objects, host services other than command execution): this
//                process's CPU (RUSAGE_SELF, all threads) less exec_cpu_ms
//   exec_cpu_ms  the host's side of the tool runs in this process (spawn,
//                pipe reads, waits, reaping), as TLXX::CSystem counts it
//   tool_cpu_ms  the reaped tool processes and their shells (RUSAGE_CHILDREN)
// and own_us/drive, m_Own%wall, exec_us/run (exec_cpu_ms per tool run: one
// inventory, plus three health pages per drive).
// Targets: m_Own%wall < 5 and own_us/drive < 50 for FullScan.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <stdexcept>

#include "BenchSupport.h"
#include "TLXX/System.h"

namespace {

using Clock = std::chrono::steady_clock;
using nimbra_bench::CpuTimes;

// The fleet and plug-in of the last size asked for, kept across repetitions
// and across the two benchmarks of one size.
struct Setup {
  int drives = 0;
  std::unique_ptr<nimbra_bench::SimulatedFleet> fleet;
  std::unique_ptr<nimbra_bench::Plugin> api;
};

nimbra_bench::Plugin& PluginWith(int drives) {
  static Setup setup;
  if (setup.drives != drives || !setup.api) {
    setup.api.reset();
    setup.fleet.reset();
    setup.drives = 0;
    setup.fleet = std::make_unique<nimbra_bench::SimulatedFleet>(drives);
    setup.api = nimbra_bench::ScannedPlugin(drives);
    setup.api->m_HealthReadPauseMs = 0;
    setup.drives = drives;
  }
  return *setup.api;
}

double ExecSeconds() { return static_cast<double>(TLXX::CSystem::CommandCpuNanoseconds()) * 1e-9; }

// `runsPerCycle`: tool runs one cycle makes.
template <class Cycle>
void Cycles(benchmark::State& state, int runsPerCycle, Cycle cycle) {
  const int drives = static_cast<int>(state.range(0));
  nimbra_bench::Plugin* api = nullptr;
  try {
    api = &PluginWith(drives);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const CpuTimes before = CpuTimes::Now();
  const double execBefore = ExecSeconds();
  const auto start = Clock::now();
  for (auto _ : state) {
    try {
      cycle(*api);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const CpuTimes after = CpuTimes::Now();
  const double execAfter = ExecSeconds();
  if (api->m_Adapters.size() != static_cast<size_t>(drives)) {
    state.SkipWithError("the tree lost drives");
    return;
  }
  const double cycles = static_cast<double>(state.iterations());
  const double exec = (execAfter - execBefore) / cycles;
  const double own = (after.self - before.self) / cycles - exec;
  const double tool = (after.children - before.children) / cycles;
  state.counters["drives"] = drives;
  state.counters["own_cpu_ms"] = own * 1e3;
  state.counters["exec_cpu_ms"] = exec * 1e3;
  state.counters["exec_us/run"] = exec * 1e6 / runsPerCycle;
  state.counters["tool_cpu_ms"] = tool * 1e3;
  state.counters["own_us/drive"] = own * 1e6 / drives;
  state.counters["m_Own%wall"] = 100.0 * own / (wall / cycles);
}

void BM_FullScan(benchmark::State& state) {
  const int runs = 1 + 3 * static_cast<int>(state.range(0));
  Cycles(state, runs, [](nimbra_bench::Plugin& api) { nimbra_bench::FullScan(api); });
}

void BM_RefreshHealth(benchmark::State& state) {
  Cycles(state, 3 * static_cast<int>(state.range(0)), [](nimbra_bench::Plugin& api) {
    if (!api.WorkerTakesData()) throw std::runtime_error("m_DataLock not taken");
    if (api.RefreshHealth()) throw std::runtime_error("a warning word changed");
  });
}

// Both cycles of one size one after the other, so each plug-in is set up once.
void Register(int drives) {
  benchmark::RegisterBenchmark("BM_FullScan", BM_FullScan)
      ->ArgName("drives")
      ->Arg(drives)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_RefreshHealth", BM_RefreshHealth)
      ->ArgName("drives")
      ->Arg(drives)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  for (int drives : {1, 16, 64, 256}) Register(drives);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
