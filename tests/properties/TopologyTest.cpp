// GetTopology: the plug-in object, then the adapters, then the drives, each
// with the properties and operations its own handlers give, the caller's
// vector emptied first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fixtures.h"

namespace nimbra_test {
namespace {

// Kind, ID, counters, flag and links of an object, as one line.
std::string Identity(const PI::CObject& o) {
  std::string text = std::to_string(o.m_Kind) + " " + std::to_string(o.m_ID) + " changes " +
                     std::to_string(o.m_ChangeCount) + (o.m_Locked ? " locked" : "") + " parents";
  for (const uint64_t id : o.m_Parents) text += " " + std::to_string(id);
  text += " children";
  for (const uint64_t id : o.m_Children) text += " " + std::to_string(id);
  return text;
}

TEST(Topology, PluginThenAdapterThenDriveWithTheirOwnLists) {
  // A plug-in as Initialize and a scan leave it, with one pair changed and
  // locked (the golden document shows the order and lists of a whole fleet).
  Plugin p;
  IPLUGINAPI_IMPL& api = *p.api;
  api.m_DataLock.Init();
  api.m_EventsLock.Init();
  api.m_Plugin.m_ID = api.NewID();
  api.m_Plugin.m_Kind = 19006;
  api.m_ToolVersion = "3.0.2";
  CIntelSSDAdapter a = FreshCard();
  CIntelSSDPhysicalDrive d = CardDrive();
  a.m_ID = api.NewID();
  d.m_ID = api.NewID();
  api.m_Plugin.AddChild(a.m_ID);
  a.AddParent(api.m_Plugin.m_ID);
  a.AddChild(d.m_ID);
  d.AddParent(a.m_ID);
  a.m_ChangeCount = 7;
  d.m_Locked = 1;
  api.m_Adapters = {a};
  api.m_PhysicalDrives = {d};

  std::vector<PI::CObject> out(4);  // a vector that held records before
  EXPECT_EQ(0u, api.GetTopology(out));
  ASSERT_EQ(3u, out.size());
  std::vector<PI::CProperty> properties;
  api.GetPluginProperties(api.m_Plugin, properties, PI::PROP_ALL);
  EXPECT_EQ(Identity(api.m_Plugin), Identity(out[0]));
  EXPECT_EQ(Rows(properties), Rows(out[0].m_Properties));
  ASSERT_EQ(1u, out[0].m_Operations.size());
  EXPECT_EQ(50002, out[0].m_Operations[0].id);
  api.GetAdapterProperties(a, properties, PI::PROP_ALL);
  EXPECT_EQ(Identity(a), Identity(out[1]));
  EXPECT_EQ(Rows(properties), Rows(out[1].m_Properties));
  EXPECT_TRUE(out[1].m_Operations.empty());
  api.GetPhysicalDriveProperties(d, properties, PI::PROP_ALL);
  EXPECT_EQ(Identity(d), Identity(out[2]));
  EXPECT_EQ(Rows(properties), Rows(out[2].m_Properties));
  EXPECT_TRUE(out[2].m_Operations.empty());
  // The managed objects themselves carry no lists.
  EXPECT_TRUE(api.m_Plugin.m_Properties.empty());
  EXPECT_TRUE(api.m_Adapters[0].m_Properties.empty());
}

}  // namespace
}  // namespace nimbra_test
