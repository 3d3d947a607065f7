#include "HarnessRun.h"

#include <algorithm>

namespace nimbra_test {

const char kSimulatedLine[] =
    "nimbra-host: simulated: the drives are the SSD tool simulator's (isdct-sim), not real "
    "hardware\n";

std::string Harness() { return BuildDir() + "/nimbra-host"; }
std::string Isdct() { return BuildDir() + "/bin/isdct"; }

HarnessRun::HarnessRun(const std::string& fleet) {
  m_Dir.Write("fleet.json", fleet);
  m_Dir.Write("tmp/.keep", "");
}

std::string HarnessRun::LeftInTmp() const {
  std::string names;
  RunShell("ls '" + Tmp() + "'", &names);
  return names;
}

Result HarnessRun::Shell(const std::string& script) const {
  const std::string errFile = m_Dir / "stderr.txt";
  Result r;
  r.status = RunShell("cd '" + m_Dir.path() + "' && export TMPDIR=\"$PWD/tmp\" H='" + Harness() +
                          "' FLEET='" + Fleet() +
                          "'; h() { \"$H\" --config-dir . --simulate \"$FLEET\" \"$@\"; }; "
                          "sim() { ISDCT_SIM_FLEET=\"$FLEET\" '" +
                          Isdct() + "' \"$@\"; }; { " + script + "\n} 2>'" + errFile + "'",
                      &r.out);
  r.err = ReadFile(errFile);
  return r;
}

Result HarnessRun::Run(const std::string& args, unsigned settle) const {
  return Shell("h --settle " + std::to_string(settle) + " " + args);
}

Result HarnessRun::RunPlain(const std::string& args, const std::string& program) const {
  return Shell("'" + program + "' " + args);
}

std::string Script(const HarnessRun& run, const std::string& script) {
  std::string out;
  RunShell("cd '" + run.dir().path() + "' && harness='" + Harness() + "' isdct='" + Isdct() +
               R"sh('
h() { TMPDIR="$PWD/tmp" exec env --default-signal "$harness" --config-dir . \
  --simulate fleet.json "$@" </dev/null >out.txt 2>err.txt; }
sim() { ISDCT_SIM_FLEET="$PWD/fleet.json" "$isdct" "$@"; }
upto() { for i in $(seq 300); do "$@" && return 0; sleep 0.1; done; return 1; }
ours() { grep -lz "^TMPDIR=$PWD/tmp\$" /proc/[0-9]*/environ 2>/dev/null; }
hung() { ours | sed s/environ/cmdline/ | xargs cat | tr '\0' ' ' | grep -q "$1"; }
gone() { [ -z "$(ours)" ]; }
)sh" + script,
           &out);
  return out;
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
