#include "PluginSession.h"

#include <dlfcn.h>

#include <chrono>
#include <exception>

#include "PI/Status.h"
#include "TLX/Thread.h"
#include "TLX/Trace.h"
#include "TLXX/SystemTime.h"

namespace nimbra_host {

namespace {
constexpr int32_t kGetEventsOperation = 50002;
}

std::string Describe(const CallResult& r) {
  if (r.threw) return "exception: " + r.exception;
  return std::string(PI::StatusText(r.status)) + " (" + std::to_string(r.status) + ")";
}

PluginSession::~PluginSession() {
  if (m_Api != nullptr) {
    if (m_Initialized) DeInitialize();
    m_Release(&m_Api);
  }
  if (m_Library != nullptr) dlclose(m_Library);
}

bool PluginSession::Load(const std::string& path, std::string& error) {
  m_Library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_Library == nullptr) {
    const char* why = dlerror();
    error = "cannot load plug-in " + path + ": " + (why ? why : "unknown error");
    return false;
  }
  auto create = reinterpret_cast<PFN_CREATEIF>(dlsym(m_Library, "createIf"));
  m_Release = reinterpret_cast<PFN_RELEASEIF>(dlsym(m_Library, "releaseIf"));
  if (create == nullptr || m_Release == nullptr) {
    error = path + " is not a plug-in: createIf or releaseIf is missing";
    return false;
  }
  uint32_t status = 0;
  try {
    status = create(&m_Api);
  } catch (const std::exception& e) {
    error = std::string("createIf threw: ") + e.what();
    m_Api = nullptr;
    return false;
  } catch (...) {
    error = "createIf threw an unknown exception";
    m_Api = nullptr;
    return false;
  }
  if (status != 0 || m_Api == nullptr) {
    error = "createIf failed: " + Describe(CallResult{status, false, {}});
    m_Api = nullptr;
    return false;
  }
  m_Api->m_HostNotify.m_Object = this;
  m_Api->m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&PluginSession::Notified);
  return true;
}

CallResult PluginSession::Call(PI::_COMMAND command, uint64_t objectId, void* param) {
  CallResult r;
  try {
    r.status = m_Api->Execute(command, objectId, param);
  } catch (const std::exception& e) {
    r.threw = true;
    r.exception = e.what();
  } catch (...) {
    r.threw = true;
    r.exception = "unknown exception";
  }
  if (r.threw) {
    TLX::Internals::HostTrace("Execute(" + std::to_string(static_cast<int>(command)) +
                              ") threw: " + r.exception);
  }
  return r;
}

CallResult PluginSession::Initialize() {
  m_AdapterIDs.clear();
  CallResult r = Call(PI::CMD_INITIALIZE, 0, &m_AdapterIDs);
  m_Initialized = true;  // even a failed Initialize is followed by DeInitialize
  std::vector<PI::CObject> topology;
  if (r.ok() && Call(PI::CMD_GET_TOPOLOGY, 0, &topology).ok() && !topology.empty()) {
    m_PluginId = topology.front().m_ID;
  }
  return r;
}

CallResult PluginSession::SetAdapterIDs() {
  for (size_t i = 0; i < m_AdapterIDs.size(); ++i) {
    m_AdapterIDs[i].m_HostNumber = static_cast<uint32_t>(i);
  }
  m_EndingsBeforeWorker = TLX::Threading::EndingCount();
  CallResult r = Call(PI::CMD_SET_ADAPTER_IDS, 0, &m_AdapterIDs);
  m_WorkerStarted = r.ok();
  return r;
}

CallResult PluginSession::DeInitialize() {
  if (m_DeInitialized || m_Api == nullptr) return CallResult{};
  m_DeInitialized = true;
  return Call(PI::CMD_DEINITIALIZE, 0, nullptr);
}

bool PluginSession::WaitForNotifications(unsigned count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_Lock);
  return m_NotifiedCv.wait_for(lock, timeout, [&] { return m_Notifications >= count; });
}

unsigned PluginSession::Notifications() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Notifications;
}

void PluginSession::OnEvents(std::function<void(const std::vector<PI::CEvent>&)> callback) {
  std::lock_guard<std::mutex> lock(m_DeliveryLock);
  m_OnEvents = std::move(callback);
}

CallResult PluginSession::FetchEvents() {
  std::lock_guard<std::mutex> lock(m_DeliveryLock);
  return FetchAndDeliver();
}

CallResult PluginSession::FetchAndDeliver() {
  PI::COperation fetch;
  fetch.id = kGetEventsOperation;
  fetch.secondaryId = kGetEventsOperation;
  CallResult r = Call(PI::CMD_EXECUTE_OPERATION, m_PluginId, &fetch);
  if (r.ok() && m_OnEvents && !fetch.GetEvents().empty()) m_OnEvents(fetch.GetEvents());
  return r;
}

void PluginSession::Notified(IPLUGINAPI*) {
  {
    std::lock_guard<std::mutex> lock(m_DeliveryLock);
    if (m_OnEvents) FetchAndDeliver();
  }
  m_LastNotificationMs.store(TLXX::CSystemTime_Lx::Now());
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    ++m_Notifications;
  }
  m_NotifiedCv.notify_all();
}

}  // namespace nimbra_host
