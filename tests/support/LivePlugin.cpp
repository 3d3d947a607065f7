#include "LivePlugin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "PI/Status.h"
#include "TLXX/System.h"

namespace nimbra_test {

namespace {

std::string Isdct() { return "'" + BuildDir() + "/bin/isdct' "; }

std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.Write(name, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

}  // namespace

std::string BuiltInFleet(int drives) {
  std::string fleet = "{\"drives\": [";
  for (int i = 0; i < drives; ++i) fleet += i ? ",{}" : "{}";
  return fleet + "]}";
}

LivePlugin::LivePlugin(const std::string& fleet) {
  dir.Write("fleet.json", fleet);
  dir.Write("config/Nimbra.ini", "PollInterval=2\n");
  setenv("ISDCT_SIM_FLEET", FleetFile().c_str(), 1);
  Sim("sim-sysfs '" + (dir / "sys") + "'");
  TLXX::CSystem::SetSysfsRoot(dir / "sys");
  PI::CConfigFile::SetConfigDirectory(dir / "config");
  api = std::make_unique<NAMESPACE_Nimbra::IPLUGINAPI_IMPL>();
  api->m_HostNotify.m_Object = this;
  api->m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&LivePlugin::Notified);
}

LivePlugin::~LivePlugin() {
  if (api) Stop();
  api.reset();
  unsetenv("ISDCT_SIM_FLEET");
  TLXX::CSystem::SetSysfsRoot("/sys");
  TLXX::CSystem::SetCommandTimeout(120000);
  PI::CConfigFile::SetConfigDirectory(".");
}

uint32_t LivePlugin::Initialize() {
  ids.clear();
  testing::internal::CaptureStdout();
  const uint32_t rc = api->Execute(PI::CMD_INITIALIZE, 0, &ids);
  testing::internal::GetCapturedStdout();
  for (size_t i = 0; i < ids.size(); ++i) ids[i].m_HostNumber = static_cast<uint32_t>(i);
  return rc;
}

bool LivePlugin::StartWorker() {
  const int before = notifications;
  return api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids) == 0 &&
         WaitForNotification(before, std::chrono::seconds(30));
}

void LivePlugin::Sim(const std::string& args) {
  std::string out;
  EXPECT_EQ(0, RunShell("ISDCT_SIM_FLEET='" + FleetFile() + "' " + Isdct() + args + " 2>&1", &out))
      << args << ": " << out;
}

void LivePlugin::Notified(IPLUGINAPI* plugin) {
  PI::COperation fetch;
  fetch.id = NAMESPACE_Nimbra::OP_GET_EVENTS;
  EXPECT_EQ(0u, plugin->Execute(PI::CMD_EXECUTE_OPERATION, api->m_Plugin.m_ID, &fetch));
  Record(fetch.GetEvents());
  if (onNotify) onNotify(plugin);
  ++notifications;
}

bool LivePlugin::WaitForNotification(int after, std::chrono::seconds limit) {
  return WaitFor([&] { return notifications > after; }, limit);
}

std::vector<PI::CEvent> LivePlugin::Events() {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Events;
}

std::vector<uint32_t> LivePlugin::EventIds() {
  std::vector<uint32_t> out;
  for (const PI::CEvent& e : Events()) out.push_back(e.m_EventID);
  return out;
}

void LivePlugin::Record(const std::vector<PI::CEvent>& fetched) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Events.insert(m_Events.end(), fetched.begin(), fetched.end());
}

std::vector<PI::CObject> LivePlugin::Topology() {
  std::vector<PI::CObject> topology;
  EXPECT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
  return topology;
}

uint64_t LivePlugin::AdapterId(const std::string& serial) {
  TLX::Threading::Native_OS::CSyncGuard sg;
  api->m_DataLock.Wait(&sg, TLX::Threading::kInfinite);
  const auto* a = NAMESPACE_Nimbra::FindBySerial(api->m_Adapters, serial);
  return a ? a->m_ID : 0;
}

std::string ReplayTool(const TempDir& dir, const std::string& folder) {
  const std::string sim =
      "ISDCT_SIM_FLEET='" + dir.Write("one.json", BuiltInFleet(1)) + "' " + Isdct();
  std::string inventory;
  EXPECT_EQ(0, RunShell(sim + "sim-sysfs '" + (dir / "sys") + "'"));
  EXPECT_EQ(0, RunShell(sim + "show -all -intelssd", &inventory));
  return Script(dir, folder + "/bin/isdct",
                "case \"$1\" in show) cat '" + dir.Write(folder + "/inventory.txt", inventory) +
                    "';; version) echo 'Version: 3.0.2';; esac\n");
}

std::string SimulatorFor(const TempDir& dir, const std::string& folder, const std::string& fleet) {
  return Script(dir, folder + "/bin/isdct",
                "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" ISDCT_SIM_FLEET='" +
                    dir.Write(folder + "/fleet.json", fleet) + "' exec " + Isdct() + "\"$@\"\n");
}

}  // namespace nimbra_test
