// PluginSession: the host's side of one loaded plug-in. Loads the library
// with dlopen, creates the interface object, stores itself as the
// notification target, and sends commands through Call, which catches every
// exception the plug-in lets escape (the host never terminates because of
// the plug-in). The destructor de-initializes a plug-in that was initialized,
// releases the interface object and unloads the library.
//
// Thread-safety: Call may be used from several threads; the notification
// callback runs on the plug-in's worker thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "PI/PluginApi.h"
#include "PI/Records.h"

namespace nimbra_host {

struct CallResult {
  uint32_t status = 0;
  bool threw = false;
  std::string exception;  // what() of an escaped exception
  bool ok() const { return !threw && status == 0; }
};

// "no supported hardware (20001)", or "exception: TEXT" for an escaped one.
std::string Describe(const CallResult& result);

class PluginSession : public PI::CNotifyTarget {
 public:
  PluginSession() = default;
  ~PluginSession() override;
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // Loads `path` and calls createIf. Returns false with a message in `error`.
  bool Load(const std::string& path, std::string& error);

  CallResult Call(PI::_COMMAND command, uint64_t objectId, void* param);

  // Command 1; on success remembers the adapter IDs.
  CallResult Initialize();
  // Command 2 with host numbers 0, 1, 2... in the order of the adapter IDs.
  CallResult SetAdapterIDs();
  // Command 3, once; later calls do nothing.
  CallResult DeInitialize();

  const std::vector<PI::CAdapterID>& AdapterIDs() const { return m_AdapterIDs; }

  // Waits until the plug-in has notified the host at least `count` times in
  // all, or `seconds` have passed. Returns true when notified.
  bool WaitForNotifications(unsigned count, unsigned seconds);
  unsigned Notifications() const;

  // Called for every batch of events fetched after a notification (on the
  // worker's thread). Set before SetAdapterIDs.
  void OnEvents(std::function<void(const std::vector<PI::CEvent>&)> callback);

  // The plug-in object's ID (the first object of the topology), 0 before
  // Initialize.
  uint64_t PluginObjectId() const { return m_PluginId; }

 private:
  void Notified(IPLUGINAPI* api);

  void* m_Library = nullptr;
  PFN_RELEASEIF m_Release = nullptr;
  IPLUGINAPI* m_Api = nullptr;
  bool m_Initialized = false;
  bool m_DeInitialized = false;
  uint64_t m_PluginId = 0;
  std::vector<PI::CAdapterID> m_AdapterIDs;

  mutable std::mutex m_Lock;
  std::condition_variable m_NotifiedCv;
  unsigned m_Notifications = 0;  // guarded by m_Lock
  std::function<void(const std::vector<PI::CEvent>&)> m_OnEvents;
};

}  // namespace nimbra_host
