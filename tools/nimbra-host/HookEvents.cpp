#include "HookEvents.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "ObjectId.h"
#include "Readings.h"
#include "ValueNames.h"

namespace nimbra_host {

namespace {

constexpr int32_t kFormFactor = 30158;
constexpr int32_t kSerial = 30022;

// "2026-12-08T14:10:02.250Z".
std::string IsoTime(uint64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03uZ", static_cast<unsigned>(ms % 1000));
  return text;
}

}  // namespace

int32_t EventSubjects::FormFactor(uint64_t id) {
  const auto known = m_FormFactors.find(id);
  if (known != m_FormFactors.end()) return known->second;
  PI::CProperty p;
  p.id = kFormFactor;
  const bool read =
      m_Session.Call(PI::CMD_GET_PROPERTY, id, &p).ok() && p.valueKind == PI::VALUE_ENUM;
  return m_FormFactors[id] = read ? p.intValue : 0;
}

std::string EventSubjects::Serial(uint64_t id) {
  const auto known = m_Serials.find(id);
  if (known != m_Serials.end()) return known->second;
  std::vector<PI::CObject> topology;
  std::string serial;
  if (m_Session.Call(PI::CMD_GET_TOPOLOGY, 0, &topology).ok()) {
    const PI::CObject* object = FindById(topology, id);
    const ReadingContext context = ContextOf(object, topology, true);
    for (const PI::CObject* o : {object, context.parent}) {
      if (o == nullptr || !serial.empty()) continue;
      for (const PI::CProperty& p : o->m_Properties) {
        if (p.id == kSerial && p.valueKind == PI::VALUE_TEXT) serial = p.text;
      }
    }
  }
  // A failed read is not kept: the next event asks again.
  if (!serial.empty()) m_Serials[id] = serial;
  return serial;
}

HookRun HookRunOf(const PI::CEvent& e, EventSubjects& subjects) {
  HookRun run;
  run.environment = {
      {"NIMBRA_EVENT_ID", std::to_string(e.m_EventID)},
      {"NIMBRA_SEVERITY", SeverityName(e.m_Severity)},
      {"NIMBRA_OBJECT_ID", FormatObjectId(e.m_ObjectID)},
      {"NIMBRA_SERIAL", subjects.Serial(e.m_ObjectID)},
      {"NIMBRA_OBJECT_NAME", e.m_ObjectName},
      {"NIMBRA_MESSAGE", EventText(e.m_EventID, subjects.FormFactor(e.m_ObjectID))},
      {"NIMBRA_TIME", IsoTime(e.m_Time)},
  };
  run.what = "event " + std::to_string(e.m_EventID) + " (" + EventName(e.m_EventID) + ") of " +
             FormatObjectId(e.m_ObjectID);
  return run;
}

std::unique_ptr<HookRunner> StartHooks(const HostOptions& options, std::ostream& err) {
  if (options.exec.empty()) return nullptr;
  return std::make_unique<HookRunner>(options.exec, std::chrono::seconds(options.execTimeoutS),
                                      [&err](const std::string& line) {
                                        err << line << "\n";
                                        err.flush();
                                      });
}

void EndHooks(HookRunner* hooks, const HostOptions& options, bool signalled) {
  if (hooks == nullptr) return;
  if (!signalled) hooks->WaitIdle(std::chrono::seconds(options.execTimeoutS));
  hooks->Stop();
}

}  // namespace nimbra_host
