// Monitoring: whether the plug-in's worker still keeps the tree fresh. The
// worker is the plug-in's thread that SetAdapterIDs starts; when it ends
// (a tool value it could not convert ends its routine, say) the readings
// freeze, and the host stand-in's thread log says when and why. show, get
// and watch report it: a stderr line, a "monitoring" object in their JSON,
// and exit status 3 for show and get.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "JsonView.h"
#include "PluginSession.h"
#include "StopSignal.h"

namespace nimbra_host {

// show's and get's exit status when the monitoring has stopped.
constexpr int kExitMonitoringStopped = 3;

struct MonitoringState {
  bool running = false;
  std::string reason;               // why it is not running; "" while it runs
  uint64_t stoppedAtMs = 0;         // when the worker ended (ms since the epoch), 0 if unknown
  uint64_t lastNotificationMs = 0;  // the worker's last notification, 0 before the first
};

// The state now. Not running before SetAdapterIDs has started the worker.
MonitoringState ReadMonitoring(const PluginSession& session);

// {"running": true|false, "reason": null|TEXT, "lastNotification": null|MS}.
Json MonitoringJson(const MonitoringState& state);

// Puts "monitoring" into the topology document after "initialize" (and
// "initializeException" when present), keeping every other key in order.
void InsertMonitoring(Json& topology, const MonitoringState& state);

// "nimbra-host: monitoring stopped at 2026-12-08 11:40:02: the plug-in's
// worker ended by an exception: TEXT (the readings are frozen; last
// notification 2026-12-08 11:39:58)\n" ("no notification came" before the
// first), times local.
std::string StoppedLine(const MonitoringState& state);

// watch's wait: until `stop` or the end of `seconds` (none: no end), looking
// once a second whether the monitoring has stopped and saying so on `err`
// once (not again when `reported`, the state show printed already).
void WaitWatchingMonitoring(const PluginSession& session, StopSignal& stop,
                            std::optional<unsigned> seconds, bool reported, std::ostream& err);

}  // namespace nimbra_host
