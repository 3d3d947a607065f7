// PI records and helpers, and the calendar conversion: value semantics and
// arithmetic edge cases, as tables.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>

#include "PI/PluginHelper.h"
#include "PI/Records.h"
#include "TLXX/SystemTime.h"

namespace {

constexpr unsigned long kAllOnes = std::numeric_limits<unsigned long>::max();

TEST(CPropertyTest, EachSetValueSetsItsKind) {
  std::vector<int> allowed{1, 2, 3}, current{2};
  const struct {
    const char* name;
    std::function<void(PI::CProperty&)> set;
    int32_t kind;
  } cases[] = {
      {"unsigned", [](PI::CProperty& p) { p.SetValue(42UL); }, PI::VALUE_NUMBER},
      {"float", [](PI::CProperty& p) { p.SetValue(1.5f); }, PI::VALUE_FLOAT},
      {"string", [](PI::CProperty& p) { p.SetValue(std::string("abc")); }, PI::VALUE_TEXT},
      {"char*", [](PI::CProperty& p) { p.SetValue("abc"); }, PI::VALUE_TEXT},
      {"range", [](PI::CProperty& p) { p.SetValue(30, 2, 255, 1u); }, PI::VALUE_RANGE},
      {"enum", [&](PI::CProperty& p) { p.SetValue(2, allowed); }, PI::VALUE_ENUM},
      {"set", [&](PI::CProperty& p) { p.SetValue(current, allowed); }, PI::VALUE_SET},
  };
  for (const auto& c : cases) {
    PI::CProperty p(static_cast<PI::_PROPERTY_ID>(5), false);
    p.SetValue(7UL);  // a previous kind is replaced
    c.set(p);
    EXPECT_EQ(p.valueKind, c.kind) << c.name;
  }
  PI::CProperty p;
  p.SetValue(static_cast<const char*>(nullptr));
  EXPECT_EQ(p.text, "");
  p.SetValue(2, allowed);
  EXPECT_EQ(p.intValue, 2);
  EXPECT_EQ(p.allowed, allowed);
  p.SetValue(current, allowed);
  EXPECT_EQ(p.current, current);
}

TEST(CPropertyTest, GetValueReadsOnlyARange) {
  PI::CProperty p;
  int v = -1, lo = -1, hi = -1;
  unsigned step = 99;
  EXPECT_FALSE(p.GetValue(v, lo, hi, step));
  p.SetValue(12UL);
  EXPECT_FALSE(p.GetValue(v, lo, hi, step));
  EXPECT_EQ(v, -1);  // untouched
  p.SetValue(30, 2, 255, 1u);
  ASSERT_TRUE(p.GetValue(v, lo, hi, step));
  EXPECT_EQ(std::make_tuple(v, lo, hi, step), std::make_tuple(30, 2, 255, 1u));
}

TEST(PluginHelperTest, ConvertBytesToOtherUnit) {
  const struct {
    unsigned long bytes;
    float value;
    PI::_UNITS unit;
  } cases[] = {
      {0, 0.0f, PI::UNIT_BYTES},
      {999, 999.0f, PI::UNIT_BYTES},
      {1000, 1.0f, PI::UNIT_KILOBYTES},
      {1500000, 1.5f, PI::UNIT_MEGABYTES},
      {400088457216UL, 400.088457216f, PI::UNIT_GIGABYTES},
      {2000000000000UL, 2.0f, PI::UNIT_TERABYTES},
      {3000000000000000UL, 3.0f, PI::UNIT_PETABYTES},
      {kAllOnes - 1, 18446.744f, PI::UNIT_PETABYTES},  // stays in the largest unit
  };
  for (const auto& c : cases) {
    float value = -1;
    PI::_UNITS unit = PI::UNIT_NONE;
    ASSERT_TRUE(PI::CPluginHelper::ConvertBytesToOtherUnit(c.bytes, value, unit)) << c.bytes;
    EXPECT_EQ(unit, c.unit) << c.bytes;
    EXPECT_NEAR(value, c.value, c.value * 1e-6) << c.bytes;
  }
  float value = -1;
  PI::_UNITS unit = PI::UNIT_CELSIUS;
  EXPECT_FALSE(PI::CPluginHelper::ConvertBytesToOtherUnit(kAllOnes, value, unit));
  EXPECT_EQ(value, -1);
  EXPECT_EQ(unit, PI::UNIT_CELSIUS);
}

TEST(PluginHelperTest, ComputeRemainingLifeTime) {
  constexpr unsigned long kMax = PI::CPluginHelper::kMaxRemainingHours;
  constexpr unsigned long TB = 1000000000000UL;
  const struct {
    const char* name;
    unsigned long hours, written;
    unsigned wear;
    unsigned long ratedTB;
    bool computed;
    unsigned long remaining;
  } cases[] = {
      {"nothing known", 0, 0, 100, kAllOnes, false, kMax},
      {"by endurance", 1000, 1 * TB, 100, 10, true, 9000},
      {"by wear", 1000, 0, 75, kAllOnes, true, 3000},
      {"smaller of both", 1000, 1 * TB, 90, 10, true, 9000},
      {"wear smaller", 1000, 1 * TB, 50, 10, true, 1000},
      {"past rating", 1000, 11 * TB, 100, 10, true, 0},
      {"exactly at rating", 0, 10 * TB, 100, 10, true, 0},
      {"fully worn", 1000, 0, 0, kAllOnes, true, 0},
      {"capped", 1, 1, 100, 1000, true, kMax},
      {"no hours yet", 0, 1 * TB, 99, 10, false, kMax},
      {"wear beyond 100", 1000, 0, 250, kAllOnes, false, kMax},
      {"huge numbers do not overflow", kAllOnes, kAllOnes / 2, 100, kAllOnes - 1, true, kMax},
      {"zero rating, nothing written", 1000, 0, 100, 0, false, kMax},
  };
  for (const auto& c : cases) {
    unsigned long remaining = 12345;
    EXPECT_EQ(PI::CPluginHelper::ComputeRemainingLifeTime(c.hours, c.written, c.wear, c.ratedTB,
                                                          remaining),
              c.computed)
        << c.name;
    EXPECT_EQ(remaining, c.remaining) << c.name;
  }
}

TEST(SystemTimeTest, GetDate) {
  const struct {
    uint64_t ms;
    TLXX::CDate date;
  } cases[] = {
      {0, {1970, 1, 1, 0, 0, 0, 0}},
      {951782400123ULL, {2000, 2, 29, 0, 0, 0, 123}},  // leap day
      {1718236799999ULL, {2024, 6, 12, 23, 59, 59, 999}},
      {253402300799999ULL, {9999, 12, 31, 23, 59, 59, 999}},
      {std::numeric_limits<uint64_t>::max(), {9999, 12, 31, 23, 59, 59, 999}},
  };
  for (const auto& c : cases) {
    TLXX::CDate d;
    ASSERT_TRUE(TLXX::CSystemTime_Lx::GetDate(c.ms, d));
    EXPECT_EQ(std::make_tuple(d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond),
              std::make_tuple(c.date.year, c.date.month, c.date.day, c.date.hour, c.date.minute,
                              c.date.second, c.date.millisecond))
        << c.ms;
  }
}

TEST(SystemTimeTest, NowIsWallClockMilliseconds) {
  const auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  const uint64_t now = TLXX::CSystemTime_Lx::Now();
  EXPECT_GE(now, static_cast<uint64_t>(before));
  EXPECT_LT(now, static_cast<uint64_t>(before) + 1000);
}

}  // namespace
