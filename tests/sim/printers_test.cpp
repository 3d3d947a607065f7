// The tool's answers read with the plug-in's own pattern tables: every key
// the plug-in looks for is there once, carries the fleet's value in the form
// its pattern demands, and the out-of-range variant overflows the field.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>

#include "Fleet.h"
#include "Printers.h"
#include "SimTestSupport.h"

namespace isdctsim {
namespace {

using simtest::firstMatch;
using simtest::splitLines;

// The captured value of every pattern that decides at least one line, by the
// pattern's position; fails the test when a pattern decides two lines.
std::map<int, std::string> captures(const std::vector<std::regex>& patterns,
                                    const std::string& text) {
  std::map<int, std::string> values;
  for (const std::string& line : splitLines(text)) {
    int k = firstMatch(patterns, line);
    if (k < 0) continue;
    std::smatch m;
    std::regex_match(line, m, patterns[k]);
    EXPECT_EQ(values.count(k), 0u) << "pattern " << k << " decides two lines, again at: " << line;
    values[k] = m[1];
  }
  return values;
}

uint64_t number(const std::string& text) { return std::stoull(text, nullptr, 0); }

TEST(Printers, InventoryBlockCarriesEveryKeyWithTheDrivesValues) {
  const auto patterns = simtest::inventoryPatterns();
  for (const Drive& d : defaultFleet().drives) {
    const std::string block = inventoryBlock(d, false);
    const auto lines = splitLines(block);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_search(lines[0], simtest::inventoryHeader())) << lines[0];
    EXPECT_EQ(lines[0], "- IntelSSD " + d.serial + " -");
    auto v = captures(patterns, block);
    ASSERT_EQ(v.size(), patterns.size()) << block;
    // Table order: Index, Bootloader, ..., TempThreshold.
    EXPECT_EQ(number(v[0]), d.index);
    EXPECT_EQ(v[1], d.bootloader);
    EXPECT_EQ(v[3], "False");
    EXPECT_EQ(v[6], d.devicePath);
    EXPECT_EQ(v[9], d.driverMajor);
    EXPECT_EQ(v[11], d.driverMinor);
    EXPECT_EQ(v[13], d.firmware);
    EXPECT_EQ(number(v[14]), d.lbaFormat);
    EXPECT_EQ(number(v[16]), d.maximumLBA);
    EXPECT_EQ(v[17], d.model);
    EXPECT_EQ(number(v[18]), d.nativeMaxLBA);
    EXPECT_EQ(number(v[21]), d.physicalSize);
    EXPECT_EQ(number(v[23]), d.sectorSize);
    EXPECT_EQ(v[24], d.serial);
    EXPECT_EQ(number(v[25]), d.tempThreshold);
  }
}

TEST(Printers, Page2FlagsFollowTheCriticalWarningBits) {
  const auto patterns = simtest::page2Patterns();
  const uint32_t cases[] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x11, 0x1F, 0xE0, 0xFF};
  for (uint32_t warnings : cases) {
    Drive d = defaultDrive(1);
    d.health.criticalWarnings = warnings;
    d.health.mediaErrors = 0xABCDEF0123ull;
    auto v = captures(patterns, logPage2(d, false));
    ASSERT_EQ(v.size(), 13u) << "warnings " << warnings;
    EXPECT_EQ(number(v[0]), warnings);
    const uint32_t bits[] = {0x01, 0x02, 0x04, 0x08, 0x10};  // spare, temperature, ...
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(v[1 + k], (warnings & bits[k]) ? "1" : "0") << "warnings " << warnings;
    }
    EXPECT_EQ(number(v[6]), d.health.availableSpare);
    EXPECT_EQ(number(v[7]), d.health.availableSpareThreshold);
    EXPECT_EQ(number(v[8]), d.health.percentageUsed);
    EXPECT_EQ(number(v[9]), d.health.dataUnitsRead);
    EXPECT_EQ(number(v[10]), d.health.dataUnitsWritten);
    EXPECT_EQ(number(v[11]), d.health.powerOnHours);
    EXPECT_EQ(number(v[12]), d.health.mediaErrors);
  }
}

TEST(Printers, Page197PrintsTheFleetsTemperatureOnce) {
  for (uint32_t t : {0u, 31u, 64u, 75u, 84u, 200u}) {
    Drive d = defaultDrive(0);
    d.health.temperature = t;
    int matches = 0;
    for (const std::string& line : splitLines(logPage197(d, false))) {
      std::smatch m;
      if (std::regex_match(line, m, simtest::page197Pattern())) {
        ++matches;
        EXPECT_EQ(m[1], std::to_string(t));
      }
    }
    EXPECT_EQ(matches, 1) << "temperature " << t;
  }
}

TEST(Printers, Page202AttributesMatchOnlyWhenTheLinesAreJoined) {
  const std::pair<uint32_t, uint32_t> cases[] = {{100, 100}, {99, 98}, {0, 0}, {12, 250}};
  for (const auto& [throttle, wear] : cases) {
    Drive d = defaultDrive(2);
    d.health.thermalThrottleStatus = throttle;
    d.health.wearLevelingCount = wear;
    const std::string text = logPage202(d, false);
    const std::string joined = simtest::joinLines(text);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(joined, m, simtest::page202Throttle()));
    EXPECT_EQ(m[1], std::to_string(throttle));
    ASSERT_TRUE(std::regex_search(joined, m, simtest::page202Wear()));
    EXPECT_EQ(m[1], std::to_string(wear));
    // As separate lines, or joined with line feeds, neither attribute is found.
    EXPECT_FALSE(std::regex_search(text, simtest::page202Throttle()));
    EXPECT_FALSE(std::regex_search(text, simtest::page202Wear()));
    for (const std::string& line : splitLines(text)) {
      EXPECT_FALSE(std::regex_search(line, simtest::page202Throttle())) << line;
      EXPECT_FALSE(std::regex_search(line, simtest::page202Wear())) << line;
    }
  }
}

TEST(Printers, VersionLineFollowsTheBanner) {
  for (const std::string& version : {std::string("3.0.2"), std::string("")}) {
    const auto lines = splitLines(versionText(version, "built-in default", false));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_FALSE(std::regex_match(lines[0], simtest::versionPattern()));
    int matches = 0;
    for (const std::string& line : lines) {
      std::smatch m;
      if (std::regex_match(line, m, simtest::versionPattern())) {
        ++matches;
        EXPECT_EQ(m[1], version);
      }
    }
    EXPECT_EQ(matches, 1);
  }
}

// The out-of-range variant of each answer holds a value that its field
// (signed or unsigned 32 or 64 bits) cannot take.
TEST(Printers, OutOfRangeVariantsOverflowTheirFields) {
  const Drive d = defaultDrive(0);
  constexpr auto kInt32 = static_cast<unsigned long long>(std::numeric_limits<int32_t>::max());
  constexpr auto kUint32 = static_cast<unsigned long long>(std::numeric_limits<uint32_t>::max());
  constexpr auto kUint64 = std::numeric_limits<unsigned long long>::max();

  auto inventory = captures(simtest::inventoryPatterns(), inventoryBlock(d, true));
  EXPECT_TRUE(simtest::exceeds(inventory[0], kInt32)) << inventory[0];     // Index
  EXPECT_TRUE(simtest::exceeds(inventory[16], kUint64)) << inventory[16];  // MaximumLBA

  auto page2 = captures(simtest::page2Patterns(), logPage2(d, true));
  EXPECT_TRUE(simtest::exceeds(page2[8], kInt32)) << page2[8];   // Percentage Used
  EXPECT_TRUE(simtest::exceeds(page2[9], kUint64)) << page2[9];  // Data Units Read

  std::smatch m;
  const std::string page197 = logPage197(d, true);
  bool found = false;
  for (const std::string& line : splitLines(page197)) {
    if (std::regex_match(line, m, simtest::page197Pattern())) {
      found = true;
      EXPECT_TRUE(simtest::exceeds(m[1], kUint32)) << m[1];
    }
  }
  EXPECT_TRUE(found);

  const std::string joined = simtest::joinLines(logPage202(d, true));
  ASSERT_TRUE(std::regex_search(joined, m, simtest::page202Throttle()));
  EXPECT_TRUE(simtest::exceeds(m[1], kUint64)) << m[1];
  ASSERT_TRUE(std::regex_search(joined, m, simtest::page202Wear()));
  EXPECT_TRUE(simtest::exceeds(m[1], kUint64)) << m[1];
}

}  // namespace
}  // namespace isdctsim
