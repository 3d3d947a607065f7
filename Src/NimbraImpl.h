// IPLUGINAPI_IMPL: all state of the plug-in and every handler of the host's
// commands. One object per createIf; host threads call Execute concurrently,
// one worker thread keeps the object tree fresh.
//
// Locking: m_DataLock guards m_Plugin, m_Adapters, m_PhysicalDrives,
// m_CmdEmuAdapters and m_AdapterIDs; m_EventsLock guards m_Events. m_DataLock
// is always taken before m_EventsLock. Routed requests (commands 5-10) and
// GetTopology hold m_DataLock for their whole length, so handlers must not
// take it again. The command emulation takes no lock of its own: its callers
// hold m_DataLock (or are the only user, as Initialize is).
//
// Errors: handlers return 32-bit statuses (PI::ERR_*). A number in the tool's
// output that does not fit its field raises a conversion exception that the
// plug-in does not catch; the host catches it at its boundary.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "NimbraCmdEmuRecords.h"
#include "NimbraObjects.h"
#include "PI/ConfigFile.h"
#include "PI/PluginApi.h"
#include "PI/Records.h"
#include "TLX/Event.h"
#include "TLX/Mutex.h"
#include "TLX/Thread.h"

namespace NAMESPACE_Nimbra {

class IPLUGINAPI_IMPL : public IPLUGINAPI {
 public:
  // Reads "PollInterval" from "Nimbra.ini" (default 30, kept within 2..255).
  // Does no other input or output and starts no thread.
  IPLUGINAPI_IMPL();
  // Deletes the worker thread object (cancelling a thread that still runs),
  // then every member.
  ~IPLUGINAPI_IMPL() override;
  IPLUGINAPI_IMPL(const IPLUGINAPI_IMPL&) = delete;
  IPLUGINAPI_IMPL& operator=(const IPLUGINAPI_IMPL&) = delete;

  uint32_t Execute(PI::_COMMAND command, unsigned long objectId, void* param) override;

  // Host commands 1-4.
  uint32_t Initialize(std::vector<PI::CAdapterID>& out);
  uint32_t SetAdapterIDs(const std::vector<PI::CAdapterID>& ids);
  uint32_t DeInitialize();
  uint32_t GetTopology(std::vector<PI::CObject>& out);

  // Routing of commands 5-10 by object ID, under m_DataLock.
  uint32_t GetProperties(uint64_t objectId, std::vector<PI::CProperty>& out);
  uint32_t GetProperty(uint64_t objectId, PI::CProperty& property);
  uint32_t SetProperty(uint64_t objectId, PI::CProperty& property);
  uint32_t GetOperations(uint64_t objectId, std::vector<PI::COperation>& out);
  uint32_t CheckOperation(uint64_t objectId, PI::COperation& operation);
  uint32_t ExecuteOperation(uint64_t objectId, PI::COperation& operation);

  // IDs and lock flags. REQUIRES: m_DataLock held (or no other user).
  uint64_t NewID();
  uint32_t LockObjects(int adapterIndex, int driveSelector);
  uint32_t UnlockObjects();

  // Plug-in object handlers.
  uint32_t GetPluginProperties(CIntelSSDPlugin& plugin, std::vector<PI::CProperty>& out,
                               PI::_PROPERTY_ID which);
  uint32_t SetPluginProperty(CIntelSSDPlugin& plugin, PI::CProperty& property);
  uint32_t GetPluginOperations(CIntelSSDPlugin& plugin, std::vector<PI::COperation>& out);
  uint32_t CheckPluginOperation(CIntelSSDPlugin& plugin, PI::COperation& operation);
  uint32_t ExecutePluginOperation(CIntelSSDPlugin& plugin, PI::COperation& operation);
  uint32_t GetEvents(CIntelSSDPlugin& plugin, PI::COperation& operation);

  // Adapter handlers.
  uint32_t GetAdapterProperties(CIntelSSDAdapter& adapter, std::vector<PI::CProperty>& out,
                                PI::_PROPERTY_ID which);
  uint32_t SetAdapterProperty(CIntelSSDAdapter& adapter, PI::CProperty& property);
  uint32_t GetAdapterOperations(CIntelSSDAdapter& adapter, std::vector<PI::COperation>& out);
  uint32_t CheckAdapterOperation(CIntelSSDAdapter& adapter, PI::COperation& operation);
  uint32_t ExecuteAdapterOperation(CIntelSSDAdapter& adapter, PI::COperation& operation);

  // Physical drive handlers.
  uint32_t GetPhysicalDriveProperties(CIntelSSDPhysicalDrive& drive,
                                      std::vector<PI::CProperty>& out, PI::_PROPERTY_ID which);
  uint32_t SetPhysicalDriveProperty(CIntelSSDPhysicalDrive& drive, PI::CProperty& property);
  uint32_t GetPhysicalDriveOperations(CIntelSSDPhysicalDrive& drive,
                                      std::vector<PI::COperation>& out);
  uint32_t CheckPhysicalDriveOperation(CIntelSSDPhysicalDrive& drive, PI::COperation& operation);
  uint32_t ExecutePhysicalDriveOperation(CIntelSSDPhysicalDrive& drive, PI::COperation& operation);

  // Discovery and monitoring. REQUIRES: m_DataLock held (Initialize: sole user).
  uint32_t ScanSystem(std::vector<CIntelSSDAdapter>& adapters,
                      std::vector<CIntelSSDPhysicalDrive>& drives, bool firstScan);
  // REQUIRES: m_DataLock and m_EventsLock held.
  uint32_t UpdateSystem(std::vector<CIntelSSDAdapter>& adapters,
                        std::vector<CIntelSSDPhysicalDrive>& drives);
  void Worker();
  // The worker's two kinds of cycle, public so that one cycle can be run
  // without the worker's timers. REQUIRES: m_DataLock held (through `data`
  // for FullScan). RefreshHealth re-reads every drive's health log and
  // patches the adapters in place; it returns true when a critical-warning
  // word changed (the cycle then scans fully). FullScan takes a new
  // inventory, rescans, merges, releases both locks and notifies the host
  // when something changed or events wait; it returns false when m_EventsLock
  // could not be taken. A conversion error in the tool's output escapes both;
  // the locks are then released by the guards as the stack unwinds.
  bool RefreshHealth();
  bool FullScan(TLX::Threading::Native_OS::CSyncGuard& data);

  // Command emulation: runs the SSD tool and parses its text. No locking.
  uint32_t GetVersion(std::string& version);
  uint32_t GetAdapterCount(uint64_t& count);
  uint32_t GetLogPage(uint32_t index, int page, std::vector<std::string>& lines);
  uint32_t GetLogPageInformation(uint32_t index, CCmdEmuGetlog& log, bool addInCard);
  uint32_t CmdEmu_format(uint32_t index, int32_t lbaFormat);
  uint32_t CmdEmu_delete(uint32_t index);
  uint32_t CmdEmu_set(uint32_t index, const std::string& name, int32_t kind, int32_t value);

  // State, in declaration order. m_InterfaceVersion, m_HostNotify and
  // m_ModuleTag live in IPLUGINAPI, where the host reads them.
  TLX::Threading::Native_OS::CFastMutex m_DataLock;
  TLX::Threading::Native_OS::CFastMutex m_EventsLock;
  TLX::Threading::CEvent m_ForceWorker;
  TLX::Threading::CEvent m_StopRequest;
  TLX::Threading::CEvent m_PrivateEvent;
  std::string m_ToolPath;
  CIntelSSDPlugin m_Plugin;                              // guarded by m_DataLock
  std::vector<CIntelSSDAdapter> m_Adapters;              // guarded by m_DataLock
  std::vector<CIntelSSDPhysicalDrive> m_PhysicalDrives;  // guarded by m_DataLock
  std::vector<CCmdEmuAdapter> m_CmdEmuAdapters;          // guarded by m_DataLock
  std::vector<PI::CETR> m_ETRs;
  std::vector<PI::CAdapterID> m_AdapterIDs;  // guarded by m_DataLock
  std::vector<PI::CEvent> m_Events;          // guarded by m_EventsLock
  uint64_t m_AdapterCount = 0;
  std::atomic<uint32_t> m_PollInterval{30};  // seconds; set by host threads, read by the worker
  // Pause after each drive's health read in RefreshHealth; benchmarks set 0
  // before the worker starts to time the reads alone.
  static constexpr unsigned kHealthReadPauseMs = 1000;
  unsigned m_HealthReadPauseMs = kHealthReadPauseMs;
  uint64_t m_NextID = 0;
  std::unique_ptr<TLX::Threading::CThread> m_WorkerThread;
  PI::CConfigFile m_ConfigFile;
  std::string m_ToolVersion;

 private:
  // Finds the object named by `objectId` (plug-in, then adapters, then
  // drives) under m_DataLock and calls the matching handler.
  template <class OnPlugin, class OnAdapter, class OnDrive>
  uint32_t Route(uint64_t objectId, OnPlugin onPlugin, OnAdapter onAdapter, OnDrive onDrive);
};

// The poll interval the ini text gives: a stream-converted unsigned number
// clamped to 2..255, or 30 when the text is not a number.
uint32_t PollIntervalFromText(const std::string& text);

}  // namespace NAMESPACE_Nimbra
