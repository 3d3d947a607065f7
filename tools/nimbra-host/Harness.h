// RunHarness: one whole run of nimbra-host for a parsed command line. Plays
// the host: loads the plug-in, sends Initialize (what the plug-in prints on
// stdout meanwhile is caught, and shown on stderr only when Initialize
// fails or --trace is given, so that stdout carries only the command's
// output and a failure only its one line), hands out adapter numbers 0, 1,
// 2..., waits for the
// worker's first notification (at most --settle seconds), runs the command
// and then always de-initializes and releases the plug-in and removes the
// simulation's temporary files, also when `stop` is requested (a signal)
// or an exception passes.
//
// The first stop request (a signal) stops every tool run in progress and
// every later one (TLXX::CSystem::StopAllCommands), so that whatever the
// plug-in waits for ends at once.
//
// Returns the exit status: 0 done; 1 a wrong command line, a failed request
// or a stop (except during watch and serve, which a stop ends); 2 Initialize failed
// (the message names the status and a tool run stopped at its time limit);
// 3 show or get answered but the monitoring has stopped. Messages go to `err` as single lines
// starting "nimbra-host: ". Writes process-wide host settings (configuration folder, trace, tool
// time limit, sysfs root, ISDCT_SIM_FLEET): one run per process.
#pragma once

#include <ostream>

#include "HostOptions.h"
#include "StopSignal.h"

namespace nimbra_host {

int RunHarness(const HostOptions& options, StopSignal& stop, std::ostream& out, std::ostream& err);

}  // namespace nimbra_host
