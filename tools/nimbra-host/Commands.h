// The harness's commands, run on an initialized plug-in session whose
// adapters have their host numbers: show, watch, get, set, ops, check, exec
// (grammar in HostOptions.h). A command's object may be named by an ID, a
// serial number or a device path (ObjectLookup.h); the object a name
// resolved to is named on `err`. Each prints its result to `out` and a failure
// as one line on `err` ("nimbra-host: ..."), and returns the process exit
// status: 0 done, 1 failure (an unknown object, a property the object does
// not have, a value the property does not take, a status the plug-in
// refused with; check: the plug-in refused the operation), 3 for show and get
// when the monitoring has stopped (after printing; see Monitoring.h).
//
// watch prints events from the plug-in's worker thread while the calling
// thread waits for `stop` (or --seconds); it has stopped printing when it
// returns.
#pragma once

#include <ostream>

#include "HostOptions.h"
#include "PluginSession.h"
#include "StopSignal.h"

namespace nimbra_host {

int RunCommand(PluginSession& session, const HostOptions& options, StopSignal& stop,
               std::ostream& out, std::ostream& err);

// Prints the topology as `show` does, the JSON document on one line when
// `compact`; `init` is a failed Initialize's result (null: it succeeded).
// Returns the exit status (3 and a stderr line when the monitoring has
// stopped, unless Initialize failed).
int PrintShow(PluginSession& session, bool json, bool compact, const CallResult* init,
              std::ostream& out, std::ostream& err);

// show --format prometheus after a failed Initialize: nimbra_monitoring_up 0
// and the tool counters, to stdout or written to --output. Returns 0 or 1
// (the file could not be written).
int PrintDownMetrics(const HostOptions& options, std::ostream& out, std::ostream& err);

}  // namespace nimbra_host
