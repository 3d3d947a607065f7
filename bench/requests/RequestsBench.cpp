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
//
// BM_WhileWorking/<activity>/drives:64: the same two requests while the
// worker of a 64-drive plug-in works: refresh (poll 1 s, no pauses between
// drives), scan (a full scan forced every 20 ms) or hang (refreshes whose
// first drive's page 2 hangs until the tool's 2 s limit). One host thread
// sends GetProperties and GetProperty of the middle adapter in turn on a
// fixed schedule, one every 500 us, and a call's latency counts from its
// scheduled start, so that a call held up also holds up the calls behind it.
// Only calls scheduled while a tool run was in progress count. Counters, per
// request: the number of calls kept; p50, p99 and max in us from the
// scheduled start; call_p99 and call_max in us of the call alone.
// Target: p99 <= 1 ms for both.
#include <benchmark/benchmark.h>

#include <algorithm>
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
#include "TLXX/System.h"

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

enum class Activity { kRefresh, kScan, kHang };

void WhileWorking(benchmark::State& state, Activity activity) {
  constexpr int kDrives = 64;
  constexpr auto kPeriod = std::chrono::microseconds(500);
  constexpr auto kWindow = std::chrono::seconds(6);
  std::unique_ptr<nimbra_bench::SimulatedFleet> fleet;
  std::unique_ptr<Plugin> api;
  try {
    fleet = std::make_unique<nimbra_bench::SimulatedFleet>(kDrives);
    api = nimbra_bench::ScannedPlugin(kDrives);
    if (activity == Activity::kHang) {
      std::string out;
      if (nimbra_test::RunShell(
              "'" + nimbra_bench::ToolPath() + "' sim-set CVFT5213000A400BGN faults.log2=hang 2>&1",
              &out) != 0) {
        throw std::runtime_error("sim-set failed: " + out);
      }
      TLXX::CSystem::SetCommandTimeout(2000);
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const uint64_t adapter = nimbra_bench::AdapterId(*api, kDrives / 2);
  api->m_HealthReadPauseMs = 0;
  api->m_PollInterval = 1;
  std::vector<PI::CAdapterID> none;  // the host numbers are in place already
  api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &none);
  std::atomic<bool> stop{false};
  std::thread forcer([&] {
    while (activity == Activity::kScan && !stop) {
      api->m_ForceWorker.Set();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first full scan

  // When tool runs were in progress: a sampler notes every change, so that a
  // call held up past the runs is still judged by when it was due.
  std::vector<std::pair<Clock::time_point, bool>> changes;
  std::atomic<bool> sampling{true};
  std::thread sampler([&] {
    bool running = false;
    while (sampling) {
      const bool now = TLXX::CSystem::CommandsRunning() > 0;
      if (now != running) changes.emplace_back(Clock::now(), running = now);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  struct Call {
    Clock::time_point scheduled, called, done;
  };
  std::vector<Call> calls;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto scheduled = start;
    for (int n = 0; scheduled - start < kWindow; ++n, scheduled += kPeriod) {
      // Spinning, not sleeping, to the scheduled time: a sleeping thread's
      // wake-up on a busy machine would be measured as the plug-in's delay.
      while (Clock::now() < scheduled) {
      }
      const auto called = Clock::now();
      const bool ok = n % 2 ? GetProperty(*api, adapter) : GetProperties(*api, adapter);
      calls.push_back({scheduled, called, Clock::now()});
      if (!ok) state.SkipWithError("a request failed");
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  sampling = false;
  sampler.join();
  std::vector<double> latencies[2], service[2];
  for (size_t n = 0; n < calls.size(); ++n) {
    const Call& c = calls[n];
    const auto after =
        std::upper_bound(changes.begin(), changes.end(), c.scheduled,
                         [](Clock::time_point t, const std::pair<Clock::time_point, bool>& e) {
                           return t < e.first;
                         });
    if (after == changes.begin() || !std::prev(after)->second) continue;
    latencies[n % 2].push_back(
        std::chrono::duration<double, std::micro>(c.done - c.scheduled).count());
    service[n % 2].push_back(std::chrono::duration<double, std::micro>(c.done - c.called).count());
  }
  stop = true;
  forcer.join();
  api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr);
  api.reset();
  TLXX::CSystem::SetCommandTimeout(120000);
  const char* names[2] = {"GetProperties", "GetProperty"};
  for (int r = 0; r < 2; ++r) {
    const std::string name = names[r];
    state.counters[name + "_calls"] = static_cast<double>(latencies[r].size());
    state.counters[name + "_p50_us"] = nimbra_bench::Percentile(latencies[r], 50);
    state.counters[name + "_p99_us"] = nimbra_bench::Percentile(latencies[r], 99);
    state.counters[name + "_max_us"] = nimbra_bench::Percentile(latencies[r], 100);
    state.counters[name + "_call_p99_us"] = nimbra_bench::Percentile(service[r], 99);
    state.counters[name + "_call_max_us"] = nimbra_bench::Percentile(service[r], 100);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Batches of at least ~10 ms, so that starting and joining the threads is
  // a small part of their wall time.
  Register("GetProperties", GetProperties, 5000);
  Register("GetProperty", GetProperty, 20000);
  Register("GetTopology", GetTopology, 0);
  for (const auto& [name, activity] :
       {std::pair<const char*, Activity>{"refresh", Activity::kRefresh},
        {"scan", Activity::kScan},
        {"hang", Activity::kHang}}) {
    benchmark::RegisterBenchmark(
        (std::string("BM_WhileWorking/") + name + "/drives:64").c_str(),
        [activity = activity](benchmark::State& s) { WhileWorking(s, activity); })
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
