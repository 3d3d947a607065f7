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
