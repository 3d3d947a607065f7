// memory_bench: what the plug-in keeps in memory.
//   HeapPerDrive/drives:N  heap in use (mallinfo2 uordblks + hblkhd, so that
//                          large vectors the allocator maps are counted too)
//                          before and after building a plug-in on N drives
//                          (Initialize and one full scan), divided by N.
//                          Target heap_KiB/drive < 16. One-shot: the time is
//                          the build's.
//   RssOverScans           a plug-in on 1 drive (4 tool runs per scan, so
//                          that 10000 scans take minutes): RSS after its
//                          first full scan and after --scans=K more
//                          (default 10000), growth in percent (target
//                          <= 1), also from the RSS after K/10 scans; the
//                          time is that of the K scans, ms_per_scan the
//                          mean. A short run: --scans=200.
// Both run once whatever --benchmark_repetitions says.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "BenchSupport.h"

namespace {

int g_Scans = 10000;

double HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd);
}

void BM_HeapPerDrive(benchmark::State& state) {
  const int drives = static_cast<int>(state.range(0));
  try {
    nimbra_bench::SimulatedFleet fleet(drives);
    // Patterns and host statics are built once per process: not per drive.
    static bool warm = false;
    if (!warm) nimbra_bench::ScannedPlugin(drives).reset();
    warm = true;
    double perDrive = 0;
    for (auto _ : state) {
      const double before = HeapInUse();
      std::unique_ptr<nimbra_bench::Plugin> api = nimbra_bench::ScannedPlugin(drives);
      perDrive = (HeapInUse() - before) / drives;
      state.PauseTiming();
      api.reset();
      state.ResumeTiming();
    }
    state.counters["heap_B/drive"] = perDrive;
    state.counters["heap_KiB/drive"] = perDrive / 1024;
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_HeapPerDrive)
    ->ArgName("drives")
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_RssOverScans(benchmark::State& state) {
  try {
    constexpr size_t kDrives = 1;
    nimbra_bench::SimulatedFleet fleet(static_cast<int>(kDrives));
    std::unique_ptr<nimbra_bench::Plugin> api =
        nimbra_bench::ScannedPlugin(static_cast<int>(kDrives));
    nimbra_bench::FullScan(*api);
    const double first = nimbra_bench::ResidentBytes();
    double tenth = first;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
      for (int i = 0; i < g_Scans; ++i) {
        nimbra_bench::FullScan(*api);
        if (i + 1 == g_Scans / 10) tenth = nimbra_bench::ResidentBytes();
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double last = nimbra_bench::ResidentBytes();
    if (api->m_Adapters.size() != kDrives) state.SkipWithError("the tree lost drives");
    state.counters["scans"] = g_Scans;
    state.counters["ms_per_scan"] = seconds * 1e3 / g_Scans;
    state.counters["rss_first_KiB"] = first / 1024;
    state.counters["rss_last_KiB"] = last / 1024;
    state.counters["rss_growth_%"] = 100.0 * (last - first) / first;
    // Growth after the first tenth of the scans: a leak keeps growing there,
    // the allocator's warm-up does not.
    state.counters["rss_growth_last90_%"] = 100.0 * (last - tenth) / tenth;
    state.counters["events_waiting"] = static_cast<double>(api->m_Events.size());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_RssOverScans)->Iterations(1)->Repetitions(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  // --scans=K is ours; the rest goes to the benchmark library.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--scans=", 8) == 0) {
      char* end = nullptr;
      const long scans = std::strtol(argv[i] + 8, &end, 10);
      if (*end != '\0' || scans < 1 || scans > 100000000) {
        std::fprintf(stderr, "memory_bench: --scans takes a count of 1 or more\n");
        return 1;
      }
      g_Scans = static_cast<int>(scans);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
