// The maintenance commands end to end: the plug-in runs bin/isdct through
// the host's command execution. Every fault of the simulator on every
// command is in tests/faults; the inventory's and health pages' words are
// pinned by the golden document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;
TEST(CmdEmuSim, MaintenanceChangesTheDrive) {
  nimbra_test::TempDir dir;
  setenv("ISDCT_SIM_FLEET", dir.Write("fleet.json", R"({"drives": [{}, {}, {}]})").c_str(), 1);
  TLXX::CSystem::SetCommandTimeout(10000);  // a safeguard: no run here hangs
  IPLUGINAPI_IMPL api;
  api.m_ToolPath = nimbra_test::BuildDir() + "/bin/isdct";
  EXPECT_EQ(0u, api.CmdEmu_set(2, "MaximumLBA", 2, 50));  // "MaximumLBA=X50"
  EXPECT_EQ(0u, api.CmdEmu_format(1, 0));
  EXPECT_EQ(0u, api.CmdEmu_delete(0));
  EXPECT_EQ(0u, api.CmdEmu_set(0, "MaximumLBA", 4, 12345));  // "MaximumLBA=native"
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.CmdEmu_set(0, "MaximumLBA", 0, 1)) << "no setting text";
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.CmdEmu_set(0, "MaximumLBA", 5, 1));
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.CmdEmu_set(7, "MaximumLBA", 4, 0)) << "invalid index";
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.CmdEmu_format(7, 0));
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.CmdEmu_delete(7));
  uint64_t count = 0;
  ASSERT_EQ(0u, api.GetAdapterCount(count));
  EXPECT_EQ(api.m_CmdEmuAdapters[2].m_NativeMaxLBA / 2, api.m_CmdEmuAdapters[2].m_MaximumLBA);
  unsetenv("ISDCT_SIM_FLEET");
  TLXX::CSystem::SetCommandTimeout(120000);
}

}  // namespace
