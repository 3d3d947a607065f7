// serve: keeps the initialized plug-in running and answers scrapes of
// /metrics from its tree as it is at each scrape (Metrics.h). Events are
// fetched as the plug-in notifies and counted by name; with --exec each one
// also goes to the alert hook. Runs until `stop`; then no scrape reads the
// plug-in any more and no event is delivered, so the caller may
// de-initialize it. Says on `err` where it serves and, once, when the
// monitoring stops. Returns 0.
#pragma once

#include <ostream>

#include "HostOptions.h"
#include "MetricsEndpoint.h"
#include "PluginSession.h"
#include "StopSignal.h"

namespace nimbra_host {

int Serve(PluginSession& session, const HostOptions& options, MetricsEndpoint& endpoint,
          StopSignal& stop, std::ostream& err);

}  // namespace nimbra_host
