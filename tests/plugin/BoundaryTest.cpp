// The plug-in boundary: command dispatch, emptying of output vectors on
// failure, routing, Initialize without hardware, IDs, lock flags and the
// ini setting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NimbraImpl.h"
#include "PI/ConfigFile.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLX/Trace.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using NAMESPACE_Nimbra::CIntelSSDAdapter;
using NAMESPACE_Nimbra::CIntelSSDPhysicalDrive;
using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using nimbra_test::TempDir;

constexpr uint64_t kFirstId = 0x0135000000000000ULL;

// A plug-in whose lock is ready and whose tree holds the plug-in object, two
// adapters and three drives (two of them behind adapter index 1), as a scan
// would leave it.
struct Tree {
  IPLUGINAPI_IMPL api;
  Tree() {
    api.m_DataLock.Init();
    api.m_EventsLock.Init();
    api.m_Plugin.m_ID = api.NewID();
    for (uint32_t index : {0u, 1u}) {
      CIntelSSDAdapter a;
      a.m_ID = api.NewID();
      a.m_Index = index;
      api.m_Adapters.push_back(a);
    }
    for (uint32_t index : {0u, 1u, 1u}) {
      CIntelSSDPhysicalDrive d;
      d.m_ID = api.NewID();
      d.m_AdapterIndex = index;
      api.m_PhysicalDrives.push_back(d);
    }
  }
};

TEST(Dispatch, UnknownCommandsAreRefusedAndTouchNothing) {
  IPLUGINAPI_IMPL api;
  for (int command : {0, 11, -1, 1000}) {
    std::vector<PI::CProperty> param(3);
    EXPECT_EQ(PI::ERR_UNKNOWN_COMMAND,
              api.Execute(static_cast<PI::_COMMAND>(command), kFirstId, &param))
        << command;
    EXPECT_EQ(3u, param.size());
  }
}

TEST(Dispatch, MissingParameterIsAnErrorNotACrash) {
  Tree t;
  for (int command = 1; command <= 10; ++command) {
    if (command == PI::CMD_DEINITIALIZE) continue;
    EXPECT_EQ(PI::ERR_GENERAL,
              t.api.Execute(static_cast<PI::_COMMAND>(command), t.api.m_Plugin.m_ID, nullptr))
        << command;
  }
}

// Unknown IDs: every command answers not found, and a vector to be filled
// is left empty.
TEST(Dispatch, UnknownIdsAreNotFound) {
  Tree t;
  const uint64_t unknown = kFirstId + 999;
  std::vector<PI::CProperty> properties(2);
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, t.api.Execute(PI::CMD_GET_PROPERTIES, unknown, &properties));
  EXPECT_TRUE(properties.empty());
  std::vector<PI::COperation> operations(2);
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, t.api.Execute(PI::CMD_GET_OPERATIONS, unknown, &operations));
  EXPECT_TRUE(operations.empty());
  PI::CProperty property;
  property.id = 30007;
  PI::COperation operation;
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, t.api.Execute(PI::CMD_GET_PROPERTY, unknown, &property));
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, t.api.Execute(PI::CMD_SET_PROPERTY, unknown, &property));
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, t.api.Execute(PI::CMD_CHECK_OPERATION, unknown, &operation));
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND,
            t.api.Execute(PI::CMD_EXECUTE_OPERATION, unknown, &operation));
  EXPECT_EQ(30007, property.id);
}

// GetProperty counts every read on the object it resolved to, so the change
// counters show which object each ID was routed to.
TEST(Routing, GetPropertyCountsReadsOnTheResolvedObject) {
  Tree t;
  std::vector<std::pair<std::string, PI::CObject*>> objects = {
      {"plugin", &t.api.m_Plugin},
      {"adapter 0", &t.api.m_Adapters[0]},
      {"adapter 1", &t.api.m_Adapters[1]},
      {"drive 0", &t.api.m_PhysicalDrives[0]},
      {"drive 2", &t.api.m_PhysicalDrives[2]},
  };
  for (auto& [name, object] : objects) {
    std::vector<uint64_t> before;
    for (auto& entry : objects) before.push_back(entry.second->m_ChangeCount);
    PI::CProperty property;
    property.id = 30007;
    t.api.Execute(PI::CMD_GET_PROPERTY, object->m_ID, &property);
    for (size_t i = 0; i < objects.size(); ++i) {
      const uint64_t expected = before[i] + (objects[i].second == object ? 1 : 0);
      EXPECT_EQ(expected, objects[i].second->m_ChangeCount) << name << " -> " << objects[i].first;
    }
  }
}

TEST(Routing, ThePluginObjectWinsOverAnAdapterWithTheSameId) {
  Tree t;
  t.api.m_Adapters[0].m_ID = t.api.m_Plugin.m_ID;
  PI::CProperty property;
  t.api.Execute(PI::CMD_GET_PROPERTY, t.api.m_Plugin.m_ID, &property);
  EXPECT_EQ(1u, t.api.m_Plugin.m_ChangeCount);
  EXPECT_EQ(0u, t.api.m_Adapters[0].m_ChangeCount);
}

// Property reads of any object but the plug-in object trace the sizes of
// both lists, an unknown ID included.
TEST(Routing, PropertyReadsTraceTheListSizesForEveryIdButThePlugins) {
  Tree t;
  const TempDir dir;
  TLX::Internals::SetTraceFile(dir / "trace.log");
  TLX::Misc::SetModuleTraceMask("Nimbra", 4);
  const uint64_t unknown = kFirstId + 99;
  for (uint64_t id :
       {t.api.m_Plugin.m_ID, t.api.m_Adapters[1].m_ID, t.api.m_PhysicalDrives[2].m_ID, unknown}) {
    std::vector<PI::CProperty> properties;
    t.api.Execute(PI::CMD_GET_PROPERTIES, id, &properties);
    PI::CProperty property;
    property.id = 30007;
    t.api.Execute(PI::CMD_GET_PROPERTY, id, &property);
  }
  TLX::Misc::SetModuleTraceMask("Nimbra", 0);
  TLX::Internals::SetTraceFile("");
  const std::string trace = nimbra_test::ReadFile(dir / "trace.log");
  for (const char* line : {"GetProperties() Adapter = 2", "GetProperties() PhysicalDrives = 3",
                           "GetProperty() Adapter = 2", "GetProperty() PhysicalDrives = 3"}) {
    size_t count = 0;
    for (size_t at = trace.find(line); at != std::string::npos; at = trace.find(line, at + 1)) {
      ++count;
    }
    EXPECT_EQ(3u, count) << line << " once per ID but the plug-in object's\n" << trace;
  }
}

TEST(Ids, CarryTheModuleNumberAndCountFromZero) {
  IPLUGINAPI_IMPL api;
  EXPECT_EQ(kFirstId, api.NewID());
  EXPECT_EQ(kFirstId + 1, api.NewID());
  EXPECT_EQ(kFirstId + 2, api.NewID());
  IPLUGINAPI_IMPL other;
  EXPECT_EQ(kFirstId, other.NewID()) << "each interface object has its own sequence";
}

TEST(LockFlags, SelectObjectsAsRequested) {
  struct Case {
    int adapterIndex;
    int driveSelector;
    uint8_t plugin;
    std::vector<uint8_t> drives;
  };
  const Case cases[] = {
      {-1, 0, 1, {0, 0, 0}},                         // the plug-in object alone
      {-1, -1, 1, {0, 0, 0}}, {1, 0, 0, {0, 1, 0}},  // the first drive of adapter 1 only
      {1, -1, 0, {0, 1, 1}},                         // every drive of adapter 1
      {0, -1, 0, {1, 0, 0}},  {7, 0, 0, {0, 0, 0}},  // no such adapter: nothing changes
  };
  for (const Case& c : cases) {
    Tree t;
    for (auto& a : t.api.m_Adapters) a.m_Locked = 1;  // cleared only by the -1 form
    EXPECT_EQ(0u, t.api.LockObjects(c.adapterIndex, c.driveSelector));
    EXPECT_EQ(c.plugin, t.api.m_Plugin.m_Locked) << c.adapterIndex << "," << c.driveSelector;
    for (size_t i = 0; i < c.drives.size(); ++i) {
      EXPECT_EQ(c.drives[i], t.api.m_PhysicalDrives[i].m_Locked)
          << c.adapterIndex << "," << c.driveSelector << " drive " << i;
    }
    for (auto& a : t.api.m_Adapters) {
      EXPECT_EQ(c.adapterIndex < 0 ? 0 : 1, a.m_Locked) << "adapters are never set locked";
    }
    t.api.UnlockObjects();
    EXPECT_EQ(0, t.api.m_Plugin.m_Locked);
    for (auto& a : t.api.m_Adapters) EXPECT_EQ(0, a.m_Locked);
    for (auto& d : t.api.m_PhysicalDrives) EXPECT_EQ(0, d.m_Locked);
  }
}

TEST(PollInterval, TextIsConvertedAndClamped) {
  struct Case {
    const char* text;
    uint32_t expected;
  };
  const Case cases[] = {
      {"30", 30},    {"2", 2}, {"255", 255}, {"0", 2},      {"1", 2},  {"256", 255},
      {"4000", 255}, {"", 30}, {"abc", 30},  {"12abc", 30}, {" 7", 7}, {"99999999999", 30},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, NAMESPACE_Nimbra::PollIntervalFromText(c.text)) << '"' << c.text << '"';
  }
  // A negative number is either refused (default) or clamped, never below 2.
  const uint32_t negative = NAMESPACE_Nimbra::PollIntervalFromText("-5");
  EXPECT_TRUE(negative == 30 || negative == 255) << negative;
}

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override { PI::CConfigFile::SetConfigDirectory(dir.path()); }
  void TearDown() override { PI::CConfigFile::SetConfigDirectory("."); }
  uint32_t Constructed() { return IPLUGINAPI_IMPL().m_PollInterval; }
  TempDir dir;
};

// The text rules are PollIntervalFromText's; here the file is found and read.
TEST_F(IniFile, ConstructorReadsThePollInterval) {
  EXPECT_EQ(30u, Constructed()) << "no file";
  dir.Write("Nimbra.ini", "Other=1\nPollInterval=45\n");
  EXPECT_EQ(45u, Constructed());
  dir.Write("Nimbra.ini", "PollInterval=1\n");
  EXPECT_EQ(2u, Constructed());
}

TEST_F(IniFile, AFolderInPlaceOfTheFileGivesTheDefault) {
  dir.Write("Nimbra.ini/inner", "PollInterval=45\n");
  EXPECT_EQ(30u, Constructed());
}

TEST(Initialize, WithoutSupportedHardwareReportsCountZeroAndRunsNoTool) {
  TempDir sysfs;
  nimbra_test::AddPciDevice(sysfs.path(), "0000:03:00.0", "0x8086", "0x0a54");  // another device
  TLXX::CSystem::SetSysfsRoot(sysfs.path());
  IPLUGINAPI_IMPL api;
  std::vector<PI::CAdapterID> ids(2);
  testing::internal::CaptureStdout();
  EXPECT_EQ(PI::ERR_NO_SUPPORTED_HARDWARE, api.Execute(PI::CMD_INITIALIZE, 0, &ids));
  EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", testing::internal::GetCapturedStdout());
  EXPECT_TRUE(ids.empty());
  EXPECT_TRUE(api.m_ToolPath.empty()) << "the tool is located only after the hardware check";
  TLXX::CSystem::SetSysfsRoot("/sys");
}

TEST(Objects, CopyTakesTheValuesButKeepsIdentityCountAndLinks) {
  CIntelSSDAdapter a;
  a.m_ID = kFirstId + 5;
  a.m_HealthReasons = {40459, 40449};
  a.m_Temperature = 31.5f;
  a.AddChild(kFirstId + 6);
  CIntelSSDAdapter live;
  live.m_ID = kFirstId + 1;
  live.m_ChangeCount = 4;
  live.Copy(a);
  EXPECT_EQ(kFirstId + 1, live.m_ID);
  EXPECT_EQ(4u, live.m_ChangeCount);
  EXPECT_TRUE(live.m_Children.empty());
  EXPECT_EQ(a.m_HealthReasons, live.m_HealthReasons);
  EXPECT_FLOAT_EQ(31.5f, live.m_Temperature);
}

}  // namespace
