// nimbra-host: plays the host framework for the Nimbra plug-in.
#include <boost/filesystem/path.hpp>
#include <iostream>

#include "Commands.h"
#include "HostOptions.h"
#include "PI/ConfigFile.h"
#include "PluginSession.h"
#include "Simulation.h"
#include "TLX/Misc.h"
#include "TLX/Trace.h"
#include "TLXX/System.h"

using namespace nimbra_host;

namespace {

int Run(int argc, char** argv) {
  const HostOptions options = ParseHostOptions(argc, argv);
  if (options.help) {
    std::cout << (options.command.empty() ? Usage() : CommandUsage(options.command));
    return 0;
  }
  if (!options.error.empty()) {
    std::cerr << "nimbra-host: " << options.error << " (see nimbra-host --help)\n";
    return 1;
  }

  if (!options.configDir.empty()) PI::CConfigFile::SetConfigDirectory(options.configDir);
  if (!options.traceFile.empty() && !TLX::Internals::SetTraceFile(options.traceFile)) {
    std::cerr << "nimbra-host: cannot write the trace file " << options.traceFile << "\n";
    return 1;
  }
  if (options.traceSet) TLX::Misc::SetModuleTraceMask("*", options.traceMask);
  TLXX::CSystem::SetCommandTimeout(options.toolTimeoutS * 1000);

  const boost::filesystem::path here = HarnessDirectory();
  Simulation simulation;
  if (options.simulate) {
    std::string error;
    if (!simulation.Start((here / "bin" / "isdct").string(), options.fleet, error)) {
      std::cerr << "nimbra-host: " << error << "\n";
      return 1;
    }
    TLXX::CSystem::SetSysfsRoot(simulation.SysfsRoot());
  }
  if (!options.sysfsRoot.empty()) TLXX::CSystem::SetSysfsRoot(options.sysfsRoot);

  PluginSession session;
  std::string error;
  const std::string plugin =
      options.plugin.empty() ? (here / "libNimbra.so").string() : options.plugin;
  if (!session.Load(plugin, error)) {
    std::cerr << "nimbra-host: " << error << "\n";
    return 1;
  }
  const CallResult init = session.Initialize();
  if (!init.ok()) {
    std::cerr << "nimbra-host: initialize failed: " << Describe(init) << "\n";
    return 2;
  }
  const CallResult ids = session.SetAdapterIDs();
  if (!ids.ok()) {
    std::cerr << "nimbra-host: SetAdapterIDs failed: " << Describe(ids) << "\n";
    return 1;
  }
  // The first scan inside Initialize reads no health pages; the worker's
  // first full scan does, and notifies the host when it is done.
  session.WaitForNotifications(1, options.settleS);
  return RunCommand(session, options, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "nimbra-host: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "nimbra-host: unknown failure\n";
  }
  return 1;
}
