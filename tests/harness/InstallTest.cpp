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

TEST(Install, TheSimulatorIsTheToolOnlyWhenAskedFor) {
  HarnessRun h(DefaultFleet(2));
  // A sysfs tree with the PCI devices of the simulator's built-in fleet (four
  // drives): a machine with the drives.
  ASSERT_EQ(0, RunShell("env -u ISDCT_SIM_FLEET '" + Isdct() + "' sim-sysfs '" + h.dir() / "sys" +
                        "' >/dev/null"));
  const std::string cmake = "'" NIMBRA_CMAKE "' ", prefix = h.dir() / "usr";
  const std::string host = prefix + "/bin/nimbra-host", config = " --config-dir . ";
  const std::string sysfs = config + "--sysfs-root sys show --json";
  std::string log;
  ASSERT_EQ(0,
            RunShell(cmake + "--install '" + BuildDir() + "' --prefix '" + prefix + "' 2>&1 && " +
                         "test -x '" + prefix + "/lib/nimbra/isdct-sim' && ! test -e '" + prefix +
                         "/lib/nimbra/bin/isdct'",
                     &log))
      << log;

  // Without --simulate there is no tool to run: the drives are not shown.
  const Result real = h.RunPlain(sysfs, host);
  EXPECT_EQ(2, real.status) << real.err;
  const Json failed = Document(real.out);
  EXPECT_EQ(false, failed["simulated"]);
  EXPECT_EQ(1u, failed["objects"].size()) << "only the plug-in object";
  EXPECT_EQ(std::string::npos, real.err.find("simulated")) << real.err;

  // --simulate finds the simulator under its own name, in a temporary tool
  // folder that goes again.
  const Result simulated = h.RunPlain(config + "--simulate fleet.json show --json", host);
  ASSERT_EQ(0, simulated.status) << simulated.err;
  EXPECT_EQ(kSimulatedLine, simulated.err);
  EXPECT_EQ(true, Document(simulated.out)["simulated"]);
  EXPECT_EQ(0, RunShell("test -z \"$(ls '" + h.Tmp() + "')\"")) << "the tool folder is left";

  // Installed as the tool on purpose: it runs without --simulate, and its
  // output still says it is the simulator's.
  ASSERT_EQ(0, RunShell(cmake + "-DNIMBRA_INSTALL_SIM_AS_TOOL=ON -DCMAKE_INSTALL_PREFIX='" +
                            prefix + "' -P '" + BuildDir() + "/cmake_install.cmake' 2>&1",
                        &log))
      << log;
  const Result posing = h.RunPlain(sysfs, host);
  ASSERT_EQ(0, posing.status) << posing.err;
  EXPECT_EQ(kSimulatedLine, posing.err);
  const Json posed = Document(posing.out);
  EXPECT_EQ(true, posed["simulated"]);
  EXPECT_EQ(9u, posed["objects"].size()) << "the built-in fleet";
}

}  // namespace
}  // namespace nimbra_test
