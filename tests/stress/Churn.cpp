#include "Churn.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "TestSupport.h"

namespace nimbra_test {

namespace {

volatile std::sig_atomic_t g_Stop = 0;
void OnTerm(int) { g_Stop = 1; }

uint64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string Underscored(std::string text) {
  std::replace(text.begin(), text.end(), ' ', '_');
  return text;
}

// Readings that cross every temperature band of both form factors (the
// plug-in adds 5 for add-in cards, 14 for 2.5-inch drives).
constexpr int kTemperatures[] = {30, 50, 63, 64, 65, 66, 69, 70, 73, 74, 75, 78, 79, 80, 84, 90};
constexpr int kWarnings[] = {0, 0, 0, 0x01, 0x02, 0x04, 0x08, 0x10, 0x11, 0x05};
const char* const kModels[] = {"INTEL SSDPEDMD400G4", "INTEL SSDPEDMD016T4", "INTEL SSDPE2MD800G4",
                               "INTEL SSDPE2MD020T4"};
// Kinds that make a command unreadable without ending the worker: the
// conversion faults (out-of-range) end it by design, hangs cost a tool time
// limit each and are kept rare (one step long).
const char* const kFaultKinds[] = {"garbage",       "empty",       "exit-nonzero",
                                   "invalid-index", "stderr-only", "no-results"};
const char* const kLogCommands[] = {"log2", "log197", "log202"};

struct Fault {
  std::string kind;
  int expires;  // step after which the churn clears it
};

struct Drive {
  std::string serial;
  std::string model;
  bool present = true;
  int temperature = 0;
  int warnings = 0;
  std::map<std::string, Fault> faults;
};

class Churn {
 public:
  Churn(std::vector<std::string> a)
      : m_Isdct(a[0]),
        m_Sysfs(a[2]),
        m_LogDir(a[3]),
        m_Seconds(std::stod(a[4])),
        m_Random(std::stoull(a[5])) {}
  ~Churn() {
    if (m_Log != nullptr) std::fclose(m_Log);
  }

  int Run() {
    if (!OpenSegment() || !LoadFleet()) return 1;
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<int64_t>(m_Seconds * 1000));
    while (!g_Stop && std::chrono::steady_clock::now() < end && getppid() != 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(Pick(150, 600)));
      if (!ExpireFaults() || !Step()) return 1;
      ++m_Step;
    }
    m_Step = 1 << 30;  // every fault expires
    if (!ExpireFaults()) return 1;
    // A quiet fleet to end with: no warnings, and a reading of its own for
    // every drive, so that values shown on the wrong object stand out.
    int reading = 40;
    for (Drive& d : m_Drives) {
      const std::string temperature = std::to_string(d.temperature);
      const std::string warnings = Hex(d.warnings);
      d.temperature = reading++;
      d.warnings = 0;
      if (!Set(d, "criticalWarnings", warnings, Hex(0)) ||
          !Set(d, "temperature", temperature, std::to_string(d.temperature))) {
        return 1;
      }
    }
    return Sim("sim-sysfs '" + m_Sysfs + "'") ? 0 : 1;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_Random); }
  template <class T, size_t N>
  const T& Any(const T (&values)[N]) {
    return values[Pick(0, N - 1)];
  }

  bool Sim(const std::string& arguments, std::string* out = nullptr) {
    std::string text;
    if (nimbra_test::RunShell("'" + m_Isdct + "' " + arguments + " 2>&1", &text) == 0) {
      if (out != nullptr) *out = text;
      return true;
    }
    std::fprintf(stderr, "churn: isdct %s failed: %s\n", arguments.c_str(), text.c_str());
    return false;
  }

  bool OpenSegment() {
    if (m_Log != nullptr) std::fclose(m_Log);
    m_Log = std::fopen(SegmentPath(m_LogDir, m_Segment++).c_str(), "w");
    return m_Log != nullptr;
  }

  void Log(const std::string& serial, const std::string& key, const std::string& from,
           const std::string& to) {
    std::fprintf(m_Log, "%llu %s %s %s %s\n", static_cast<unsigned long long>(NowMs()),
                 serial.c_str(), key.c_str(), from.c_str(), to.c_str());
    std::fflush(m_Log);
    if (std::ftell(m_Log) > static_cast<long>(kSegmentBytes)) OpenSegment();
  }

  bool LoadFleet() {
    std::string text;
    if (!Sim("sim-fleet", &text)) return false;
    const nlohmann::json fleet = nlohmann::json::parse(text);
    for (const auto& d : fleet.at("drives")) {
      Drive drive;
      drive.serial = d.at("serial");
      drive.model = d.at("model");
      drive.present = d.at("present");
      drive.temperature = d.at("health").at("temperature");
      drive.warnings = d.at("health").at("criticalWarnings");
      Log(drive.serial, "drive", "initial", Underscored(drive.model));
      Log(drive.serial, "temperature", "-", std::to_string(drive.temperature));
      Log(drive.serial, "criticalWarnings", "-", Hex(drive.warnings));
      m_Drives.push_back(drive);
    }
    return true;
  }

  static std::string Hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
  }

  std::vector<Drive*> Drives(bool present) {
    std::vector<Drive*> out;
    for (Drive& d : m_Drives) {
      if (d.present == present) out.push_back(&d);
    }
    return out;
  }

  // Sets fault `command` of one drive (or of the fleet) to `kind` ("none"
  // clears it).
  bool SetFault(Drive* drive, const std::string& command, const std::string& kind, int steps) {
    std::map<std::string, Fault>& faults = drive ? drive->faults : m_FleetFaults;
    const auto it = faults.find(command);
    const std::string from = it == faults.end() ? "none" : it->second.kind;
    if (from == kind) return true;
    const std::string serial = drive ? drive->serial : "*";
    Log(serial, "faults." + command, from, kind);
    if (!Sim("sim-set " + (drive ? serial : "--fleet") + " faults." + command + "=" + kind)) {
      return false;
    }
    if (kind == "none") {
      faults.erase(command);
    } else {
      faults[command] = Fault{kind, m_Step + steps};
    }
    return true;
  }

  bool ExpireFaults() {
    std::vector<Drive*> owners = {nullptr};
    for (Drive& d : m_Drives) owners.push_back(&d);
    for (Drive* owner : owners) {
      const std::map<std::string, Fault> faults = owner ? owner->faults : m_FleetFaults;
      for (const auto& f : faults) {
        if (f.second.expires <= m_Step && !SetFault(owner, f.first, "none", 0)) return false;
      }
    }
    return true;
  }

  bool Step() {
    std::vector<Drive*> present = Drives(true);
    std::vector<Drive*> absent = Drives(false);
    Drive* any = present.empty() ? nullptr : present[Pick(0, present.size() - 1)];
    switch (std::discrete_distribution<int>({30, 20, 6, 5, 6, 12, 4})(m_Random)) {
      case 0: {
        if (any == nullptr) return true;
        const std::string from = std::to_string(any->temperature);
        any->temperature = Any(kTemperatures);
        return Set(*any, "temperature", from, std::to_string(any->temperature));
      }
      case 1: {
        if (any == nullptr) return true;
        const std::string from = Hex(any->warnings);
        any->warnings = Any(kWarnings);
        return Set(*any, "criticalWarnings", from, Hex(any->warnings));
      }
      case 2:
        return static_cast<int>(present.size()) >= kMaxDrives || Add();
      case 3:
        return present.size() <= 1 || Remove(*any);
      case 4:
        if (!absent.empty() &&
            (static_cast<int>(present.size()) >= kMaxDrives || Pick(0, 1) == 0)) {
          return Present(*absent[Pick(0, absent.size() - 1)], true);
        }
        return present.size() <= 1 || Present(*any, false);
      case 5:
        if (any == nullptr) return true;
        if (Pick(0, 9) == 0) return SetFault(any, "show", "empty", Pick(2, 6));
        if (Pick(0, 29) == 0) return SetFault(any, "log202", "hang", 1);
        return SetFault(any, Any(kLogCommands), Any(kFaultKinds), Pick(2, 8));
      default: {
        // An inventory that hangs until the tool's time limit is rare: it
        // stops the worker for that long.
        if (Pick(0, 39) == 0) return SetFault(nullptr, "show", "hang", 1);
        const std::string command = Pick(0, 3) == 0 ? "show" : Any(kLogCommands);
        return SetFault(nullptr, command, Any(kFaultKinds), Pick(1, 4));
      }
    }
  }

  bool Set(const Drive& d, const std::string& key, const std::string& from, const std::string& to) {
    Log(d.serial, key, from, to);
    return Sim("sim-set " + d.serial + " " + key + "=" + to);
  }

  bool Add() {
    Drive d;
    char serial[32];
    std::snprintf(serial, sizeof serial, "PHST52%08dBGN", m_Added++);
    d.serial = serial;
    d.model = Any(kModels);
    d.temperature = 30;
    Log(d.serial, "drive", "none", Underscored(d.model));
    Log(d.serial, "temperature", "-", "30");
    if (!Sim("sim-add serial=" + d.serial + " temperature=30 'model=" + d.model + "'")) {
      return false;
    }
    m_Drives.push_back(d);
    return Sim("sim-sysfs '" + m_Sysfs + "'");
  }

  bool Remove(const Drive& d) {
    Log(d.serial, "drive", Underscored(d.model), "none");
    if (!Sim("sim-remove " + d.serial)) return false;
    m_Drives.erase(std::find_if(m_Drives.begin(), m_Drives.end(),
                                [&](const Drive& x) { return x.serial == d.serial; }));
    return Sim("sim-sysfs '" + m_Sysfs + "'");
  }

  bool Present(Drive& d, bool present) {
    d.present = present;
    return Set(d, "present", present ? "false" : "true", present ? "true" : "false") &&
           Sim("sim-sysfs '" + m_Sysfs + "'");
  }

  const std::string m_Isdct, m_Sysfs, m_LogDir;
  const double m_Seconds;
  std::mt19937_64 m_Random;
  std::FILE* m_Log = nullptr;
  int m_Segment = 0;
  int m_Step = 0;
  int m_Added = 0;
  std::vector<Drive> m_Drives;
  std::map<std::string, Fault> m_FleetFaults;
};

}  // namespace

std::string SegmentPath(const std::string& logDir, int segment) {
  return logDir + "/churn." + std::to_string(segment) + ".log";
}

std::vector<std::string> ChurnArguments(const std::string& isdct, const std::string& fleet,
                                        const std::string& sysfs, const std::string& logDir,
                                        double seconds, uint64_t seed) {
  return {isdct, fleet, sysfs, logDir, std::to_string(seconds), std::to_string(seed)};
}

int ChurnMain(const std::vector<std::string>& arguments) {
  if (arguments.size() != 6) {
    std::fprintf(stderr, "churn: ISDCT FLEET SYSFS LOGDIR SECONDS SEED expected\n");
    return 2;
  }
  std::signal(SIGTERM, OnTerm);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  setenv("ISDCT_SIM_FLEET", arguments[1].c_str(), 1);
  return Churn(arguments).Run();
}

}  // namespace nimbra_test
