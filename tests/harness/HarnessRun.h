// Runs the built nimbra-host as an administrator would, in a folder of its
// own: a temporary folder that is its configuration folder and its TMPDIR
// (so that its temporary sysfs tree lands there and can be checked), with a
// fleet file the simulator can edit.
#pragma once

#include <string>

#include "TestSupport.h"

namespace nimbra_test {

struct Result {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// What nimbra-host says on stderr before output about the simulator's drives.
extern const char kSimulatedLine[];

// The built programs.
std::string Harness();
std::string Isdct();

class HarnessRun {
 public:
  // `fleet`: the fleet file's text, written to fleet.json in the folder.
  explicit HarnessRun(const std::string& fleet);

  const nimbra_test::TempDir& dir() const { return m_Dir; }
  std::string Fleet() const { return m_Dir / "fleet.json"; }
  std::string Tmp() const { return m_Dir / "tmp"; }
  // The names of what is left in the harness's TMPDIR, one a line.
  std::string LeftInTmp() const;

  // Runs the shell script `script` in the folder with TMPDIR, H (the built
  // harness) and FLEET (the fleet file) set, and two shell functions: h runs
  // the harness with --config-dir . --simulate "$FLEET", sim the simulator
  // on the fleet.
  Result Shell(const std::string& script) const;
  // Runs "h --settle S ARGS".
  Result Run(const std::string& args, unsigned settle = 10) const;
  // Runs "nimbra-host ARGS", or another harness program (an installed one),
  // with only TMPDIR set up.
  Result RunPlain(const std::string& args, const std::string& program = Harness()) const;

 private:
  nimbra_test::TempDir m_Dir;
};

// Gives what `script` prints, run in the run's folder with these helpers:
// `h ARGS &` starts nimbra-host with signals at their defaults, stdout to
// out.txt and stderr to err.txt; `upto CMD` retries CMD for 30 s; `ours`
// lists the run's processes (by their TMPDIR), `gone` is true when none is
// left, `hung TEXT` when one's command line holds TEXT; `sim ARGS` runs the
// simulator on the fleet.
std::string Script(const HarnessRun& run, const std::string& script);

// A fleet of `drives` default drives (the simulator's first ones: add-in
// cards at positions 0 and 1, 2.5-inch drives at 2 and 3).
std::string DefaultFleet(int drives);

// Number of lines of `text`.
int Lines(const std::string& text);

}  // namespace nimbra_test
