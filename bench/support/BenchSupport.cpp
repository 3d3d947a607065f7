#include "BenchSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "PI/Status.h"
#include "TLXX/System.h"

namespace nimbra_bench {

namespace {

// Sends this process's stdout to /dev/null while it lives, so that the
// plug-in's console line does not land in the benchmark table.
class MutedStdout {
 public:
  MutedStdout() {
    std::fflush(stdout);
    m_Saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~MutedStdout() {
    std::fflush(stdout);
    if (m_Saved >= 0) {
      dup2(m_Saved, STDOUT_FILENO);
      close(m_Saved);
    }
  }
  MutedStdout(const MutedStdout&) = delete;
  MutedStdout& operator=(const MutedStdout&) = delete;

 private:
  int m_Saved = -1;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; }

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

}  // namespace

std::string ToolPath() { return nimbra_test::BuildDir() + "/bin/isdct"; }

SimulatedFleet::SimulatedFleet(int drives) : m_Drives(drives) {
  std::string fleet = "{\"drives\": [";
  for (int i = 0; i < drives; ++i) fleet += i ? ",{}" : "{}";
  m_Dir.Write("fleet.json", fleet + "]}");
  setenv("ISDCT_SIM_FLEET", FleetFile().c_str(), 1);
  std::string out;
  if (nimbra_test::RunShell("'" + ToolPath() + "' sim-sysfs '" + (m_Dir / "sys") + "' 2>&1",
                            &out) != 0) {
    unsetenv("ISDCT_SIM_FLEET");
    throw std::runtime_error("isdct sim-sysfs failed: " + out);
  }
  TLXX::CSystem::SetSysfsRoot(m_Dir / "sys");
}

SimulatedFleet::~SimulatedFleet() {
  unsetenv("ISDCT_SIM_FLEET");
  TLXX::CSystem::SetSysfsRoot("");
}

std::unique_ptr<Plugin> ScannedPlugin(int drives) {
  auto api = std::make_unique<Plugin>();
  std::vector<PI::CAdapterID> ids;
  uint32_t rc = 0;
  {
    MutedStdout muted;
    rc = api->Execute(PI::CMD_INITIALIZE, 0, &ids);
  }
  if (rc != 0) throw std::runtime_error("Initialize failed: " + std::to_string(rc));
  if (ids.size() != static_cast<size_t>(drives)) {
    throw std::runtime_error("Initialize found " + std::to_string(ids.size()) + " of " +
                             std::to_string(drives) + " drives");
  }
  for (size_t i = 0; i < ids.size(); ++i) ids[i].m_HostNumber = static_cast<uint32_t>(i);
  api->m_AdapterIDs = ids;  // no other user yet; SetAdapterIDs would start the worker
  FullScan(*api);
  if (api->m_Adapters.size() != static_cast<size_t>(drives) ||
      api->m_PhysicalDrives.size() != static_cast<size_t>(drives)) {
    throw std::runtime_error("the full scan lost drives");
  }
  return api;
}

void FullScan(Plugin& api) {
  if (!api.WorkerTakesData() || !api.FullScan()) {
    throw std::runtime_error("full scan could not take its locks");
  }
}

uint64_t AdapterId(const Plugin& api, size_t position) { return api.m_Adapters.at(position).m_ID; }

CpuTimes CpuTimes::Now() {
  CpuTimes t;
  t.self = CpuSeconds(RUSAGE_SELF);
  t.thread = CpuSeconds(RUSAGE_THREAD);
  t.children = CpuSeconds(RUSAGE_CHILDREN);
  return t;
}

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
  const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

namespace {
double ReadResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}
}  // namespace

double ResidentBytes() {
  // The first reading faults in the code that parses it (64 KiB of the C++
  // library), after the figure was taken: read once before the one returned.
  static const bool warm = ReadResidentBytes() >= 0;
  (void)warm;
  return ReadResidentBytes();
}

}  // namespace nimbra_bench
