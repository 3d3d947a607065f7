// SetAdapterIDs names the adapters it matches and starts one worker only;
// DeInitialize stops it promptly (a restart is in tests/monitor).
#include <gtest/gtest.h>

#include <chrono>

#include "NimbraImpl.h"
#include "PI/Status.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using Clock = std::chrono::steady_clock;

// A plug-in whose locks and events are ready, as Initialize leaves them.
struct Ready {
  IPLUGINAPI_IMPL api;
  Ready() {
    api.m_DataLock.Init();
    api.m_EventsLock.Init();
    api.m_ForceWorker.Init(false, false);
    api.m_StopRequest.Init(false, true);
    api.m_PrivateEvent.Init(false, false);
    api.m_Plugin.m_ID = api.NewID();
  }
};

// DeInitialize pauses before and after its wait for the worker, also when
// no worker runs.
TEST(DeInitialize, WithoutAWorkerStillTakesItsTwoPauses) {
  Ready r;
  const auto start = Clock::now();
  EXPECT_EQ(0u, r.api.Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
}

TEST(SetAdapterIDs, StartsOneWorkerAndNamesMatchedAdapters) {
  Ready r;
  r.api.m_Adapters.resize(3);
  const char* const models[] = {"INTEL SSDPEDMD400G4", "INTEL SSDPE2MD800G4",
                                "INTEL SSDPEDMD400G4"};
  for (int i = 0; i < 3; ++i) {
    r.api.m_Adapters[i].m_ModelNumber = models[i];
    r.api.m_Adapters[i].m_PciBus = 5 + i;
  }
  r.api.m_Adapters[2].m_DisplayName = "kept";
  std::vector<PI::CAdapterID> ids(3);
  ids[0].m_Bus = 7;  // host number left unassigned
  ids[1].m_Bus = 5;
  ids[1].m_HostNumber = 3;
  ids[2].m_Bus = 6;
  ids[2].m_HostNumber = 3;
  EXPECT_EQ(0u, r.api.Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
  EXPECT_EQ("Torvik P3700 (3)", r.api.m_Adapters[0].m_DisplayName);
  EXPECT_EQ("Torvik 2.5in (3)", r.api.m_Adapters[1].m_DisplayName);
  EXPECT_EQ("kept", r.api.m_Adapters[2].m_DisplayName);
  ASSERT_TRUE(r.api.m_WorkerThread);
  auto* worker = r.api.m_WorkerThread.get();
  EXPECT_EQ(0u, r.api.Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
  EXPECT_EQ(worker, r.api.m_WorkerThread.get()) << "a second call starts no second worker";
  EXPECT_EQ(6u, r.api.m_AdapterIDs.size()) << "ids are appended, not replaced";
  const auto start = Clock::now();
  EXPECT_EQ(0u, r.api.Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(0, r.api.m_WorkerThread->Wait(0));
}

}  // namespace
