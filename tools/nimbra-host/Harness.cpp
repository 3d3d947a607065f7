#include "Harness.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "HookRunner.h"
#include "HostNotes.h"
#include "MetricsEndpoint.h"
#include "PI/ConfigFile.h"
#include "PluginSession.h"
#include "Serve.h"
#include "Simulation.h"
#include "SimulatorTool.h"
#include "TLX/Misc.h"
#include "TLX/Trace.h"
#include "TLXX/System.h"

namespace nimbra_host {

namespace {

const char kPrefix[] = "nimbra-host: ";

// Catches what is written to file descriptor 1 (the plug-in's console
// line in Initialize) for its lifetime, so that stdout carries only the
// command's output. Without a memory file it sends the text to stderr.
class ConsoleCapture {
 public:
  ConsoleCapture() {
    std::cout.flush();
    std::fflush(stdout);
    m_Saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_Saved < 0) return;
    m_File = memfd_create("nimbra-console", MFD_CLOEXEC);
    dup2(m_File >= 0 ? m_File : STDERR_FILENO, STDOUT_FILENO);
  }
  ~ConsoleCapture() { Restore(); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  // Puts stdout back and returns what was caught.
  std::string Restore() {
    std::string text;
    std::fflush(stdout);
    if (m_Saved < 0) return text;
    dup2(m_Saved, STDOUT_FILENO);
    close(m_Saved);
    m_Saved = -1;
    if (m_File < 0) return text;
    char buffer[4096];
    ssize_t n;
    lseek(m_File, 0, SEEK_SET);
    while ((n = read(m_File, buffer, sizeof buffer)) > 0) text.append(buffer, n);
    close(m_File);
    m_File = -1;
    return text;
  }

 private:
  int m_Saved = -1;
  int m_File = -1;
};

// Waits for the worker's first notification, at most `seconds`, ending
// early on a stop request.
void Settle(PluginSession& session, unsigned seconds, StopSignal& stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!stop.Requested() && std::chrono::steady_clock::now() < deadline) {
    if (session.WaitForNotifications(1, std::chrono::milliseconds(50))) return;
  }
}

}  // namespace

int RunHarness(const HostOptions& options, StopSignal& stop, std::ostream& out, std::ostream& err) {
  if (options.help) {
    out << (options.command.empty() ? Usage() : CommandUsage(options.command));
    return 0;
  }
  if (!options.error.empty()) {
    err << kPrefix << options.error << " (see nimbra-host "
        << (options.command.empty() ? "" : options.command + " ") << "--help)\n";
    return 1;
  }

  if (!options.exec.empty()) {
    const std::string problem = HookCommandProblem(options.exec);
    if (!problem.empty()) {
      err << kPrefix << options.command << ": --exec: " << problem << "\n";
      return 1;
    }
  }

  // A signal ends every tool run at once, whatever the main thread waits
  // for inside the plug-in; the plug-in's calls then fail fast and the
  // harness leaves through its normal path.
  stop.OnStop([] { TLXX::CSystem::StopAllCommands(); });
  if (!options.configDir.empty()) PI::CConfigFile::SetConfigDirectory(options.configDir);
  if (!options.traceFile.empty() && !TLX::Internals::SetTraceFile(options.traceFile)) {
    err << kPrefix << "cannot write the trace file " << options.traceFile << "\n";
    return 1;
  }
  if (options.traceSet) TLX::Misc::SetModuleTraceMask("*", options.traceMask);
  TLXX::CSystem::SetCommandTimeout(options.toolTimeoutS * 1000);

  // serve listens before the simulator starts and the plug-in loads: an
  // address that cannot be had fails at once, not after Initialize. Outlives
  // the session, whose tree its scrapes read until Serve returns.
  std::unique_ptr<MetricsEndpoint> endpoint;
  if (options.command == "serve") {
    std::string error;
    endpoint = MetricsEndpoint::Listen(options.listen, error);
    if (!endpoint) {
      err << kPrefix << error << "\n";
      return 1;
    }
  }

  const boost::filesystem::path here = HarnessDirectory();
  ToolFolder toolFolder;  // outlives the session: the plug-in runs the tool from it
  Simulation simulation;  // outlives the session: the plug-in runs the tool on its tree
  if (options.simulate) {
    std::string error;
    const std::string simulator = FindSimulator(here.string());
    if (simulator.empty()) {
      err << kPrefix << "the simulator " << (here / "isdct-sim").string() << " does not exist\n";
      return 1;
    }
    if (!toolFolder.Start(simulator, here.string(), error) ||
        !simulation.Start(simulator, options.fleet, error)) {
      err << kPrefix << (stop.Requested() ? "interrupted" : error) << "\n";
      return 1;
    }
    TLXX::CSystem::SetSysfsRoot(simulation.SysfsRoot());
  }
  SetSimulated(options.simulate || IsSimulator((here / "bin" / "isdct").string(), here.string()));
  if (!options.sysfsRoot.empty()) TLXX::CSystem::SetSysfsRoot(options.sysfsRoot);
  if (stop.Requested()) {
    err << kPrefix << "interrupted\n";
    return 1;
  }

  // Destroyed first: DeInitialize and releaseIf before the tree goes.
  PluginSession session;
  std::string error;
  const std::string plugin =
      options.plugin.empty() ? (here / "libNimbra.so").string() : options.plugin;
  if (!session.Load(plugin, error)) {
    err << kPrefix << error << "\n";
    return 1;
  }
  ConsoleCapture console;
  const uint64_t timeouts = TimeoutMark();
  const CallResult init = session.Initialize();
  // The plug-in's console line ("adapter count is N") matters when
  // Initialize fails or someone is tracing; otherwise show says it all.
  const std::string consoleText = console.Restore();
  if (!init.ok() && stop.Requested()) {  // the tool runs were stopped: no failure to explain
    err << kPrefix << "interrupted\n";
    return 1;
  }
  if (!init.ok() || options.traceSet) err << consoleText;
  if (!init.ok()) {
    // Scripts get the document that says why, with what the plug-in shows.
    if (options.command == "show" && options.json) {
      PrintShow(session, true, false, &init, out, err);
    } else if (options.command == "show" && options.prometheus) {
      // A textfile collector's file says the monitoring is down instead of
      // keeping the last run's values.
      PrintDownMetrics(options, out, err);
    }
    err << kPrefix << "initialize failed: " << Describe(init) << TimeoutNote(timeouts) << "\n";
    return 2;
  }
  const CallResult ids = session.SetAdapterIDs();
  if (!ids.ok()) {
    err << kPrefix << "SetAdapterIDs failed: " << Describe(ids) << "\n";
    return 1;
  }
  // The first scan inside Initialize reads no health pages; the worker's
  // first full scan does, and notifies the host when it is done.
  Settle(session, options.settleS, stop);
  if (stop.Requested()) {
    err << kPrefix << "interrupted\n";
    return 1;
  }
  const int status = endpoint ? Serve(session, options, *endpoint, stop, err)
                              : RunCommand(session, options, stop, out, err);
  // A signal during the command or the shutdown cut tool runs short: what
  // the command printed may be incomplete. watch and serve end on a signal
  // by design.
  session.DeInitialize();
  if (stop.Requested() && options.command != "watch" && options.command != "serve") {
    err << kPrefix << "interrupted\n";
    return 1;
  }
  return status;
}

}  // namespace nimbra_host
