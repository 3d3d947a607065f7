// PluginSession: the host's side of one loaded plug-in. Loads the library
// with dlopen, creates the interface object, stores itself as the
// notification target, and sends commands through Call, which catches every
// exception the plug-in lets escape (the host never terminates because of
// the plug-in). The destructor de-initializes a plug-in that was initialized,
// releases the interface object and unloads the library.
//
// Thread-safety: Call, FetchEvents, OnEvents and the waits may be used from
// several threads; the notification callback runs on the plug-in's worker
// thread. Load, Initialize, SetAdapterIDs and DeInitialize belong to the
// thread that owns the session.
#pragma once

#include <atomic>
#include <chrono>
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
  // The plug-in starts its worker thread here.
  CallResult SetAdapterIDs();
  // Command 3, once; later calls do nothing.
  CallResult DeInitialize();

  const std::vector<PI::CAdapterID>& AdapterIDs() const { return m_AdapterIDs; }

  // Waits until the plug-in has notified the host at least `count` times in
  // all, or `timeout` has passed. Returns true when notified.
  bool WaitForNotifications(unsigned count, std::chrono::milliseconds timeout);
  unsigned Notifications() const;
  // Wall-clock time of the last notification (ms since the epoch), 0 before
  // the first. Any thread.
  uint64_t LastNotificationMs() const { return m_LastNotificationMs.load(); }

  // True once SetAdapterIDs succeeded (the worker was started), and the
  // host's count of thread endings just before it: endings numbered above
  // are the worker's (the plug-in runs no other thread).
  bool WorkerStarted() const { return m_WorkerStarted; }
  uint64_t EndingsBeforeWorker() const { return m_EndingsBeforeWorker; }

  // Sets the receiver of events, or clears it with an empty function. While
  // one is set, every notification fetches the waiting events (operation
  // 50002 on the plug-in object) and hands a non-empty batch to it on the
  // notifying thread; without one, events stay queued in the plug-in.
  // Deliveries never overlap, and clearing waits for one in progress, so the
  // receiver may go away once it is cleared. May be called at any time.
  void OnEvents(std::function<void(const std::vector<PI::CEvent>&)> callback);
  // Fetches the waiting events now and hands a non-empty batch to the
  // receiver, as a notification does. Returns the fetch's result.
  CallResult FetchEvents();

  // The plug-in object's ID (the first object of the topology), 0 before
  // Initialize.
  uint64_t PluginObjectId() const { return m_PluginId; }

 private:
  void Notified(IPLUGINAPI* api);
  // REQUIRES: m_DeliveryLock held.
  CallResult FetchAndDeliver();

  void* m_Library = nullptr;
  PFN_RELEASEIF m_Release = nullptr;
  IPLUGINAPI* m_Api = nullptr;
  bool m_Initialized = false;
  bool m_DeInitialized = false;
  uint64_t m_PluginId = 0;
  std::vector<PI::CAdapterID> m_AdapterIDs;
  bool m_WorkerStarted = false;
  uint64_t m_EndingsBeforeWorker = 0;
  std::atomic<uint64_t> m_LastNotificationMs{0};

  mutable std::mutex m_Lock;
  std::condition_variable m_NotifiedCv;
  unsigned m_Notifications = 0;  // guarded by m_Lock

  std::mutex m_DeliveryLock;  // held across one fetch and its delivery
  std::function<void(const std::vector<PI::CEvent>&)> m_OnEvents;  // guarded by m_DeliveryLock
};

}  // namespace nimbra_host
