// IPLUGINAPI_IMPL: all state of the plug-in and every handler of the host's
// commands. One object per createIf; host threads call Execute concurrently,
// one worker thread keeps the object tree fresh.
//
// Locking: m_DataLock guards m_Plugin, m_Adapters, m_PhysicalDrives,
// m_CmdEmuAdapters, m_AdapterCount, m_InventoryGeneration, m_AdapterIDs and
// m_ToolVersion; m_EventsLock guards m_Events. m_DataLock is always taken
// before m_EventsLock. Routed requests (commands 5-10) and GetTopology hold
// m_DataLock for their whole length, so handlers must not take it again. The
// worker holds it only to copy what it needs and to apply what it found: tool
// runs and pauses happen without it, so no host request waits for the tool.
// The command emulation takes no lock of its own.
//
// Errors: handlers return 32-bit statuses (PI::ERR_*). A number in the tool's
// output that does not fit its field raises a conversion exception that the
// plug-in does not catch; the host catches it at its boundary.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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
#include "TLX/ThreadAnnotations.h"

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
  // Initialize may be sent again after DeInitialize (or while the worker
  // runs): the tool's answers are read without m_DataLock and installed under
  // it. SetAdapterIDs starts a worker unless one is still running (a worker
  // that has ended is replaced).
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

  // The next object ID; safe from any thread (the worker's scan draws IDs
  // without m_DataLock).
  uint64_t NewID();
  // Lock flags. REQUIRES: m_DataLock held (or no other user). LockObjects is
  // part of the interface the host may use; nothing in the plug-in calls it.
  uint32_t LockObjects(int adapterIndex, int driveSelector) TLX_REQUIRES(m_DataLock);
  uint32_t UnlockObjects() TLX_REQUIRES(m_DataLock);

  // Plug-in object handlers.
  uint32_t GetPluginProperties(CIntelSSDPlugin& plugin, std::vector<PI::CProperty>& out,
                               PI::_PROPERTY_ID which) TLX_REQUIRES(m_DataLock);
  uint32_t SetPluginProperty(CIntelSSDPlugin& plugin, PI::CProperty& property)
      TLX_REQUIRES(m_DataLock);
  uint32_t GetPluginOperations(CIntelSSDPlugin& plugin, std::vector<PI::COperation>& out);
  uint32_t CheckPluginOperation(CIntelSSDPlugin& plugin, PI::COperation& operation);
  uint32_t ExecutePluginOperation(CIntelSSDPlugin& plugin, PI::COperation& operation)
      TLX_REQUIRES(m_DataLock);
  // Takes m_EventsLock (after the caller's m_DataLock).
  uint32_t GetEvents(CIntelSSDPlugin& plugin, PI::COperation& operation) TLX_REQUIRES(m_DataLock);

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
                      std::vector<CIntelSSDPhysicalDrive>& drives, bool firstScan)
      TLX_REQUIRES(m_DataLock);
  uint32_t UpdateSystem(std::vector<CIntelSSDAdapter>& adapters,
                        std::vector<CIntelSSDPhysicalDrive>& drives)
      TLX_REQUIRES(m_DataLock, m_EventsLock);
  void Worker();
  // The worker's two kinds of cycle, public so that one cycle can be run
  // without the worker's timers. Both enter with m_DataLock held through
  // WorkerTakesData and leave with it released (a conversion error in the
  // tool's output escapes them while the lock is not held).
  //
  // RefreshHealth copies the inventory records, then for each record reads
  // its health log without the lock and takes the lock to patch the adapter
  // and drive with the record's serial number; it pauses m_HealthReadPauseMs
  // after each record (a stop request ends the pause and the refresh). It
  // returns true when a critical-warning word changed (the cycle then scans
  // fully).
  //
  // FullScan copies what the scan reads of the tree, takes a new inventory
  // and builds new objects without the lock, then takes both locks, merges,
  // releases them and notifies the host when something changed or events
  // wait. It returns false, having changed nothing, when the scan could not
  // be completed: the tool could not be run or printed nothing (20003), a
  // stop was requested, Initialize replaced the records meanwhile, or a lock
  // could not be taken. The next cycle then tries again.
  bool RefreshHealth() TLX_RELEASE(m_DataLock);
  bool FullScan() TLX_RELEASE(m_DataLock);
  // m_DataLock for the cycles, held through m_CycleData, with the worker's
  // lock traces. Used by the one thread that runs the cycles (the worker, or
  // a test or benchmark without one). WorkerTakesData returns true when taken.
  bool WorkerTakesData() TLX_TRY_ACQUIRE(true, m_DataLock) TLX_NO_THREAD_SAFETY_ANALYSIS;
  void WorkerReleasesData() TLX_RELEASE(m_DataLock) TLX_NO_THREAD_SAFETY_ANALYSIS;

  // Command emulation: runs the SSD tool and parses its text. No locking.
  uint32_t GetVersion(std::string& version);
  // The inventory into m_CmdEmuAdapters. REQUIRES: m_DataLock held or no
  // other user.
  uint32_t GetAdapterCount(uint64_t& count) TLX_REQUIRES(m_DataLock);
  // The same into `records` (emptied first), for callers that install the
  // result under m_DataLock themselves.
  uint32_t TakeInventory(std::vector<CCmdEmuAdapter>& records, uint64_t& count);
  uint32_t GetLogPage(uint32_t index, int page, std::vector<std::string>& lines);
  uint32_t GetLogPageInformation(uint32_t index, CCmdEmuGetlog& log, bool addInCard);
  // The maintenance commands (format, erase, one setting): kept as the
  // plug-in's interface to the tool although no operation offers them yet.
  uint32_t CmdEmu_format(uint32_t index, int32_t lbaFormat);
  uint32_t CmdEmu_delete(uint32_t index);
  uint32_t CmdEmu_set(uint32_t index, const std::string& name, int32_t kind, int32_t value);

  // State, in declaration order. m_InterfaceVersion, m_HostNotify and
  // m_ModuleTag live in IPLUGINAPI, where the host reads them. The plug-in
  // owns every member below. They are public so that tests, benchmarks and
  // fuzz targets can set up and inspect a plug-in without a host: they
  // touch them only before a worker runs, or under the lock the member's
  // comment names. The knobs m_HealthReadPauseMs, m_StopSettleMs and
  // m_StopPollMs are theirs to shorten; the host never sets them.
  TLX::Threading::Native_OS::CFastMutex m_DataLock;
  TLX::Threading::Native_OS::CFastMutex m_EventsLock;
  TLX::Threading::CEvent m_ForceWorker;
  TLX::Threading::CEvent m_StopRequest;
  TLX::Threading::CEvent m_PrivateEvent;
  std::string m_ToolPath;
  CIntelSSDPlugin m_Plugin TLX_GUARDED_BY(m_DataLock);
  std::vector<CIntelSSDAdapter> m_Adapters TLX_GUARDED_BY(m_DataLock);
  std::vector<CIntelSSDPhysicalDrive> m_PhysicalDrives TLX_GUARDED_BY(m_DataLock);
  std::vector<CCmdEmuAdapter> m_CmdEmuAdapters TLX_GUARDED_BY(m_DataLock);
  std::vector<PI::CAdapterID> m_AdapterIDs TLX_GUARDED_BY(m_DataLock);
  std::vector<PI::CEvent> m_Events TLX_GUARDED_BY(m_EventsLock);
  uint64_t m_AdapterCount TLX_GUARDED_BY(m_DataLock) = 0;
  // Counts the installations of m_CmdEmuAdapters, so that the worker can tell
  // whether records it copied are still the current ones.
  uint64_t m_InventoryGeneration TLX_GUARDED_BY(m_DataLock) = 0;
  // The poll interval in seconds: set by host threads, read by the worker;
  // always within these bounds.
  static constexpr uint32_t kDefaultPollInterval = 30;
  static constexpr uint32_t kMinPollInterval = 2;
  static constexpr uint32_t kMaxPollInterval = 255;
  std::atomic<uint32_t> m_PollInterval{kDefaultPollInterval};
  // Pause after each drive's health read in RefreshHealth; benchmarks set 0
  // before the worker starts to time the reads alone.
  static constexpr unsigned kHealthReadPauseMs = 1000;
  unsigned m_HealthReadPauseMs = kHealthReadPauseMs;
  // DeInitialize's pauses: before and after waiting for the worker, and
  // between two looks at it. Tests that cycle the plug-in many times shorten
  // them before DeInitialize.
  unsigned m_StopSettleMs = 100;
  unsigned m_StopPollMs = 500;
  std::atomic<uint64_t> m_NextID{0};
  // m_WorkerLock serialises SetAdapterIDs, DeInitialize and the destructor
  // around the worker pointer; the thread object itself is safe from any thread.
  std::mutex m_WorkerLock;
  std::unique_ptr<TLX::Threading::CThread> m_WorkerThread;
  PI::CConfigFile m_ConfigFile;
  std::string m_ToolVersion TLX_GUARDED_BY(m_DataLock);
  // The worker's hold of m_DataLock in its cycles (WorkerTakesData).
  TLX::Threading::Native_OS::CSyncGuard m_CycleData;

 private:
  // Finds the object named by `objectId` (plug-in, then adapters, then
  // drives) under m_DataLock and calls the matching handler. `notPlugin`
  // runs under the lock when the ID is not the plug-in object's.
  template <class NotPlugin, class OnPlugin, class OnAdapter, class OnDrive>
  uint32_t Route(uint64_t objectId, NotPlugin notPlugin, OnPlugin onPlugin, OnAdapter onAdapter,
                 OnDrive onDrive);
  template <class OnPlugin, class OnAdapter, class OnDrive>
  uint32_t Route(uint64_t objectId, OnPlugin onPlugin, OnAdapter onAdapter, OnDrive onDrive) {
    return Route(
        objectId, [] {}, onPlugin, onAdapter, onDrive);
  }

  // What a scan reads of the live state besides the records: the adapters
  // and drives whose IDs it keeps by serial number, and the host's adapter
  // numbers for the display names.
  struct ScanBasis {
    const std::vector<CIntelSSDAdapter>& adapters;
    const std::vector<CIntelSSDPhysicalDrive>& drives;
    const std::vector<PI::CAdapterID>& adapterIDs;
  };
  // ScanSystem's work on `records` and `basis`; touches no member but
  // through NewID, so the worker runs it on copies without m_DataLock. Reads
  // each record's health log first unless `firstScan`. Returns false when
  // `stop` is set before a record (the output is then incomplete).
  bool ScanRecords(std::vector<CCmdEmuAdapter>& records, uint64_t adapterCount,
                   const ScanBasis& basis, std::vector<CIntelSSDAdapter>& adapters,
                   std::vector<CIntelSSDPhysicalDrive>& drives, bool firstScan,
                   TLX::Threading::CEvent* stop);
  // Appends a cycle's events to m_Events, taking m_EventsLock once more (the
  // caller holds it; the host mutex is re-entrant for its owner, which the
  // compiler's checks do not model).
  void AppendEvents(const std::vector<PI::CEvent>& events)
      TLX_REQUIRES(m_EventsLock) TLX_NO_THREAD_SAFETY_ANALYSIS;
};

// The poll interval the ini text gives: a stream-converted unsigned number
// clamped to 2..255, or 30 when the text is not a number.
uint32_t PollIntervalFromText(const std::string& text);

}  // namespace NAMESPACE_Nimbra
