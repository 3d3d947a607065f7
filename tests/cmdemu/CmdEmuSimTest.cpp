// The command emulation end to end: the plug-in runs bin/isdct through the
// host's command execution, with the default fleet. Every fault of the
// simulator (a tool that prints nothing or exits non-zero on every command)
// is tested in tests/faults; the words the tool's records become are pinned
// by the golden document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;
using nimbra_test::TempDir;

class CmdEmuSim : public ::testing::Test {
 protected:
  void SetUp() override {
    api.m_ToolPath = nimbra_test::BuildDir() + "/bin/isdct";
    TLXX::CSystem::SetCommandTimeout(10000);  // a safeguard: no run here hangs
  }
  void TearDown() override {
    unsetenv("ISDCT_SIM_FLEET");
    TLXX::CSystem::SetCommandTimeout(120000);
  }
  void Fleet(const std::string& json) {
    dir.Write("fleet.json", json);
    setenv("ISDCT_SIM_FLEET", (dir / "fleet.json").c_str(), 1);
  }

  TempDir dir;
  IPLUGINAPI_IMPL api;
};

TEST_F(CmdEmuSim, DefaultFleet) {
  std::string version;
  EXPECT_EQ(0u, api.GetVersion(version));
  EXPECT_EQ("3.0.2", version);

  uint64_t count = 0;
  ASSERT_EQ(0u, api.GetAdapterCount(count));
  ASSERT_EQ(4u, count);
  ASSERT_EQ(4u, api.m_CmdEmuAdapters.size());
  for (size_t i = 0; i < 4; ++i) {
    CCmdEmuAdapter& r = api.m_CmdEmuAdapters[i];
    EXPECT_EQ(i, r.m_Index);
    EXPECT_EQ(i + 1, r.m_Number);
    const bool addInCard = i < 2;
    ASSERT_EQ(0u, api.GetLogPageInformation(r.m_Index, r.m_Getlog, addInCard)) << i;
    EXPECT_EQ(0u, r.m_Getlog.m_CriticalWarnings) << i;
    EXPECT_EQ(100, r.m_Getlog.m_AvailableSpare);
    EXPECT_EQ(10, r.m_Getlog.m_AvailableSpareThreshold);
    EXPECT_GT(r.m_Getlog.m_PowerOnHours, 0u);
    EXPECT_EQ(100u, r.m_Getlog.m_ThermalThrottleStatus);
    EXPECT_GE(r.m_Getlog.m_WearLevelingCount, 98u);
    const int margin = addInCard ? 5 : 14;
    EXPECT_GE(r.m_Getlog.m_CurrentTemperature, 28 + margin) << i;
    EXPECT_LE(r.m_Getlog.m_CurrentTemperature, 34 + margin) << i;
  }
  CCmdEmuGetlog log;
  EXPECT_EQ(PI::ERR_TOOL_FAILED, api.GetLogPageInformation(9, log, true)) << "no drive 9";
  EXPECT_EQ(10, log.m_CurrentTemperature);
}

TEST_F(CmdEmuSim, MaintenanceChangesTheDrive) {
  Fleet(R"({"drives": [{}, {}, {}]})");
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
}

}  // namespace
