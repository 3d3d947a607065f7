#include "Serve.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "HookEvents.h"
#include "Metrics.h"
#include "Monitoring.h"
#include "SimulatorTool.h"

namespace nimbra_host {

namespace {

const char kPrefix[] = "nimbra-host: ";

// Events delivered so far, by event ID; delivery and scrapes run on
// different threads.
class EventCounts {
 public:
  void Add(const std::vector<PI::CEvent>& events) {
    const std::lock_guard<std::mutex> hold(m_Lock);
    for (const PI::CEvent& e : events) ++m_ById[e.m_EventID];
  }
  std::map<uint32_t, uint64_t> ById() const {
    const std::lock_guard<std::mutex> hold(m_Lock);
    return m_ById;
  }

 private:
  mutable std::mutex m_Lock;
  std::map<uint32_t, uint64_t> m_ById;  // guarded by m_Lock
};

// One scrape: the tree and the counters now. A topology the plug-in does not
// give leaves the fleet's series out; the harness's own are still there.
MetricsInput Scrape(PluginSession& session, const EventCounts& events, const HookRunner* hooks) {
  MetricsInput in;
  // Sampled first: the values read next come from at least this health read.
  in.healthRead = session.Notifications() > 0;
  in.monitoring = ReadMonitoring(session);
  session.Call(PI::CMD_GET_TOPOLOGY, 0, &in.objects);
  AddToolCounters(in);
  in.eventsById = events.ById();
  if (hooks != nullptr) {
    const HookCounters counters = hooks->Counters();
    in.hooks = true;
    in.hookRuns = counters.runs;
    in.hookFailures = counters.failures;
    in.hookDropped = counters.dropped;
  }
  return in;
}

// "http://127.0.0.1:9787/metrics", with the port listened on.
std::string Url(const std::string& listen, int port) {
  return "http://" + listen.substr(0, listen.rfind(':')) + ":" + std::to_string(port) + "/metrics";
}

// "SIGTERM".
std::string SignalName(int signal) {
  const char* abbreviation = sigabbrev_np(signal);
  return abbreviation != nullptr ? std::string("SIG") + abbreviation
                                 : "signal " + std::to_string(signal);
}

}  // namespace

int Serve(PluginSession& session, const HostOptions& options, MetricsEndpoint& endpoint,
          StopSignal& stop, std::ostream& err) {
  EventCounts events;
  const std::unique_ptr<HookRunner> hooks = StartHooks(options, err);
  HookRunner* const hook = hooks.get();
  // Deliveries never overlap, so the callback alone uses subjects.
  EventSubjects subjects(session);
  session.OnEvents([&events, &subjects, hook](const std::vector<PI::CEvent>& batch) {
    events.Add(batch);
    if (hook == nullptr) return;
    for (const PI::CEvent& e : batch) hook->Post(HookRunOf(e, subjects));
  });
  // Events raised before the receiver was set wait in the plug-in's queue.
  session.FetchEvents();
  endpoint.Serve(
      [&session, &events, hook] { return MetricFamilies(Scrape(session, events, hook)); });
  if (Simulated()) err << kPrefix << kSimulatedNote << "\n";
  err << kPrefix << "serving metrics on " << Url(options.listen, endpoint.Port())
      << " until SIGTERM or Ctrl-C\n";
  err.flush();
  WaitWatchingMonitoring(session, stop, std::nullopt, false, err);
  endpoint.Stop();
  session.OnEvents(nullptr);
  EndHooks(hooks.get(), options, true);
  err << kPrefix << "stopped serving on " << SignalName(stop.Signal()) << "\n";
  return 0;
}

}  // namespace nimbra_host
