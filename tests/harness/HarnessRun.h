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
  // The folder the harness uses as TMPDIR.
  std::string Tmp() const { return m_Dir / "tmp"; }

  // Runs "nimbra-host --config-dir DIR --settle S --simulate FLEET ARGS".
  Result Run(const std::string& args, unsigned settle = 10) const;
  // Runs "nimbra-host ARGS", or another harness program (an installed one),
  // with only TMPDIR set up.
  Result RunPlain(const std::string& args, const std::string& program = Harness()) const;

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
