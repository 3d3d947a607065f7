// The plug-in object: its tool version, and the poll-interval write (clamped
// to the limits the record carries, counted, written to Nimbra.ini, waking
// the worker). A write that cannot reach the file is in tests/environment;
// operations and refused writes are in tests/plugin.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"

namespace nimbra_test {
namespace {

std::vector<std::string> Properties(IPLUGINAPI_IMPL& api, int32_t which) {
  std::vector<PI::CProperty> out(4);  // a vector that held records before
  EXPECT_EQ(0u, api.GetPluginProperties(api.m_Plugin, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Rows(out);
}

using nimbra_test::ReadFile;

// The words of the six records are pinned by the golden document, which has
// a tool; without one the tool version is left out.
TEST(PluginProperties, TheToolVersionIsLeftOutWithoutATool) {
  Plugin p;
  p.api->m_ToolVersion = "3.0.2";
  std::vector<std::string> expected = Properties(*p.api, PI::PROP_ALL);
  ASSERT_EQ(6u, expected.size());
  EXPECT_EQ("30004 2 1 0 0 ro | \"3.0.2\"", expected[4]);
  p.api->m_ToolVersion.clear();
  expected.erase(expected.begin() + 4);
  EXPECT_EQ(expected, Properties(*p.api, PI::PROP_ALL));
  EXPECT_TRUE(Properties(*p.api, 30004).empty());
}

TEST(PluginProperties, PollIntervalIsClampedToTheLimitsTheRecordCarries) {
  struct Row {
    int value, min, max;
    int stored;
  };
  // Limits the host sends back with the value do not take the worker outside
  // 2..255 s.
  const Row rows[] = {
      {10, 2, 255, 10},
      {1, 2, 255, 2},
      {300, 2, 255, 255},
      {7, 5, 10, 7},
      {3, 5, 10, 5},
      {50, 0, 20, 20},
      {0, 0, 1000, 2},
      {-1, INT_MIN, INT_MAX, 2},
      {600, INT_MIN, 300, 255},
      {INT_MAX, 0, INT_MAX, 255},
      {2, 2, 255, 2},
  };
  Plugin p;
  p.api->m_PrivateEvent.Init(false, false);
  uint64_t changes = p.api->m_Plugin.m_ChangeCount;
  for (const Row& r : rows) {
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(30005), true);
    property.SetValue(r.value, r.min, r.max, 1);
    EXPECT_EQ(0u, p.api->SetPluginProperty(p.api->m_Plugin, property)) << r.value;
    EXPECT_EQ(static_cast<uint32_t>(r.stored), p.api->m_PollInterval.load()) << r.value;
    EXPECT_EQ(++changes, p.api->m_Plugin.m_ChangeCount);
    EXPECT_EQ("PollInterval=" + std::to_string(r.stored) + "\n", ReadFile(p.config / "Nimbra.ini"));
    EXPECT_TRUE(p.api->m_PrivateEvent.IsSet()) << "the worker is not woken";
    p.api->m_PrivateEvent.Reset();
    const std::vector<std::string> read = Properties(*p.api, 30005);
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ("30005 6 21007 0 0 rw | " + std::to_string(r.stored) + " in 2..255/1", read[0]);
  }
  // A new plug-in reads the interval back from the file.
  IPLUGINAPI_IMPL next;
  EXPECT_EQ(2u, next.m_PollInterval.load());
}

}  // namespace
}  // namespace nimbra_test
