#include "Metrics.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <sstream>

#include "Readings.h"
#include "TLXX/System.h"
#include "ValueNames.h"

namespace nimbra_host {

namespace {

using Labels = std::map<std::string, std::string>;

constexpr int32_t kSerial = 30022;
constexpr int32_t kModel = 30063;
constexpr int32_t kDevicePath = 30247;
constexpr int32_t kFormFactor = 30158;
constexpr int32_t kHealthState = 30017;
constexpr int32_t kThrottleState = 30468;
constexpr int32_t kEndOfLife = 30483;
constexpr int32_t kPowerOnHours = 30498;
constexpr uint32_t kDriveKind = 19018;

// A numeric health value and the metric it becomes.
struct ValueMetric {
  int32_t property;
  const char* name;
  const char* help;
  bool counter;
  double scale;  // base value to the metric's unit
};

const ValueMetric kValues[] = {
    {30069, "nimbra_temperature_celsius", "Temperature of the drive.", false, 1},
    {30442, "nimbra_temperature_celsius", "Temperature of the drive.", false, 1},
    {30486, "nimbra_available_spare_ratio", "Available spare capacity, 0..1.", false, 1},
    {30488, "nimbra_available_spare_threshold_ratio",
     "Available spare below which the drive warns, 0..1.", false, 1},
    {30494, "nimbra_endurance_used_ratio", "Share of the rated endurance used, may exceed 1.",
     false, 1},
    {kPowerOnHours, "nimbra_power_on_seconds_total", "Time the drive has been powered on.", true,
     3600},
    {30489, "nimbra_data_read_bytes_total", "Data read from the drive.", true, 1},
    {30490, "nimbra_data_written_bytes_total", "Data written to the drive.", true, 1},
    {30189, "nimbra_media_errors_total", "Unrecovered media and data integrity errors.", true, 1},
    {30060, "nimbra_capacity_bytes", "Capacity of the drive.", false, 1},
};

const PI::CProperty* Find(const PI::CObject& object, int32_t id) {
  for (const PI::CProperty& p : object.m_Properties) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

// A label's text from the object, else from its adapter; "" when neither has it.
std::string LabelText(const PI::CObject& object, const PI::CObject* parent, int32_t id) {
  const PI::CProperty* p = Find(object, id);
  if (p == nullptr && parent != nullptr) p = Find(*parent, id);
  if (p == nullptr) return "";
  if (p->valueKind == PI::VALUE_ENUM) return ValueCodeName(p->intValue);
  return p->valueKind == PI::VALUE_TEXT ? p->text : "";
}

// A state's word as a label value: "not throttled" is not_throttled.
std::string StateLabel(std::string word) {
  for (char& ch : word) {
    if (ch == ' ' || ch == '-') ch = '_';
  }
  return word;
}

// The series of one enumerated state: 1 for the current state's word, 0 for
// every other allowed one.
void AddStates(prometheus::Family<prometheus::Gauge>& family, const Labels& labels,
               const PI::CProperty& p) {
  for (const int code : p.allowed) {
    const std::string word = ValueCodeName(code);
    if (word.empty()) continue;
    Labels l = labels;
    l["state"] = StateLabel(word);
    family.Add(l).Set(code == p.intValue ? 1 : 0);
  }
}

class Model {
 public:
  prometheus::Family<prometheus::Gauge>& Gauge(const std::string& name, const std::string& help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(m_Registry);
  }
  prometheus::Family<prometheus::Counter>& Counter(const std::string& name,
                                                   const std::string& help) {
    return prometheus::BuildCounter().Name(name).Help(help).Register(m_Registry);
  }
  std::vector<prometheus::MetricFamily> Families() const { return m_Registry.Collect(); }

 private:
  prometheus::Registry m_Registry;
};

void AddObject(Model& m, const MetricsInput& in, const PI::CObject& o) {
  const ReadingContext context = ContextOf(&o, in.objects, in.healthRead);
  const std::string serial = LabelText(o, context.parent, kSerial);
  if (serial.empty()) return;  // the plug-in object
  // An adapter and its drive share the serial number: `kind` tells them apart.
  const Labels labels = {{"kind", o.m_Kind == kDriveKind ? "drive" : "adapter"},
                         {"serial", serial},
                         {"model", LabelText(o, context.parent, kModel)},
                         {"device", LabelText(o, context.parent, kDevicePath)},
                         {"form_factor", LabelText(o, context.parent, kFormFactor)}};
  for (const ValueMetric& v : kValues) {
    const PI::CProperty* p = Find(o, v.property);
    if (p == nullptr) continue;
    const Reading r = Read(*p, context);
    if (!r.base.is_number()) continue;
    const double value = r.base.get<double>() * v.scale;
    if (v.counter) {
      if (value >= 0) m.Counter(v.name, v.help).Add(labels).Increment(value);
    } else {
      m.Gauge(v.name, v.help).Add(labels).Set(value);
    }
  }
  const struct {
    int32_t property;
    const char* name;
    const char* help;
  } states[] = {
      {kHealthState, "nimbra_health_state", "Health state, 1 for the current one."},
      {kThrottleState, "nimbra_throttle_state", "Throttle state, 1 for the current one."}};
  for (const auto& s : states) {
    const PI::CProperty* p = Find(o, s.property);
    if (p == nullptr || p->valueKind != PI::VALUE_ENUM || Read(*p, context).notYetRead) continue;
    AddStates(m.Gauge(s.name, s.help), labels, *p);
  }
  if (const PI::CProperty* p = Find(o, kEndOfLife)) {
    const Reading r = Read(*p, context);
    if (r.base.is_string()) {
      m.Gauge("nimbra_predicted_end_of_life_timestamp_seconds",
              "Predicted end of life of the drive, as a Unix time.")
          .Add(labels)
          .Set(static_cast<double>(UnixDay(r.base.get<std::string>())));
    }
  }
}

}  // namespace

int64_t UnixDay(const std::string& iso) {
  // Days from the civil date (proleptic Gregorian), with March as the year's start.
  int64_t y = std::stoi(iso.substr(0, 4));
  const unsigned month = std::stoul(iso.substr(5, 2));
  const unsigned day = std::stoul(iso.substr(8, 2));
  y -= month <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return (era * 146097 + static_cast<int64_t>(doe) - 719468) * 86400;
}

void AddToolCounters(MetricsInput& in) {
  const TLXX::CommandCounters runs = TLXX::CSystem::Counters();
  in.toolRuns = runs.runs;
  in.toolFailures = runs.failed;
}

std::vector<prometheus::MetricFamily> MetricFamilies(const MetricsInput& in) {
  Model m;
  for (const PI::CObject& o : in.objects) AddObject(m, in, o);
  auto& events = m.Counter("nimbra_events_total", "Events the plug-in raised, by event.");
  for (const auto& [id, count] : in.eventsById) {
    events.Add({{"event", EventName(id)}}).Increment(static_cast<double>(count));
  }
  m.Gauge("nimbra_monitoring_up", "1 while the plug-in's worker keeps the readings fresh.")
      .Add({})
      .Set(in.monitoring.running ? 1 : 0);
  if (in.monitoring.lastNotificationMs != 0) {
    m.Gauge("nimbra_last_update_timestamp_seconds",
            "When the plug-in last notified of fresh readings, as a Unix time.")
        .Add({})
        .Set(static_cast<double>(in.monitoring.lastNotificationMs) / 1000.0);
  }
  m.Counter("nimbra_tool_runs_total", "Runs of the SSD tool.")
      .Add({})
      .Increment(static_cast<double>(in.toolRuns));
  m.Counter("nimbra_tool_failures_total", "Runs of the SSD tool that did not succeed.")
      .Add({})
      .Increment(static_cast<double>(in.toolFailures));
  if (in.hooks) {
    const struct {
      const char* name;
      const char* help;
      uint64_t value;
    } hooks[] = {
        {"nimbra_hook_runs_total", "Runs of the alert hook.", in.hookRuns},
        {"nimbra_hook_failures_total",
         "Runs of the alert hook that failed, timed out or left processes behind.",
         in.hookFailures},
        {"nimbra_hook_dropped_events_total",
         "Events whose hook never ran: the queue was full or the harness stopped.", in.hookDropped},
    };
    for (const auto& h : hooks) {
      m.Counter(h.name, h.help).Add({}).Increment(static_cast<double>(h.value));
    }
  }
  return m.Families();
}

std::string PrometheusText(const MetricsInput& in) {
  std::ostringstream out;
  prometheus::TextSerializer().Serialize(out, MetricFamilies(in));
  return out.str();
}

}  // namespace nimbra_host
