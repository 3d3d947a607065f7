#include "HarnessRun.h"

#include <algorithm>

namespace nimbra_test {

const char kSimulatedLine[] =
    "nimbra-host: simulated: the drives are the SSD tool simulator's (isdct-sim), not real "
    "hardware\n";

std::string Harness() { return nimbra_test::BuildDir() + "/nimbra-host"; }
std::string Isdct() { return nimbra_test::BuildDir() + "/bin/isdct"; }

HarnessRun::HarnessRun(const std::string& fleet) {
  m_Dir.Write("fleet.json", fleet);
  m_Dir.Write("tmp/.keep", "");
}

Result HarnessRun::Shell(const std::string& command) const {
  Result r;
  const std::string errFile = m_Dir / "stderr.txt";
  r.status = nimbra_test::RunShell(
      "cd '" + m_Dir.path() + "' && TMPDIR='" + Tmp() + "' " + command + " 2>'" + errFile + "'",
      &r.out);
  nimbra_test::RunShell("cat '" + errFile + "'", &r.err);
  return r;
}

Result HarnessRun::Run(const std::string& args, unsigned settle) const {
  return Shell("'" + Harness() + "' --config-dir '" + m_Dir.path() + "' --settle " +
               std::to_string(settle) + " --simulate '" + Fleet() + "' " + args);
}

Result HarnessRun::RunPlain(const std::string& args, const std::string& program) const {
  return Shell("'" + program + "' " + args);
}

std::string DefaultFleet(int drives) {
  std::string text = "{\"drives\": [";
  for (int i = 0; i < drives; ++i) text += i == 0 ? "{}" : ", {}";
  return text + "]}";
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace nimbra_test
