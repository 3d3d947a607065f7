// What an event's lines and alert hook tell about its object beyond the
// event itself: the form factor that words a temperature event, the serial
// number an administrator knows the drive by. EventSubjects asks the plug-in
// once per object and keeps the answers; HookRunOf makes the hook's
// environment of an event.
//
// Thread-safety: an EventSubjects belongs to one thread at a time (the
// event deliveries, which never overlap). Never throws but bad_alloc.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "HookRunner.h"
#include "HostOptions.h"
#include "PI/Records.h"
#include "PluginSession.h"

namespace nimbra_host {

class EventSubjects {
 public:
  explicit EventSubjects(PluginSession& session) : m_Session(session) {}

  // The object's form factor (property 30158), 0 when it has none.
  int32_t FormFactor(uint64_t id);
  // The serial number of the object, or of the adapter above a drive; "" when
  // neither has one (the plug-in object).
  std::string Serial(uint64_t id);

 private:
  PluginSession& m_Session;
  std::map<uint64_t, int32_t> m_FormFactors;
  std::map<uint64_t, std::string> m_Serials;
};

// The run of the hook for `event`: NIMBRA_EVENT_ID (decimal), NIMBRA_SEVERITY
// (a word), NIMBRA_OBJECT_ID (hex, as show prints it), NIMBRA_SERIAL,
// NIMBRA_OBJECT_NAME, NIMBRA_MESSAGE (the event told in words) and
// NIMBRA_TIME (ISO 8601, UTC).
HookRun HookRunOf(const PI::CEvent& event, EventSubjects& subjects);

// The runner of --exec's hook with --exec-timeout's limit, reporting to
// `err`; null without --exec.
std::unique_ptr<HookRunner> StartHooks(const HostOptions& options, std::ostream& err);

// Ends the hooks: at once after a signal; otherwise lets what runs and waits
// finish within one time limit first.
void EndHooks(HookRunner* hooks, const HostOptions& options, bool signalled);

}  // namespace nimbra_host
