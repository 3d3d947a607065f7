// requests_bench: the host's requests through Execute on a plug-in with 4, 64
// and 256 drives, set up once per size (Initialize and one full scan against
// the simulated fleet; no worker, no scan while requests run):
//   GetProperties  of the middle adapter (command 5)
//   GetProperty    its status, 30017 (command 6)
//   GetTopology    the whole tree (command 4)
// /threads:1 times single calls in Google Benchmark's loop (the per-call
// targets). /threads:8 runs, per iteration, a batch of calls on one host
// thread and then on each of eight at once, every call timed with
// steady_clock; the iteration time is the eight threads' wall time, and the
// counters give their aggregate calls/s, the per-call p50_us and p99_us,
// p99/p50, and x_single: the median over the iterations of the eight
// threads' aggregate rate over the one thread's in the same iteration.
// Targets: GetProperties < 5 us and GetTopology of 256 drives < 1 ms on one
// thread; with eight, x_single >= 1 and p99/p50 <= 10.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "PI/Records.h"

namespace {

using Clock = std::chrono::steady_clock;
using nimbra_bench::Plugin;

constexpr int kThreads = 8;

// One plug-in per size, built on first use and kept to the end. The fleet is
// only needed while it is built: the timed requests run no tool.
Plugin& PluginWith(int drives) {
  static std::map<int, std::unique_ptr<Plugin>> plugins;
  std::unique_ptr<Plugin>& api = plugins[drives];
  if (!api) {
    nimbra_bench::SimulatedFleet fleet(drives);
    api = nimbra_bench::ScannedPlugin(drives);
  }
  return *api;
}

// One request: true when Execute succeeded with a non-empty answer.
using Request = bool (*)(Plugin& api, uint64_t adapter);

bool GetProperties(Plugin& api, uint64_t adapter) {
  std::vector<PI::CProperty> properties;
  return api.Execute(PI::CMD_GET_PROPERTIES, adapter, &properties) == 0 && !properties.empty();
}

bool GetProperty(Plugin& api, uint64_t adapter) {
  PI::CProperty status;
  status.id = 30017;
  return api.Execute(PI::CMD_GET_PROPERTY, adapter, &status) == 0 && status.id == 30017;
}

bool GetTopology(Plugin& api, uint64_t) {
  std::vector<PI::CObject> tree;
  return api.Execute(PI::CMD_GET_TOPOLOGY, 0, &tree) == 0 && !tree.empty();
}

bool SetUp(benchmark::State& state, Plugin*& api, uint64_t& adapter) {
  const int drives = static_cast<int>(state.range(0));
  try {
    api = &PluginWith(drives);
    adapter = nimbra_bench::AdapterId(*api, static_cast<size_t>(drives / 2));
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return false;
  }
  return true;
}

void Uncontended(benchmark::State& state, Request request) {
  Plugin* api = nullptr;
  uint64_t adapter = 0;
  if (!SetUp(state, api, adapter)) return;
  for (auto _ : state) {
    if (!request(*api, adapter)) {
      state.SkipWithError("the request failed");
      return;
    }
  }
}

// Releases waiting threads together.
class StartGate {
 public:
  void Wait() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Open.wait(lock, [this] { return m_IsOpen; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_IsOpen = true;
    m_Open.notify_all();
  }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Open;
  bool m_IsOpen = false;
};

// Runs `threadCount` threads making `callsEach` calls each, timing every
// call into `latencies` (one vector per thread); returns the batch's wall
// seconds and counts failed calls in `failures`.
double RunBatch(Plugin& api, uint64_t adapter, Request request, int threadCount, int callsEach,
                std::vector<std::vector<double>>& latencies, std::atomic<int>& failures) {
  StartGate gate;
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      std::vector<double>& mine = latencies[static_cast<size_t>(t)];
      mine.reserve(mine.size() + static_cast<size_t>(callsEach));
      gate.Wait();
      for (int i = 0; i < callsEach; ++i) {
        const auto before = Clock::now();
        const bool ok = request(api, adapter);
        mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
        if (!ok) ++failures;
      }
    });
  }
  const auto start = Clock::now();
  gate.Open();
  for (std::thread& t : threads) t.join();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each iteration runs a batch on one thread, then the same batch on each of
// eight threads at once; x_single is the median over the iterations of the
// eight threads' aggregate rate over the one thread's, so that both rates of
// a ratio share the machine's state of the moment.
void Contended(benchmark::State& state, Request request, int callsPerThread) {
  Plugin* api = nullptr;
  uint64_t adapter = 0;
  if (!SetUp(state, api, adapter)) return;
  // 0: as many calls as make a batch of about the same length at every size.
  const int callsEach =
      callsPerThread > 0 ? callsPerThread : 50 + 12800 / static_cast<int>(state.range(0));
  std::vector<std::vector<double>> latencies(kThreads), alone(1);
  std::vector<double> ratios;
  std::atomic<int> failures{0};
  double wall = 0;
  for (auto _ : state) {
    alone[0].clear();
    const double one = RunBatch(*api, adapter, request, 1, callsEach, alone, failures);
    const double eight = RunBatch(*api, adapter, request, kThreads, callsEach, latencies, failures);
    state.SetIterationTime(eight);
    wall += eight;
    ratios.push_back(one * kThreads / eight);
  }
  if (failures != 0) {
    state.SkipWithError("a request failed");
    return;
  }
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  const double p50 = nimbra_bench::Percentile(all, 50);
  const double p99 = nimbra_bench::Percentile(all, 99);
  state.counters["calls/s"] = static_cast<double>(all.size()) / wall;
  state.counters["p50_us"] = p50;
  state.counters["p99_us"] = p99;
  state.counters["p99/p50"] = p50 > 0 ? p99 / p50 : 0;
  state.counters["x_single"] = nimbra_bench::Percentile(ratios, 50);
}

void Register(const std::string& name, Request request, int callsPerThread) {
  benchmark::RegisterBenchmark(("BM_" + name + "/threads:1").c_str(),
                               [=](benchmark::State& s) { Uncontended(s, request); })
      ->ArgName("drives")
      ->Arg(4)
      ->Arg(64)
      ->Arg(256)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("BM_" + name + "/threads:8").c_str(),
                               [=](benchmark::State& s) { Contended(s, request, callsPerThread); })
      ->ArgName("drives")
      ->Arg(4)
      ->Arg(64)
      ->Arg(256)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  // Batches of at least ~10 ms, so that starting and joining the threads is
  // a small part of their wall time.
  Register("GetProperties", GetProperties, 5000);
  Register("GetProperty", GetProperty, 20000);
  Register("GetTopology", GetTopology, 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
