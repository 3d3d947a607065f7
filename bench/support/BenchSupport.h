// Pieces the plug-in benchmarks share: a simulated fleet of N drives with its
// sysfs tree, a plug-in initialized and fully scanned on it with no worker
// thread, one full scan as the worker runs it, process clocks and latency
// percentiles.
//
// A SimulatedFleet sets process-wide state (ISDCT_SIM_FLEET and the host's
// sysfs root), so only one may exist at a time, and it must outlive every
// plug-in built on it. Setup failures throw std::runtime_error; a benchmark
// turns that into SkipWithError.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "NimbraImpl.h"
#include "TestSupport.h"

namespace nimbra_bench {

// The simulator bin/isdct beside the running program.
std::string ToolPath();

// A fleet file of `drives` drives (the built-in four, then generated ones), a
// sysfs tree with one PCI device per drive, both in a temporary folder that
// goes with the object. The environment points the simulator and the host at
// them until the object goes.
class SimulatedFleet {
 public:
  explicit SimulatedFleet(int drives);
  ~SimulatedFleet();
  SimulatedFleet(const SimulatedFleet&) = delete;
  SimulatedFleet& operator=(const SimulatedFleet&) = delete;

  int drives() const { return m_Drives; }
  std::string FleetFile() const { return m_Dir / "fleet.json"; }

 private:
  nimbra_test::TempDir m_Dir;
  int m_Drives;
};

using Plugin = NAMESPACE_Nimbra::IPLUGINAPI_IMPL;

// A plug-in on the current fleet as a host leaves it after start-up, but with
// no worker: Initialize (its console line muted), host numbers 0, 1, 2...
// recorded as SetAdapterIDs would record them, then one full scan. Throws
// when Initialize fails or the tree does not hold `drives` drives.
std::unique_ptr<Plugin> ScannedPlugin(int drives);

// One full scan as the worker runs it: m_DataLock taken, then FullScan (which
// releases it). Throws when FullScan cannot take its locks.
void FullScan(Plugin& api);

// ID of the adapter at `position` in the tree. REQUIRES: no other thread uses
// the plug-in.
uint64_t AdapterId(const Plugin& api, size_t position);

// Seconds of CPU from getrusage: this process (all threads), the calling
// thread, and the reaped children.
struct CpuTimes {
  double self = 0;
  double thread = 0;
  double children = 0;
  static CpuTimes Now();
};

// The p-th percentile (0..100, nearest rank) of `values`, which it sorts.
// 0 for no values.
double Percentile(std::vector<double>& values, double p);

// Resident set size of this process in bytes, from /proc/self/statm.
double ResidentBytes();

}  // namespace nimbra_bench
