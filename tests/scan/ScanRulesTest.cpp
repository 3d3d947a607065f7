// The rules of the scan as tables: health, throttle, location, driver
// version, sizes and capacity classes.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "NimbraCmdEmuParse.h"
#include "NimbraCodes.h"
#include "NimbraScanRules.h"

namespace {

using namespace NAMESPACE_Nimbra;
using namespace NAMESPACE_Nimbra::ScanRules;

struct Flags {
  int32_t temperature = 0, spare = 0, backup = 0, reliability = 0, readOnly = 0;
};

CCmdEmuGetlog Log(uint32_t warnings, uint64_t throttle, Flags f = {}) {
  CCmdEmuGetlog log;
  log.m_CriticalWarnings = warnings;
  log.m_ThermalThrottleStatus = throttle;
  log.m_TemperatureExceeded = f.temperature;
  log.m_SpareBelowThreshold = f.spare;
  log.m_VolatileBackupFailed = f.backup;
  log.m_ReliabilityDegraded = f.reliability;
  log.m_ReadOnlyMode = f.readOnly;
  return log;
}

TEST(ScanRules, HealthStateAndReasons) {
  struct Case {
    const char* name;
    CCmdEmuGetlog log;
    uint32_t state;
    std::vector<uint32_t> reasons;
  };
  const uint32_t kHot = REASON_TEMPERATURE_EXCEEDED, kSpare = REASON_SPARE_BELOW_THRESHOLD,
                 kBackup = REASON_VOLATILE_BACKUP_FAILED, kWorn = REASON_RELIABILITY_DEGRADED,
                 kReadOnly = REASON_READ_ONLY;
  const Case cases[] = {
      {"quiet and cool", Log(0, 100), HEALTH_GOOD, {}},
      {"quiet but throttling", Log(0, 99), HEALTH_DEGRADED, {}},
      {"flags ignored while the word is 0", Log(0, 100, {1, 1, 1, 1, 1}), HEALTH_GOOD, {}},
      {"temperature", Log(0x02, 100, {1, 0, 0, 0, 0}), HEALTH_DEGRADED, {kHot}},
      {"spare", Log(0x01, 100, {0, 1, 0, 0, 0}), HEALTH_DEGRADED, {kSpare}},
      {"backup and temperature", Log(0x12, 100, {1, 0, 1, 0, 0}), HEALTH_FAILED, {kHot, kBackup}},
      {"all five in order",
       Log(0x1f, 100, {1, 1, 1, 1, 1}),
       HEALTH_FAILED,
       {kHot, kSpare, kBackup, kWorn, kReadOnly}},
      {"read-only while throttling", Log(0x08, 50, {0, 0, 0, 0, 1}), HEALTH_FAILED, {kReadOnly}},
      {"spare while throttling", Log(0x01, 50, {0, 1, 0, 0, 0}), HEALTH_DEGRADED, {kSpare}},
      {"band bits only, cool", Log(0x220, 100), HEALTH_DEGRADED, {}},
      {"band bits only, throttling", Log(0x220, 20), HEALTH_DEGRADED, {}},
  };

  for (const Case& c : cases) {
    const Health h = AssessHealth(c.log);
    EXPECT_EQ(c.state, h.state) << c.name;
    EXPECT_EQ(c.reasons, h.reasons) << c.name;
  }
}

TEST(ScanRules, ThrottleState) {
  struct Case {
    uint64_t throttle;
    int32_t readOnly;
    uint32_t state;
  };
  const Case cases[] = {{100, 0, THROTTLE_NONE}, {100, 1, THROTTLE_NONE}, {99, 0, THROTTLE_ACTIVE},
                        {0, 0, THROTTLE_ACTIVE}, {99, 1, THROTTLE_OTHER}, {101, 0, THROTTLE_OTHER},
                        {255, 0, THROTTLE_OTHER}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.state, ThrottleState(c.throttle, c.readOnly)) << c.throttle << "/" << c.readOnly;
  }
}

TEST(ScanRules, SegmentIsRecordedOnlyAtTheOrigin) {
  struct Case {
    int segment, bus, device, function;
    const char* adapter;
    const char* drive;
  };
  const Case cases[] = {
      {0, 5, 0, 0, "PCI:Bus=5&Device=0&Function=0", "PCI:Bus=5&Device=0&Function=0&ID=0"},
      {1, 5, 0, 0, "PCI:Bus=5&Device=0&Function=0", "PCI:Bus=5&Device=0&Function=0&ID=0"},
      {2, 0, 0, 0, "PCI:Segment=2&Bus=0&Device=0&Function=0",
       "PCI:Segment=2&Bus=0&Device=0&Function=0&ID=0"},
      {0, 129, 31, 7, "PCI:Bus=129&Device=31&Function=7", "PCI:Bus=129&Device=31&Function=7&ID=0"},
  };
  for (const Case& c : cases) {
    PciLocation l;
    RecordLookup(l, c.segment, c.bus, c.device, c.function);
    EXPECT_EQ(c.adapter, LocationText(l, false));
    EXPECT_EQ(c.drive, LocationText(l, true));
  }
  EXPECT_EQ("PCI:Bus=0&Device=0&Function=0", LocationText(PciLocation{}, false))
      << "a failed lookup leaves zeros";
}

TEST(ScanRules, DriverVersion) {
  EXPECT_EQ("1.0", DriverVersion("1.0", "4", "5"));
  EXPECT_EQ("1.2", DriverVersion("", "1", "2"));
  EXPECT_EQ("", DriverVersion("", "", "2"));
  EXPECT_EQ("", DriverVersion("", "1", ""));
}

TEST(ScanRules, DriveSizes) {
  struct Case {
    uint32_t sector;
    uint64_t physical, native, maximum;
    DriveSizes sizes;
  };
  const Case cases[] = {
      {512, 400088457216, 781422768, 781422768, {512, 381554, 381554, 381554, 100}},
      {4096, 1600321314816, 390703446, 195351722, {4096, 1526185, 1526185, 763092, 49}},
      {512, 0, 0, 100, {512, 0, 0, 0, 0}},  // no native maximum: 0 % used, no division
      // The sector size multiplies as a signed 32-bit number into 64 bits.
      {0xFFFFFFFF, 0, 1 << 20, 0, {0xFFFFFFFF, 0, (~uint64_t{0} << 20) >> 20, 0, 0}},
  };
  for (const Case& c : cases) {
    CCmdEmuAdapter r;
    r.m_SectorSize = c.sector;
    r.m_PhysicalSize = c.physical;
    r.m_NativeMaxLBA = c.native;
    r.m_MaximumLBA = c.maximum;
    const DriveSizes s = ComputeSizes(r), e = c.sizes;
    EXPECT_EQ(std::tie(e.sectorSize, e.physicalMiB, e.capacityMiB, e.usedMiB, e.usedPercent),
              std::tie(s.sectorSize, s.physicalMiB, s.capacityMiB, s.usedMiB, s.usedPercent))
        << c.physical << " " << c.native << " " << c.maximum;
  }
}

TEST(ScanRules, CapacityClassBorders) {
  struct Case {
    uint64_t gib;
    bool addInCard;
    const char* name;
    uint64_t endurance;
  };
  const Case cases[] = {
      {0, true, "Torvik P3700 400GB (0)", 7300},     {499, true, "Torvik P3700 400GB (0)", 7300},
      {500, true, "Torvik P3700 800GB (0)", 14600},  {899, false, "Torvik 2.5in 800GB (0)", 14600},
      {900, false, "Torvik 2.5in 1.6TB (0)", 29200}, {1699, true, "Torvik P3700 1.6TB (0)", 29200},
      {1700, true, "Torvik P3700 2TB (0)", 36500},   {99999, false, "Torvik 2.5in 2TB (0)", 36500},
  };
  for (const Case& c : cases) {
    const CapacityClass k = Classify(c.gib << 10, c.addInCard);
    EXPECT_EQ(c.name, k.driveName) << c.gib;
    EXPECT_EQ(c.endurance, k.ratedEnduranceTB) << c.gib;
  }
  EXPECT_EQ("Torvik P3700 400GB (0)", Classify((500 << 10) - 1, true).driveName)
      << "a MiB short of 500 GiB is still 499 GiB";
}

}  // namespace
