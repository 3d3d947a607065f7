// requests_bench: the host's requests through Execute on a plug-in with 4, 64
// and 256 drives, set up once per size (Initialize and one full scan against
// the simulated fleet; no worker, no scan while requests run):
//   GetProperties  of the middle adapter (command 5)
//   GetProperty    its status, 30017 (command 6)
//   GetTopology    the whole tree (command 4)
// /threads:1 times single calls. /threads:8 runs eight host threads at once,
// each making a batch of calls and timing every call with steady_clock; the
// iteration time is the wall time of the batch, and the counters give the
// aggregate calls/s, the per-call p50_us and p99_us, p99/p50 and x_single
// (aggregate rate over the single-thread rate of the same request and size,
// measured earlier in the same run).
// Targets: GetProperties < 5 us and GetTopology of 256 drives < 1 ms on one
// thread; with eight, x_single >= 1 and p99/p50 <= 10.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
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

// Mean seconds per call on one thread, by (request name, drives).
std::map<std::pair<std::string, int>, double>& SingleThreadMeans() {
  static std::map<std::pair<std::string, int>, double> means;
  return means;
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

void Uncontended(benchmark::State& state, const std::string& name, Request request) {
  Plugin* api = nullptr;
  uint64_t adapter = 0;
  if (!SetUp(state, api, adapter)) return;
  const auto start = Clock::now();
  for (auto _ : state) {
    if (!request(*api, adapter)) {
      state.SkipWithError("the request failed");
      return;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  SingleThreadMeans()[{name, static_cast<int>(state.range(0))}] =
      seconds / static_cast<double>(state.iterations());
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

void Contended(benchmark::State& state, const std::string& name, Request request,
               int callsPerThread) {
  Plugin* api = nullptr;
  uint64_t adapter = 0;
  if (!SetUp(state, api, adapter)) return;
  std::vector<std::vector<double>> latencies(kThreads);
  std::atomic<int> failures{0};
  double wall = 0;
  for (auto _ : state) {
    StartGate gate;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        std::vector<double>& mine = latencies[t];
        gate.Wait();
        for (int i = 0; i < callsPerThread; ++i) {
          const auto before = Clock::now();
          const bool ok = request(*api, adapter);
          mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
          if (!ok) ++failures;
        }
      });
    }
    const auto start = Clock::now();
    gate.Open();
    for (std::thread& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    wall += seconds;
  }
  if (failures != 0) {
    state.SkipWithError("a request failed");
    return;
  }
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  const double calls = static_cast<double>(all.size());
  const double p50 = nimbra_bench::Percentile(all, 50);
  const double p99 = nimbra_bench::Percentile(all, 99);
  state.counters["calls/s"] = calls / wall;
  state.counters["p50_us"] = p50;
  state.counters["p99_us"] = p99;
  state.counters["p99/p50"] = p50 > 0 ? p99 / p50 : 0;
  const auto single = SingleThreadMeans().find({name, static_cast<int>(state.range(0))});
  if (single != SingleThreadMeans().end() && single->second > 0)
    state.counters["x_single"] = (calls / wall) * single->second;
}

void Register(const std::string& name, Request request, int callsPerThread) {
  benchmark::RegisterBenchmark(("BM_" + name + "/threads:1").c_str(),
                               [=](benchmark::State& s) { Uncontended(s, name, request); })
      ->ArgName("drives")
      ->Arg(4)
      ->Arg(64)
      ->Arg(256)
      ->UseRealTime();
  benchmark::RegisterBenchmark(
      ("BM_" + name + "/threads:8").c_str(),
      [=](benchmark::State& s) { Contended(s, name, request, callsPerThread); })
      ->ArgName("drives")
      ->Arg(4)
      ->Arg(64)
      ->Arg(256)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  Register("GetProperties", GetProperties, 2000);
  Register("GetProperty", GetProperty, 2000);
  Register("GetTopology", GetTopology, 200);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
