// The installed layout: the simulator goes in under its own name, away from
// the tool's place bin/isdct, so that an installed harness on a machine with
// the drives never runs it as the real tool; --simulate finds it there; and
// installed as the tool on purpose, its output is still marked simulated.
#include <gtest/gtest.h>

#include <string>

#include "HarnessRun.h"
#include "JsonDocuments.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

// Installs the build tree into `prefix`; `asTool` also installs the
// simulator as bin/isdct, as -DNIMBRA_INSTALL_SIM_AS_TOOL=ON would.
int Install(const std::string& prefix, bool asTool, std::string& log) {
  const std::string cmake = NIMBRA_CMAKE;
  if (!asTool) {
    return RunShell("'" + cmake + "' --install '" + BuildDir() + "' --prefix '" + prefix + "' 2>&1",
                    &log);
  }
  return RunShell("'" + cmake + "' -DNIMBRA_INSTALL_SIM_AS_TOOL=ON -DCMAKE_INSTALL_PREFIX='" +
                      prefix + "' -P '" + BuildDir() + "/cmake_install.cmake' 2>&1",
                  &log);
}

bool Exists(const std::string& path) { return RunShell("test -e '" + path + "'") == 0; }

TEST(Install, TheSimulatorIsTheToolOnlyWhenAskedFor) {
  HarnessRun h(DefaultFleet(2));
  // A sysfs tree with the PCI devices of the simulator's built-in fleet (four
  // drives): a machine with the drives.
  ASSERT_EQ(0, RunShell("env -u ISDCT_SIM_FLEET '" + Isdct() + "' sim-sysfs '" + h.dir() / "sys" +
                        "' >/dev/null"));
  const std::string plain = h.dir() / "plain";
  std::string log;
  ASSERT_EQ(0, Install(plain, false, log)) << log;
  EXPECT_TRUE(Exists(plain + "/bin/nimbra-host"));
  EXPECT_TRUE(Exists(plain + "/lib/nimbra/isdct-sim"));
  EXPECT_FALSE(Exists(plain + "/lib/nimbra/bin/isdct")) << "the simulator in the tool's place";

  // Without --simulate there is no tool to run: the drives are not shown.
  const std::string sysfs =
      " --config-dir '" + h.dir().path() + "' --sysfs-root '" + h.dir() / "sys" + "' ";
  const Result real = h.RunProgram(plain + "/bin/nimbra-host", sysfs + "show --json");
  EXPECT_EQ(2, real.status) << real.err;
  const Json failed = Document(real.out);
  EXPECT_FALSE(failed["simulated"].get<bool>());
  EXPECT_EQ(1u, failed["objects"].size()) << "only the plug-in object";
  EXPECT_EQ(std::string::npos, real.err.find("simulated")) << real.err;

  // --simulate finds the simulator under its own name.
  const Result simulated =
      h.RunProgram(plain + "/bin/nimbra-host", "--config-dir '" + h.dir().path() +
                                                   "' --simulate '" + h.Fleet() + "' show --json");
  ASSERT_EQ(0, simulated.status) << simulated.err;
  EXPECT_EQ(kSimulatedLine, simulated.err);
  const Json tree = Document(simulated.out);
  EXPECT_TRUE(tree["simulated"].get<bool>());
  EXPECT_EQ(5u, tree["objects"].size());
  std::string left;
  RunShell("ls '" + h.Tmp() + "'", &left);
  EXPECT_EQ("", left) << "the temporary tool folder is left behind";

  // Installed as the tool on purpose: it runs without --simulate, and its
  // output still says it is the simulator's.
  const std::string asTool = h.dir() / "as-tool";
  ASSERT_EQ(0, Install(asTool, true, log)) << log;
  EXPECT_TRUE(Exists(asTool + "/lib/nimbra/bin/isdct"));
  const Result posing = h.RunProgram(asTool + "/bin/nimbra-host", sysfs + "show --json");
  ASSERT_EQ(0, posing.status) << posing.err;
  EXPECT_EQ(kSimulatedLine, posing.err);
  const Json posed = Document(posing.out);
  EXPECT_TRUE(posed["simulated"].get<bool>());
  EXPECT_EQ(9u, posed["objects"].size());
}

}  // namespace
}  // namespace nimbra_test
