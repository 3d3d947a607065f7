#include "Monitoring.h"

#include <time.h>

#include "TLX/Thread.h"

namespace nimbra_host {

namespace {

// "2026-12-08 11:40:02" in local time.
std::string LocalTime(uint64_t ms) {
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

MonitoringState ReadMonitoring(const PluginSession& session) {
  MonitoringState state;
  state.lastNotificationMs = session.LastNotificationMs();
  if (!session.WorkerStarted()) {
    state.reason = "the plug-in's worker was not started";
    return state;
  }
  if (TLX::Threading::RunningRoutines() > 0) {
    state.running = true;
    return state;
  }
  state.reason = "the plug-in's worker has ended";
  for (const TLX::Threading::ThreadEnding& e : TLX::Threading::RecentEndings()) {
    if (e.sequence <= session.EndingsBeforeWorker()) continue;
    state.reason = "the plug-in's worker " + TLX::Threading::Describe(e);
    state.stoppedAtMs = e.timeMs;
  }
  return state;
}

Json MonitoringJson(const MonitoringState& state) {
  Json j;
  j["running"] = state.running;
  j["reason"] = state.running ? Json() : Json(state.reason);
  j["lastNotification"] = state.lastNotificationMs == 0 ? Json() : Json(state.lastNotificationMs);
  return j;
}

void InsertMonitoring(Json& topology, const MonitoringState& state) {
  // Right after "initialize" (and "initializeException" when present).
  Json result;
  bool placed = false, seen = false;
  auto place = [&] {
    result["monitoring"] = MonitoringJson(state);
    placed = true;
  };
  for (auto it = topology.begin(); it != topology.end(); ++it) {
    if (!placed && seen && it.key() != "initializeException") place();
    seen = seen || it.key() == "initialize";
    result[it.key()] = std::move(it.value());
  }
  if (!placed) place();
  topology = std::move(result);
}

std::string StoppedLine(const MonitoringState& state) {
  std::string line = "nimbra-host: monitoring stopped";
  if (state.stoppedAtMs != 0) line += " at " + LocalTime(state.stoppedAtMs);
  line += ": " + state.reason + " (the readings are frozen; ";
  line += state.lastNotificationMs == 0
              ? "no notification came"
              : "last notification " + LocalTime(state.lastNotificationMs);
  return line + ")\n";
}

void WaitWatchingMonitoring(const PluginSession& session, StopSignal& stop,
                            std::optional<unsigned> seconds, bool reported, std::ostream& err) {
  using Clock = std::chrono::steady_clock;
  const auto end =
      seconds ? Clock::now() + std::chrono::seconds(*seconds) : Clock::time_point::max();
  for (;;) {
    const auto left = end - Clock::now();
    if (left <= Clock::duration::zero()) return;
    const auto slice = std::min<Clock::duration>(left, std::chrono::seconds(1));
    if (stop.WaitFor(std::chrono::duration_cast<std::chrono::milliseconds>(slice) +
                     std::chrono::milliseconds(1))) {
      return;
    }
    if (reported) continue;
    const MonitoringState state = ReadMonitoring(session);
    if (!state.running) {
      err << StoppedLine(state);
      err.flush();
      reported = true;
    }
  }
}

}  // namespace nimbra_host
