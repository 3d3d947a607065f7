// nimbra-host: plays the host framework for the Nimbra plug-in.
#include <iostream>

#include "Harness.h"
#include "HostOptions.h"
#include "StopSignal.h"

int main(int argc, char** argv) {
  try {
    // First, before any thread exists: Ctrl-C and SIGTERM become a request
    // that the harness answers by shutting the plug-in down.
    nimbra_host::StopSignal stop;
    const nimbra_host::HostOptions options = nimbra_host::ParseHostOptions(argc, argv);
    return nimbra_host::RunHarness(options, stop, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "nimbra-host: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "nimbra-host: unknown failure\n";
  }
  return 1;
}
