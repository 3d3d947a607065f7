// The fleet as Prometheus metrics: one series per adapter or drive for each
// health value it has (labelled kind, adapter or drive, serial, model,
// device and form_factor; a drive takes what it lacks from its adapter), the
// health and throttle states as one 0/1 series per state, plus the harness's own counters (events
// by name, monitoring, tool runs). Values are the readings' base values (Readings.h); a value not
// yet read has no series. docs/metrics.md lists every metric.
//
// Pure but AddToolCounters; never throws but bad_alloc.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <prometheus/metric_family.h>

#include "Monitoring.h"
#include "PI/Records.h"

namespace nimbra_host {

struct MetricsInput {
  std::vector<PI::CObject> objects;  // the topology
  bool healthRead = false;           // the first health read has come
  MonitoringState monitoring;
  uint64_t toolRuns = 0;
  uint64_t toolFailures = 0;
  std::map<uint32_t, uint64_t> eventsById;  // events counted, by event ID
  bool hooks = false;                       // an alert hook is set: its counters below
  uint64_t hookRuns = 0;
  uint64_t hookFailures = 0;
  uint64_t hookDropped = 0;
};

// Puts the host's counters of SSD tool runs so far into `input`.
void AddToolCounters(MetricsInput& input);

// The metrics as prometheus-cpp's families (what a Collectable returns).
std::vector<prometheus::MetricFamily> MetricFamilies(const MetricsInput& input);

// The metrics in the Prometheus text format (version 0.0.4).
std::string PrometheusText(const MetricsInput& input);

// Seconds since the epoch of an ISO date "YYYY-MM-DD" at midnight UTC.
int64_t UnixDay(const std::string& isoDate);

}  // namespace nimbra_host
