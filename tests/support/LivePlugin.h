// A live plug-in for the threaded suites: a fleet file of its own for
// bin/isdct with a sysfs tree to match, a plug-in initialized on it as a host
// would (adapter numbers 0, 1, 2... in `ids`), its worker at the shortest
// poll interval (2 s, from a Nimbra.ini of its own), notifications counted
// and the waiting events fetched on each. The process-wide settings it
// changes (fleet variable, sysfs root, configuration folder, tool time limit)
// go back to their defaults with it: one at a time per process. The event
// list is guarded; the rest belongs to the test's thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "NimbraImpl.h"
#include "TestSupport.h"

namespace nimbra_test {

// The built-in drives 0 (an add-in card) and 1 of the simulator.
constexpr const char* kCard = "CVFT5213000A400BGN";
constexpr const char* kSecond = "CVFT5213001B1P6BGN";

// {"drives": [{}, ...]}: the first `drives` built-in drives.
std::string BuiltInFleet(int drives);

class LivePlugin : public PI::CNotifyTarget {
 public:
  explicit LivePlugin(const std::string& fleet);
  ~LivePlugin() override;

  uint32_t Initialize();  // its console line swallowed; numbers `ids`
  bool StartWorker();     // SetAdapterIDs, then the first full scan's notification
  bool Start() { return Initialize() == 0 && StartWorker(); }
  uint32_t Stop() { return api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr); }
  void Sim(const std::string& args);  // `isdct ARGS` on this fleet; must succeed
  std::string FleetFile() const { return dir / "fleet.json"; }

  bool WaitForNotification(int after, std::chrono::seconds limit = std::chrono::seconds(15));
  bool WaitForEvents(size_t count) {
    return WaitFor([&] { return Events().size() >= count; }, std::chrono::seconds(15));
  }
  std::vector<PI::CEvent> Events();
  std::vector<uint32_t> EventIds();
  void Record(const std::vector<PI::CEvent>& fetched);
  std::vector<PI::CObject> Topology();
  uint64_t AdapterId(const std::string& serial);

  TempDir dir;
  std::unique_ptr<NAMESPACE_Nimbra::IPLUGINAPI_IMPL> api;
  std::vector<PI::CAdapterID> ids;
  std::atomic<int> notifications{0};
  std::function<void(IPLUGINAPI*)> onNotify;  // called on the notifying thread

 private:
  void Notified(IPLUGINAPI* plugin);
  std::mutex m_Lock;
  std::vector<PI::CEvent> m_Events;
};

// DIR/FOLDER/bin/isdct: a script that replays the inventory and version of a
// one-drive fleet (whose sysfs tree goes to DIR/sys) and prints nothing
// else. Initialize finds it when the host's path is DIR/FOLDER/nimbra-host.
std::string ReplayTool(const TempDir& dir, const std::string& folder);

// DIR/FOLDER/bin/isdct: the simulator bound to `fleet` (DIR/FOLDER/fleet.json),
// without its own leak check.
std::string SimulatorFor(const TempDir& dir, const std::string& folder, const std::string& fleet);

}  // namespace nimbra_test
