// The harness's commands, run on an initialized plug-in session. Each prints
// its result to stdout and its errors as one line on stderr, and returns the
// process exit status (0 done, 1 failure).
#pragma once

#include <ostream>

#include "HostOptions.h"
#include "PluginSession.h"

namespace nimbra_host {

int RunCommand(PluginSession& session, const HostOptions& options, std::ostream& out,
               std::ostream& err);

}  // namespace nimbra_host
