// The plug-in boundary: command dispatch, emptying of output vectors on
// failure, and the lock flags.
#include <gtest/gtest.h>

#include <vector>

#include "NimbraImpl.h"
#include "PI/Status.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;

constexpr uint64_t kFirstId = 0x0135000000000000ULL;

// A plug-in whose locks are ready and whose tree holds the plug-in object,
// two adapters and three drives (two of them behind adapter index 1), as a
// scan would leave it.
struct Tree {
  IPLUGINAPI_IMPL api;
  std::vector<PI::CObject*> objects;  // plug-in, adapters, drives
  Tree() {
    api.m_DataLock.Init();
    api.m_EventsLock.Init();
    api.m_Plugin.m_ID = api.NewID();
    api.m_Adapters.resize(2);
    api.m_PhysicalDrives.resize(3);
    objects.push_back(&api.m_Plugin);
    for (uint32_t i = 0; i < 2; ++i) api.m_Adapters[i].m_Index = i;
    for (uint32_t i = 0; i < 3; ++i) api.m_PhysicalDrives[i].m_AdapterIndex = i == 0 ? 0 : 1;
    for (auto& a : api.m_Adapters) objects.push_back(&a);
    for (auto& d : api.m_PhysicalDrives) objects.push_back(&d);
    for (size_t i = 1; i < objects.size(); ++i) objects[i]->m_ID = api.NewID();
  }
};

// Unknown commands touch nothing; a missing parameter is an error, not a
// crash; an unknown ID is not found and a vector to be filled is emptied.
TEST(Dispatch, UnknownCommandsMissingParametersAndUnknownIds) {
  Tree t;
  for (int command : {0, 11, -1, 1000}) {
    std::vector<PI::CProperty> param(3);
    EXPECT_EQ(PI::ERR_UNKNOWN_COMMAND,
              t.api.Execute(static_cast<PI::_COMMAND>(command), kFirstId, &param));
    EXPECT_EQ(3u, param.size()) << command;
  }
  for (int command = 1; command <= 10; ++command) {
    if (command == PI::CMD_DEINITIALIZE) continue;
    EXPECT_EQ(PI::ERR_GENERAL, t.api.Execute(static_cast<PI::_COMMAND>(command), kFirstId, nullptr))
        << command;
  }
  std::vector<PI::CProperty> properties(2);
  std::vector<PI::COperation> operations(2);
  PI::CProperty property;
  property.id = 30007;
  PI::COperation operation;
  void* const params[] = {&properties, &property, &property, &operations, &operation, &operation};
  for (int command = PI::CMD_GET_PROPERTIES; command <= PI::CMD_EXECUTE_OPERATION; ++command) {
    EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND,
              t.api.Execute(static_cast<PI::_COMMAND>(command), kFirstId + 999,
                            params[command - PI::CMD_GET_PROPERTIES]))
        << command;
  }
  EXPECT_TRUE(properties.empty());
  EXPECT_TRUE(operations.empty());
  EXPECT_EQ(30007, property.id);
}

// Operations and property writes by kind of object: the plug-in offers the
// event fetch, checks every operation and executes only the fetch; adapters
// offer none and accept every one, doing nothing; a drive's check follows
// its state and it executes none. No write here changes anything (the
// plug-in's one writable property is in tests/properties). GetTopology
// empties the caller's vector and lists plug-in, adapters, then drives.
TEST(Dispatch, OperationsWritesAndTopologyByObjectKind) {
  Tree t;
  const uint32_t states[] = {40099, 40180, 40095};  // good, warning, failed
  for (size_t i = 0; i < 3; ++i) t.api.m_PhysicalDrives[i].m_State = states[i];
  PI::CEvent event;
  event.m_EventID = 10960;
  t.api.m_Events = {event, event};
  const PI::_COMMAND kCheck = PI::CMD_CHECK_OPERATION, kRun = PI::CMD_EXECUTE_OPERATION,
                     kSet = PI::CMD_SET_PROPERTY;
  const uint32_t kRejected = PI::ERR_OPERATION_REJECTED, kNo = PI::ERR_OPERATION_NOT_SUPPORTED,
                 kFixed = PI::ERR_PROPERTY_NOT_SETTABLE;
  struct Row {
    size_t object;  // 0 plug-in, 1-2 adapters, 3-5 drives in the order of `states`
    PI::_COMMAND command;
    int32_t id;
    uint32_t status;
  };
  const Row rows[] = {
      {0, kCheck, 50002, 0},    {0, kCheck, 50026, 0},         {0, kCheck, -1, 0},
      {0, kRun, 50003, kNo},    {0, kRun, 50026, kNo},         {0, kRun, 0, kNo},
      {1, kCheck, 50002, 0},    {1, kCheck, 50026, 0},         {2, kCheck, -1, 0},
      {1, kRun, 50002, 0},      {1, kRun, 50026, 0},           {2, kRun, -1, 0},
      {3, kCheck, 50026, 0},    {4, kCheck, 50026, kRejected}, {5, kCheck, 50026, kRejected},
      {4, kCheck, 50002, 0},    {3, kRun, 50026, kNo},         {4, kRun, 50002, kNo},
      {0, kSet, 30137, kFixed}, {0, kSet, 30007, kFixed},      {0, kSet, 30004, kFixed},
      {0, kSet, 0, kFixed},     {0, kSet, 30486, kFixed},      {1, kSet, 30007, kFixed},
      {1, kSet, 30005, kFixed}, {1, kSet, 30486, kFixed},      {3, kSet, 30007, kFixed},
      {3, kSet, 30017, kFixed}, {3, kSet, 30005, kFixed},
  };
  for (const Row& r : rows) {
    PI::COperation op;
    op.id = r.id;
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(r.id), true);
    property.SetValue(10, 2, 255, 1);
    void* param = r.command == kSet ? static_cast<void*>(&property) : &op;
    EXPECT_EQ(r.status, t.api.Execute(r.command, t.objects[r.object]->m_ID, param))
        << "object " << r.object << " command " << r.command << " id " << r.id;
    EXPECT_TRUE(op.GetEvents().empty());
  }
  EXPECT_EQ(2u, t.api.m_Events.size()) << "only the fetch empties the queue";
  for (const PI::CObject* o : t.objects) EXPECT_EQ(0u, o->m_ChangeCount) << o->m_ID;
  for (const size_t i : {0, 1, 3}) {
    std::vector<PI::COperation> offered(2);
    EXPECT_EQ(0u, t.api.Execute(PI::CMD_GET_OPERATIONS, t.objects[i]->m_ID, &offered));
    std::vector<int32_t> ids;
    for (const PI::COperation& op : offered) ids.push_back(op.id);
    EXPECT_EQ(i == 0 ? std::vector<int32_t>{50002} : std::vector<int32_t>{}, ids) << i;
  }
  std::vector<PI::CObject> topology(7);
  EXPECT_EQ(0u, t.api.Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
  ASSERT_EQ(t.objects.size(), topology.size());
  for (size_t i = 0; i < topology.size(); ++i) EXPECT_EQ(t.objects[i]->m_ID, topology[i].m_ID);
  EXPECT_TRUE(t.api.m_Plugin.m_Properties.empty()) << "the managed objects carry no lists";
}

TEST(LockFlags, SelectObjectsAsRequested) {
  struct Case {
    int adapterIndex, driveSelector;
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
    SCOPED_TRACE(std::to_string(c.adapterIndex) + "," + std::to_string(c.driveSelector));
    Tree t;
    for (auto& a : t.api.m_Adapters) a.m_Locked = 1;  // cleared only by the -1 form
    EXPECT_EQ(0u, t.api.LockObjects(c.adapterIndex, c.driveSelector));
    EXPECT_EQ(c.plugin, t.api.m_Plugin.m_Locked);
    for (size_t i = 0; i < c.drives.size(); ++i)
      EXPECT_EQ(c.drives[i], t.api.m_PhysicalDrives[i].m_Locked) << i;
    for (auto& a : t.api.m_Adapters)
      EXPECT_EQ(c.adapterIndex < 0 ? 0 : 1, a.m_Locked) << "never set";
    t.api.UnlockObjects();
    for (PI::CObject* o : t.objects) EXPECT_EQ(0, o->m_Locked);
  }
}

}  // namespace
