// isdct: the simulated SSD command-line tool. Runs one command line (see
// Cli.h), writes its output, and exits with its status, or, for the hang
// fault, sleeps until a signal ends it.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"

namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // the reader has gone; nothing more to do
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const char* fleet = std::getenv("ISDCT_SIM_FLEET");
  const isdct_sim::Outcome outcome =
      isdct_sim::Run(args, fleet ? std::optional<std::string>(fleet) : std::nullopt);
  WriteAll(STDOUT_FILENO, outcome.out);
  WriteAll(STDERR_FILENO, outcome.err);
  if (outcome.hang) {
    for (;;) ::pause();
  }
  return outcome.status;
}
