// Runs the built nimbra-host as an administrator would, in a folder of its
// own: a temporary folder that is its configuration folder and its TMPDIR
// (so that its temporary sysfs tree lands there and can be checked), with a
// fleet file the simulator can edit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "TestSupport.h"

namespace nimbra_test {

struct Result {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// The built programs.
std::string Harness();
std::string Isdct();

class HarnessRun {
 public:
  // `fleet`: the fleet file's text, written to fleet.json in the folder.
  explicit HarnessRun(const std::string& fleet);

  const nimbra_test::TempDir& dir() const { return m_Dir; }
  std::string Fleet() const { return m_Dir / "fleet.json"; }
  // The folder the harness uses as TMPDIR.
  std::string Tmp() const { return m_Dir / "tmp"; }

  // Runs "nimbra-host --config-dir DIR --settle S --simulate FLEET ARGS".
  Result Run(const std::string& args, unsigned settle = 10) const;
  // Runs "nimbra-host ARGS" with only TMPDIR set up.
  Result RunPlain(const std::string& args) const;
  // Runs "PREFIX nimbra-host --config-dir DIR ..." as Run does: PREFIX is a
  // shell command that ends by running the words after it (unshare ...).
  Result RunWith(const std::string& prefix, const std::string& args, unsigned settle = 10) const;

  // Starts what Run runs in the background, with default signal dispositions
  // and no signal blocked, so that a test can signal it; returns its PID (the
  // harness's own), -1 when it could not start.
  pid_t Start(const std::string& args, unsigned settle = 10) const;
  // Waits for a started harness at most `limit`; one still running then is
  // killed (SIGKILL) and gets status -1.
  Result Finish(pid_t pid, std::chrono::milliseconds limit) const;

 private:
  Result Shell(const std::string& command) const;
  nimbra_test::TempDir m_Dir;
};

// A fleet of `drives` default drives (the simulator's first ones: add-in
// cards at positions 0 and 1, 2.5-inch drives at 2 and 3).
std::string DefaultFleet(int drives);

// Number of lines of `text`.
int Lines(const std::string& text);

}  // namespace nimbra_test
