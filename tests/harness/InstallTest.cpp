// "cmake --install" into a fresh prefix gives the layout the programs expect
// of each other, and the installed harness runs from there, against the
// installed simulator, with nothing of the build tree.
#include <gtest/gtest.h>

#include <string>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

TEST(Install, InstalledHarnessRunsFromItsPrefix) {
  nimbra_test::TempDir prefix;
  std::string log;
  ASSERT_EQ(0, nimbra_test::RunShell(std::string("'") + NIMBRA_CMAKE_COMMAND + "' --install '" +
                                         nimbra_test::BuildDir() + "' --prefix '" + prefix.path() +
                                         "' 2>&1",
                                     &log))
      << log;

  for (const char* file : {"lib/nimbra/nimbra-host", "lib/nimbra/libNimbra.so",
                           "lib/nimbra/libhostfw.so", "lib/nimbra/bin/isdct"}) {
    EXPECT_EQ(0, nimbra_test::RunShell("test -f '" + prefix / file + "'")) << file;
  }
  std::string link;
  nimbra_test::RunShell("readlink '" + prefix / "bin/nimbra-host" + "'", &link);
  EXPECT_EQ("../lib/nimbra/nimbra-host\n", link);

  // Shared libraries resolve inside the prefix.
  for (const char* file : {"lib/nimbra/nimbra-host", "lib/nimbra/libNimbra.so"}) {
    std::string resolved;
    nimbra_test::RunShell("ldd '" + prefix / file + "' | grep libhostfw", &resolved);
    EXPECT_NE(std::string::npos, resolved.find("=> " + prefix / "lib/nimbra/libhostfw.so"))
        << file << ": " << resolved;
  }

  // Run through the link, from elsewhere, with the built-in fleet.
  HarnessRun h(DefaultFleet(1));
  std::string out;
  const int status =
      nimbra_test::RunShell("cd / && env -u LD_LIBRARY_PATH -u ISDCT_SIM_FLEET TMPDIR='" + h.Tmp() +
                                "' '" + prefix / "bin/nimbra-host" + "' --config-dir '" +
                                h.dir().path() + "' --settle 10 --simulate show 2>&1",
                            &out);
  EXPECT_EQ(0, status) << out;
  EXPECT_EQ(0u, out.find("plug-in 0x0135000000000000  Nimbra-Plugin")) << out;
  EXPECT_NE(std::string::npos, out.find("drive 0x0135000000000008  Torvik 2.5in 2TB (0)")) << out;
}

}  // namespace
}  // namespace nimbra_test
