// Helpers of the host stand-in's tests beyond tests/support: whether a killed
// process has ended.
#pragma once

#include <unistd.h>

#include <string>

#include "TestSupport.h"

namespace nimbra_test {

using nimbra_test::ReadFile;

// Waits up to three seconds for a killed process to end (or become a
// zombie); true when it has.
inline bool Dies(pid_t pid) {
  auto alive = [pid] {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
  };
  for (int i = 0; i < 300 && alive(); ++i) usleep(10000);
  return !alive();
}

}  // namespace nimbra_test
