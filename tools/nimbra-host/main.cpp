// nimbra-host: plays the host framework for the Nimbra plug-in.
#include <csignal>
#include <iostream>

#include "Harness.h"
#include "HostOptions.h"
#include "StopSignal.h"

int main(int argc, char** argv) {
  try {
    // First, before any thread exists: SIGINT, SIGTERM, SIGHUP and SIGQUIT become a request
    // that the harness answers by shutting the plug-in down. A reader that
    // goes away (| head) makes writes fail instead of killing the process.
    nimbra_host::StopSignal stop;
    std::signal(SIGPIPE, SIG_IGN);
    const nimbra_host::HostOptions options = nimbra_host::ParseHostOptions(argc, argv);
    const int status = nimbra_host::RunHarness(options, stop, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : 1;
  } catch (const std::exception& e) {
    std::cerr << "nimbra-host: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "nimbra-host: unknown failure\n";
  }
  return 1;
}
