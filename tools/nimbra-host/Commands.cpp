#include "Commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include <unistd.h>

#include "HookEvents.h"
#include "HostNotes.h"
#include "JsonView.h"
#include "Metrics.h"
#include "Monitoring.h"
#include "ObjectId.h"
#include "ObjectLookup.h"
#include "PI/Records.h"
#include "PI/Status.h"
#include "SimulatorTool.h"
#include "TLXX/System.h"
#include "TextView.h"
#include "ValueNames.h"
#include "WholeNumber.h"

namespace nimbra_host {

namespace {

const char kPrefix[] = "nimbra-host: ";

// What a command works on, and where it reports.
struct Context {
  PluginSession& session;
  const HostOptions& options;
  std::ostream& out;
  std::ostream& err;
  uint64_t object;  // the command's object, once its name is resolved
  // The worker had notified before the command began: the health values it
  // reads come from a health read, not from the first scan's placeholders.
  bool healthRead;
  mutable bool noted = false;  // the simulated line is on stderr

  // The command's stdout. The first use says on stderr when the drives are
  // the simulator's, so that its output is never taken for real hardware.
  std::ostream& Out() const {
    if (!noted && Simulated()) err << kPrefix << kSimulatedNote << "\n";
    noted = true;
    return out;
  }

  std::string Id() const { return FormatObjectId(object); }

  // One line for a failed request about the command's object: an unknown
  // object by name, anything else with what was asked, the status and what
  // the host knows (`note`).
  int Fail(const CallResult& r, const std::string& what, const std::string& note = "") const {
    if (!r.threw && r.status == PI::ERR_OBJECT_NOT_FOUND) {
      err << kPrefix << "no object " << Id() << ": " << Describe(r) << "\n";
    } else {
      err << kPrefix << what << " of " << Id() << " failed: " << Describe(r) << note << "\n";
    }
    return 1;
  }
};

// Reads the topology; on failure reports it.
bool ReadTopology(PluginSession& session, std::vector<PI::CObject>& topology, std::ostream& err) {
  const CallResult r = session.Call(PI::CMD_GET_TOPOLOGY, 0, &topology);
  if (r.ok()) return true;
  err << kPrefix << "reading the topology failed: " << Describe(r) << "\n";
  return false;
}

// True when `printed` shows a value that is still the first scan's
// placeholder.
bool ShowsUnread(const Context& c, const std::vector<PI::CProperty>& printed) {
  return !c.healthRead && std::any_of(printed.begin(), printed.end(),
                                      [](const PI::CProperty& p) { return IsHealthValue(p.id); });
}

// The one stderr line that says why values read "not yet read".
void NoteUnread(const Context& c) {
  c.err << kPrefix << "the first health read did not come within the settle time ("
        << c.options.settleS << " s): health values read 'not yet read'\n";
}

// Writes `text` to `path` whole or not at all: into a temporary file beside
// it, then renamed over it (a reader never sees half a file).
bool WriteAtomically(const std::string& path, const std::string& text, std::ostream& err) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  }
  err << kPrefix << "writing " << path << " failed: " << std::strerror(errno) << "\n";
  std::remove(temporary.c_str());
  return false;
}

// The metrics to stdout, or to the --output file.
int PrintMetrics(const HostOptions& options, const MetricsInput& in, std::ostream& out,
                 std::ostream& err) {
  const std::string text = PrometheusText(in);
  if (options.output.empty()) {
    out << text;
    return 0;
  }
  return WriteAtomically(options.output, text, err) ? 0 : 1;
}

// show --format prometheus: the metrics once. The events counted are those
// waiting in the plug-in's queue, fetched now.
int ShowMetrics(const Context& c, std::vector<PI::CObject> topology,
                const MonitoringState& monitoring) {
  MetricsInput in;
  in.objects = std::move(topology);
  in.healthRead = c.healthRead;
  in.monitoring = monitoring;
  AddToolCounters(in);
  std::map<uint32_t, uint64_t>& events = in.eventsById;
  c.session.OnEvents([&events](const std::vector<PI::CEvent>& batch) {
    for (const PI::CEvent& e : batch) ++events[e.m_EventID];
  });
  const CallResult fetched = c.session.FetchEvents();
  c.session.OnEvents(nullptr);
  if (!fetched.ok()) {
    c.err << kPrefix << "fetching the events failed: " << Describe(fetched) << "\n";
    return 1;
  }
  return PrintMetrics(c.options, in, c.Out(), c.err);
}

// show and the tree of watch: the report, or the subtree of `root`.
int Show(const Context& c, bool compact, const uint64_t* root) {
  const MonitoringState monitoring = ReadMonitoring(c.session);
  std::vector<PI::CObject> topology;
  if (!ReadTopology(c.session, topology, c.err)) return 1;
  if (root != nullptr) topology = Subtree(*root, topology);
  if (std::any_of(topology.begin(), topology.end(),
                  [&c](const PI::CObject& o) { return ShowsUnread(c, o.m_Properties); })) {
    NoteUnread(c);
  }
  if (c.options.prometheus) {
    const int status = ShowMetrics(c, std::move(topology), monitoring);
    if (status != 0) return status;
  } else if (c.options.json) {
    Json document =
        TopologyJson(0, "", c.session.AdapterIDs(), topology, c.healthRead, Simulated());
    InsertMonitoring(document, monitoring);
    c.Out() << document.dump(compact ? -1 : 2) << "\n";
  } else {
    PrintTopology(c.Out(), topology, c.healthRead);
  }
  if (monitoring.running) return 0;
  c.out.flush();
  c.err << StoppedLine(monitoring);
  return kExitMonitoringStopped;
}

// A finite decimal number, all of `text`.
std::optional<float> ParseFloat(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const float f = std::strtof(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(f)) return std::nullopt;
  return f;
}

std::string List(const std::vector<int>& values) {
  std::string text;
  for (const int v : values) text += (text.empty() ? "" : ", ") + std::to_string(v);
  return text;
}

// Stores `text` in `p` by the kind of value `p` holds, within its limits.
// Returns "" or the reason the text does not fit.
std::string StoreValue(PI::CProperty& p, const std::string& text) {
  const std::string quoted = "'" + text + "'";
  switch (p.valueKind) {
    case PI::VALUE_TEXT:
      p.SetValue(text);
      return "";
    case PI::VALUE_NUMBER: {
      uint64_t n = 0;
      std::string problem = ReadWhole(text, ULONG_MAX, n);
      if (problem.empty()) p.SetValue(static_cast<unsigned long>(n));
      return problem;
    }
    case PI::VALUE_RANGE: {
      int64_t n = 0;
      std::string problem = ReadWhole(text, p.rangeMin, p.rangeMax, n);
      if (!problem.empty()) return problem;
      if (p.rangeStep > 1 && (n - p.rangeMin) % p.rangeStep != 0) {
        return quoted + " is not a step of " + std::to_string(p.rangeStep) + " from " +
               std::to_string(p.rangeMin);
      }
      p.SetValue(static_cast<int>(n), p.rangeMin, p.rangeMax, p.rangeStep);
      return "";
    }
    case PI::VALUE_ENUM: {
      int64_t n = 0;
      std::string problem = ReadWhole(text, INT32_MIN, INT32_MAX, n);
      if (!problem.empty()) return problem;
      for (const int allowed : p.allowed) {
        if (allowed == n) {
          p.SetValue(allowed, p.allowed);
          return "";
        }
      }
      return quoted + " is out of range (one of " + List(p.allowed) + ")";
    }
    case PI::VALUE_SET: {
      std::vector<int> current;
      std::stringstream items(text);
      std::string item;
      while (std::getline(items, item, ',')) {
        int64_t n = 0;
        const std::string problem = ReadWhole(item, INT32_MIN, INT32_MAX, n);
        if (!problem.empty()) return quoted + " is not a list of whole numbers: " + problem;
        bool known = false;
        for (const int allowed : p.allowed) known = known || allowed == n;
        if (!known) return quoted + " is out of range (each one of " + List(p.allowed) + ")";
        current.push_back(static_cast<int>(n));
      }
      p.SetValue(current, p.allowed);
      return "";
    }
    case PI::VALUE_FLOAT: {
      const auto f = ParseFloat(text);
      if (!f) return quoted + " is not a number";
      p.SetValue(*f);
      return "";
    }
    default:
      return "the property holds no value that can be written";
  }
}

// For a property an adapter lacks but its drive has (the temperature of a
// 2.5-inch drive, 30069): "; its drive 0x0135000000000006 has it".
std::string DriveHint(const Context& c) {
  std::vector<PI::CObject> topology;
  if (!c.session.Call(PI::CMD_GET_TOPOLOGY, 0, &topology).ok()) return "";
  const PI::CObject* object = FindById(topology, c.object);
  if (object == nullptr) return "";
  for (const uint64_t child : object->m_Children) {
    PI::CProperty p;
    p.id = c.options.property;
    if (c.session.Call(PI::CMD_GET_PROPERTY, child, &p).ok()) {
      return "; its drive " + FormatObjectId(child) + " has it";
    }
  }
  return "";
}

// Reads one property; on failure reports it (a missing property by name).
bool ReadProperty(const Context& c, PI::CProperty& p, int& status) {
  p = PI::CProperty();
  p.id = c.options.property;
  const CallResult r = c.session.Call(PI::CMD_GET_PROPERTY, c.object, &p);
  if (r.ok()) return true;
  if (!r.threw && r.status == PI::ERR_GENERAL) {
    c.err << kPrefix << "object " << c.Id() << " has no property " << c.options.property
          << DriveHint(c) << "\n";
    status = 1;
  } else {
    status = c.Fail(r, "reading property " + std::to_string(c.options.property));
  }
  return false;
}

int Get(const Context& c) {
  const MonitoringState monitoring = ReadMonitoring(c.session);
  std::vector<PI::CProperty> properties;
  if (c.options.propertySet) {
    PI::CProperty p;
    int status = 0;
    if (!ReadProperty(c, p, status)) return status;
    properties.push_back(p);
  } else {
    const CallResult r = c.session.Call(PI::CMD_GET_PROPERTIES, c.object, &properties);
    if (!r.ok()) return c.Fail(r, "reading the properties");
  }
  // The object's siblings in the report give a status its reasons.
  std::vector<PI::CObject> topology;
  if (!ReadTopology(c.session, topology, c.err)) return 1;
  const ReadingContext context = ContextOf(FindById(topology, c.object), topology, c.healthRead);
  if (ShowsUnread(c, properties)) NoteUnread(c);
  if (c.options.json) {
    Json j = DocumentJson("properties", Simulated());
    j["id"] = c.Id();
    j["monitoring"] = MonitoringJson(monitoring);
    j["properties"] = Json::array();
    for (const PI::CProperty& p : properties) j["properties"].push_back(PropertyJson(p, context));
    c.Out() << j.dump(2) << "\n";
  } else {
    for (const PI::CProperty& p : properties) c.Out() << PropertyLine(p, context) << "\n";
  }
  if (monitoring.running) return 0;
  c.err << StoppedLine(monitoring);
  return kExitMonitoringStopped;
}

int Set(const Context& c) {
  // The host sends back the record it read, with the new value: the
  // plug-in takes the limits from it.
  PI::CProperty p;
  int status = 0;
  if (!ReadProperty(c, p, status)) return status;
  const std::string problem = StoreValue(p, c.options.value);
  if (!problem.empty()) {
    c.err << kPrefix << "property " << c.options.property << " of " << c.Id() << ": " << problem
          << "\n";
    return 1;
  }
  const uint64_t writes = ConfigWriteMark();
  const CallResult r = c.session.Call(PI::CMD_SET_PROPERTY, c.object, &p);
  if (!r.ok()) {
    return c.Fail(r, "writing property " + std::to_string(c.options.property),
                  ConfigWriteNote(writes));
  }
  if (!ReadProperty(c, p, status)) return status;
  c.Out() << PropertyLine(p) << "\n";
  return 0;
}

// The object's operations; false (reported) when they cannot be read.
bool ReadOperations(const Context& c, std::vector<PI::COperation>& ops, int& status) {
  const CallResult r = c.session.Call(PI::CMD_GET_OPERATIONS, c.object, &ops);
  if (r.ok()) return true;
  status = c.Fail(r, "reading the operations");
  return false;
}

// The operation record to send: the object's own, as listed, when it lists
// the id; a bare record with the id otherwise.
PI::COperation OperationRecord(const std::vector<PI::COperation>& ops, int32_t id) {
  for (const PI::COperation& op : ops) {
    if (op.id == id) return op;
  }
  PI::COperation op;
  op.id = id;
  op.secondaryId = id;
  return op;
}

std::string OperationTitle(const Context& c) {
  std::string name = OperationName(c.options.operation);
  return "operation " + std::to_string(c.options.operation) +
         (name.empty() ? "" : " (" + name + ")") + " on " + c.Id();
}

int Ops(const Context& c) {
  std::vector<PI::COperation> ops;
  int status = 0;
  if (!ReadOperations(c, ops, status)) return status;
  if (ops.empty()) c.Out() << "no operations\n";
  for (const PI::COperation& op : ops) c.Out() << OperationLine(op) << "\n";
  return 0;
}

int Check(const Context& c) {
  std::vector<PI::COperation> ops;
  int status = 0;
  if (!ReadOperations(c, ops, status)) return status;
  PI::COperation op = OperationRecord(ops, c.options.operation);
  const CallResult r = c.session.Call(PI::CMD_CHECK_OPERATION, c.object, &op);
  if (r.threw || r.status == PI::ERR_OBJECT_NOT_FOUND) return c.Fail(r, "checking an operation");
  if (r.status == 0) {
    c.Out() << OperationTitle(c) << ": allowed\n";
    return 0;
  }
  c.Out() << OperationTitle(c) << ": refused, " << Describe(r) << "\n";
  return 1;
}

int Exec(const Context& c) {
  std::vector<PI::COperation> ops;
  int status = 0;
  if (!ReadOperations(c, ops, status)) return status;
  PI::COperation op = OperationRecord(ops, c.options.operation);
  const CallResult r = c.session.Call(PI::CMD_EXECUTE_OPERATION, c.object, &op);
  if (!r.ok()) return c.Fail(r, "executing operation " + std::to_string(c.options.operation));
  const std::vector<PI::CEvent>& events = op.GetEvents();
  EventSubjects subjects(c.session);
  if (c.options.json) {
    for (const PI::CEvent& e : events) {
      c.Out() << EventJson(e, subjects.FormFactor(e.m_ObjectID), Simulated()).dump() << "\n";
    }
    return 0;
  }
  c.Out() << OperationTitle(c) << ": done, " << events.size()
          << (events.size() == 1 ? " event" : " events") << "\n";
  for (const PI::CEvent& e : events) {
    c.Out() << EventLine(e, subjects.FormFactor(e.m_ObjectID)) << "\n";
  }
  return 0;
}

int Watch(const Context& c, StopSignal& stop) {
  const int status = Show(c, true, nullptr);
  if (status != 0 && status != kExitMonitoringStopped) return status;
  if (!c.options.json) c.Out() << "\n";
  c.out.flush();
  std::ostream& out = c.out;
  const bool json = c.options.json;
  // Deliveries never overlap, so the callback alone uses subjects.
  EventSubjects subjects(c.session);
  const std::unique_ptr<HookRunner> hooks = StartHooks(c.options, c.err);
  HookRunner* const hook = hooks.get();
  c.session.OnEvents([&out, json, &stop, &subjects, hook](const std::vector<PI::CEvent>& events) {
    for (const PI::CEvent& e : events) {
      const int32_t formFactor = subjects.FormFactor(e.m_ObjectID);
      out << (json ? EventJson(e, formFactor, Simulated()).dump() : EventLine(e, formFactor))
          << "\n";
      if (hook != nullptr) hook->Post(HookRunOf(e, subjects));
    }
    out.flush();
    // Nobody reads any more (a closed pipe): watching is over.
    if (!out) stop.Request(SIGPIPE);
  });
  // Events raised before the receiver was set wait in the plug-in's queue.
  c.session.FetchEvents();
  if (!json) {
    c.err << kPrefix << "watching for events, "
          << (c.options.secondsSet ? "for " + std::to_string(c.options.seconds) + " s or " : "")
          << "until Ctrl-C\n";
  }
  WaitWatchingMonitoring(
      c.session, stop,
      c.options.secondsSet ? std::optional<unsigned>(c.options.seconds) : std::nullopt,
      status == kExitMonitoringStopped, c.err);
  c.session.OnEvents(nullptr);
  EndHooks(hooks.get(), c.options, stop.Requested());
  return 0;
}

}  // namespace

int PrintShow(PluginSession& session, bool json, bool compact, const CallResult* init,
              std::ostream& out, std::ostream& err) {
  const MonitoringState monitoring = ReadMonitoring(session);
  std::vector<PI::CObject> topology;
  if (!ReadTopology(session, topology, err)) return 1;
  const bool healthRead = session.Notifications() > 0;
  if (json) {
    const Json initialize = init == nullptr ? Json(0) : init->threw ? Json() : Json(init->status);
    const std::string exception = init != nullptr ? init->exception : std::string();
    Json document = TopologyJson(initialize, exception, session.AdapterIDs(), topology, healthRead,
                                 Simulated());
    InsertMonitoring(document, monitoring);
    out << document.dump(compact ? -1 : 2) << "\n";
  } else {
    PrintTopology(out, topology, healthRead);
  }
  if (monitoring.running || init != nullptr) return 0;
  out.flush();
  err << StoppedLine(monitoring);
  return kExitMonitoringStopped;
}

int PrintDownMetrics(const HostOptions& options, std::ostream& out, std::ostream& err) {
  MetricsInput in;
  AddToolCounters(in);
  return PrintMetrics(options, in, out, err);
}

int RunCommand(PluginSession& session, const HostOptions& options, StopSignal& stop,
               std::ostream& out, std::ostream& err) {
  // Sampled first: a notification after this point may have come after the
  // values were read.
  Context c{session, options, out, err, options.objectId, session.Notifications() > 0};
  if (!options.object.empty()) {
    std::vector<PI::CObject> topology;
    if (!ReadTopology(session, topology, err)) return 1;
    const FoundObject found = FindObject(options.object, topology);
    if (!found.found) {
      err << kPrefix << found.error << "\n";
      return 1;
    }
    // Which object a name stood for goes on stderr: stdout is the output.
    if (!found.note.empty()) err << kPrefix << found.note << "\n";
    c.object = found.id;
  }
  const std::string& command = options.command;
  if (command == "show") return Show(c, false, options.object.empty() ? nullptr : &c.object);
  if (command == "watch") return Watch(c, stop);
  if (command == "get") return Get(c);
  if (command == "set") return Set(c);
  if (command == "ops") return Ops(c);
  if (command == "check") return Check(c);
  if (command == "exec") return Exec(c);
  err << kPrefix << "unknown command '" << command << "'\n";
  return 1;
}

}  // namespace nimbra_host
