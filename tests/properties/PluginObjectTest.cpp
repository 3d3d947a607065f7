// The plug-in object: selection of its six properties, the poll-interval
// write (clamped to the limits the record carries, counted, written to
// Nimbra.ini, waking the worker), and its one operation. A write that cannot
// reach the file is in tests/environment.
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

// The words of the six records are pinned by the golden document.
TEST(PluginProperties, SelectionAndTheToolVersionLeftOutWithoutATool) {
  Plugin p;
  p.api->m_ToolVersion = "3.0.2";
  const std::vector<std::string> all = Properties(*p.api, PI::PROP_ALL);
  ASSERT_EQ(6u, all.size());
  for (const std::string& r : all) {
    EXPECT_EQ(std::vector<std::string>{r}, Properties(*p.api, std::stoi(r.substr(0, 5))));
  }
  for (const int32_t id : {0, 2, 30006, 30017, 30442, -1}) {
    EXPECT_TRUE(Properties(*p.api, id).empty()) << id;
  }
  EXPECT_EQ("30004 2 1 0 0 ro | \"3.0.2\"", all[4]);
  p.api->m_ToolVersion.clear();
  std::vector<std::string> expected = all;
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

TEST(PluginProperties, OnlyThePollIntervalIsWritable) {
  Plugin p;
  for (const int32_t id : {30137, 30007, 30099, 30003, 30004, 0, 30486}) {
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(id), true);
    property.SetValue(10, 2, 255, 1);
    EXPECT_EQ(PI::ERR_PROPERTY_NOT_SETTABLE, p.api->SetPluginProperty(p.api->m_Plugin, property))
        << id;
  }
  EXPECT_EQ(30u, p.api->m_PollInterval.load());
  EXPECT_EQ(0u, p.api->m_Plugin.m_ChangeCount);
  EXPECT_FALSE(nimbra_test::RunShell("test -e '" + p.config / "Nimbra.ini" + "'") == 0);
}

// The fetch itself, emptying the queue, is in tests/scan (ChangeTest).
TEST(PluginOperations, CheckAcceptsAllExecuteKnowsOnlyTheFetch) {
  Plugin p;
  p.api->m_EventsLock.Init();
  PI::CEvent event;
  event.m_EventID = 10960;
  p.api->m_Events = {event, event};
  for (const int32_t id : {50002, 50003, 50026, 0, -1}) {
    PI::COperation op;
    op.id = id;
    EXPECT_EQ(0u, p.api->CheckPluginOperation(p.api->m_Plugin, op)) << id;
  }
  for (const int32_t id : {50003, 50026, 0}) {
    PI::COperation op;
    op.id = id;
    EXPECT_EQ(PI::ERR_OPERATION_NOT_SUPPORTED, p.api->ExecutePluginOperation(p.api->m_Plugin, op));
    EXPECT_EQ(2u, p.api->m_Events.size()) << "the queue is untouched by " << id;
  }
  PI::COperation fetch;
  fetch.id = 50002;
  EXPECT_EQ(0u, p.api->ExecutePluginOperation(p.api->m_Plugin, fetch));
  EXPECT_EQ(2u, fetch.GetEvents().size());
}

}  // namespace
}  // namespace nimbra_test
