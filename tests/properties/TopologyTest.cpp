// GetTopology: the plug-in object, then the adapters, then the drives, each
// with the properties and operations its own handlers give, the caller's
// vector emptied first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"
#include "TLXX/System.h"

namespace nimbra_test {
namespace {

// A plug-in as Initialize and a scan leave it: two adapters, two drives.
struct Tree : Plugin {
  Tree() {
    api->m_DataLock.Init();
    api->m_EventsLock.Init();
    api->m_Plugin.m_ID = api->NewID();
    api->m_Plugin.m_Kind = 19006;
    api->m_ToolVersion = "3.0.2";
    CIntelSSDAdapter card = HealthyCard();
    CIntelSSDAdapter small = FreshCard();
    CIntelSSDPhysicalDrive cardDrive = CardDrive();
    CIntelSSDPhysicalDrive smallDrive = TwoAndAHalfDrive();
    card.m_ID = api->NewID();
    cardDrive.m_ID = api->NewID();
    small.m_ID = api->NewID();
    smallDrive.m_ID = api->NewID();
    smallDrive.m_Locked = 1;
    small.m_ChangeCount = 7;
    for (auto* pair : {&card, &small}) {
      api->m_Plugin.AddChild(pair->m_ID);
      pair->AddParent(api->m_Plugin.m_ID);
    }
    card.AddChild(cardDrive.m_ID);
    cardDrive.AddParent(card.m_ID);
    small.AddChild(smallDrive.m_ID);
    smallDrive.AddParent(small.m_ID);
    api->m_Adapters = {card, small};
    api->m_PhysicalDrives = {cardDrive, smallDrive};
  }
};

// Kind, ID, counters, flag and links of an object, as one line.
std::string Identity(const PI::CObject& o) {
  std::string text = std::to_string(o.m_Kind) + " " + std::to_string(o.m_ID) + " changes " +
                     std::to_string(o.m_ChangeCount) + (o.m_Locked ? " locked" : "") + " parents";
  for (const uint64_t id : o.m_Parents) text += " " + std::to_string(id);
  text += " children";
  for (const uint64_t id : o.m_Children) text += " " + std::to_string(id);
  return text;
}

TEST(Topology, PluginThenAdaptersThenDrivesWithTheirOwnLists) {
  Tree t;
  IPLUGINAPI_IMPL& api = *t.api;
  std::vector<PI::CObject> out(3);  // a vector that held records before
  EXPECT_EQ(0u, api.GetTopology(out));
  ASSERT_EQ(5u, out.size());

  std::vector<PI::CProperty> properties;
  std::vector<PI::COperation> operations;
  api.GetPluginProperties(api.m_Plugin, properties, PI::PROP_ALL);
  api.GetPluginOperations(api.m_Plugin, operations);
  EXPECT_EQ(Identity(api.m_Plugin), Identity(out[0]));
  EXPECT_EQ(Rows(properties), Rows(out[0].m_Properties));
  ASSERT_EQ(1u, out[0].m_Operations.size());
  EXPECT_EQ(50002, out[0].m_Operations[0].id);
  for (size_t i = 0; i < 2; ++i) {
    CIntelSSDAdapter& a = api.m_Adapters[i];
    api.GetAdapterProperties(a, properties, PI::PROP_ALL);
    EXPECT_EQ(Identity(a), Identity(out[1 + i])) << i;
    EXPECT_EQ(Rows(properties), Rows(out[1 + i].m_Properties)) << i;
    EXPECT_TRUE(out[1 + i].m_Operations.empty());
    CIntelSSDPhysicalDrive& d = api.m_PhysicalDrives[i];
    api.GetPhysicalDriveProperties(d, properties, PI::PROP_ALL);
    EXPECT_EQ(Identity(d), Identity(out[3 + i])) << i;
    EXPECT_EQ(Rows(properties), Rows(out[3 + i].m_Properties)) << i;
    EXPECT_TRUE(out[3 + i].m_Operations.empty());
  }
  // The managed objects themselves carry no lists.
  EXPECT_TRUE(api.m_Plugin.m_Properties.empty());
  EXPECT_TRUE(api.m_Adapters[0].m_Properties.empty());
}

TEST(Topology, AfterAFailedInitializeOnlyThePluginObject) {
  Plugin p;
  nimbra_test::TempDir sysfs;  // no PCI device at all
  TLXX::CSystem::SetSysfsRoot(sysfs.path());
  std::vector<PI::CAdapterID> ids;
  EXPECT_EQ(PI::ERR_NO_SUPPORTED_HARDWARE, p.api->Initialize(ids));
  TLXX::CSystem::SetSysfsRoot("");
  std::vector<PI::CObject> out(2);
  EXPECT_EQ(0u, p.api->GetTopology(out));
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ(6u - 1u, out[0].m_Properties.size()) << "no tool version without a tool";
  EXPECT_EQ(1u, out[0].m_Operations.size());
}

}  // namespace
}  // namespace nimbra_test
