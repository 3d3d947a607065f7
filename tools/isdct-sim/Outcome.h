// The result of one run of the simulated tool: what it prints on each stream,
// its exit status, and whether it then hangs until killed. Cli::run builds
// it; main writes it out. Keeping the run free of I/O lets tests check every
// answer in-process.
#pragma once

#include <string>

namespace isdct_sim {

struct Outcome {
  std::string out;
  std::string err;
  int status = 0;
  bool hang = false;  // after writing out and err, sleep until killed
};

}  // namespace isdct_sim
