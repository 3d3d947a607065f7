// The parsers of the SSD tool's text, fed canned output: one table of
// inventory cases and one of log-page cases, then the numbers that do not fit
// their field (conversion errors escape as exceptions). Hostile and random
// text runs as the parsers' fuzz seeds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NimbraCmdEmuParse.h"
#include "NimbraConvert.h"
#include "PI/Status.h"

namespace {

using namespace NAMESPACE_Nimbra;
using Lines = std::vector<std::string>;

// One drive block of the inventory with the keys the tests vary.
Lines Block(const std::string& index, const std::string& model, const std::string& serial,
            const Lines& more = {}) {
  Lines l = {"- IntelSSD " + serial + " -", "", "Index: " + index, "ModelNumber: " + model};
  if (!serial.empty()) l.push_back("SerialNumber: " + serial);
  l.insert(l.end(), more.begin(), more.end());
  return l;
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const char* kCard = "INTEL SSDPEDMD400G4";

// "status count | index.number serial firmware boot ide path threshold sector maxLBA" per record.
std::string Inventory(const Lines& lines) {
  std::vector<CCmdEmuAdapter> records;
  uint64_t count = 77;  // 77: not written
  const uint32_t status = CmdEmu::ParseInventory(lines, records, count);
  std::string text = std::to_string(status) + " " + std::to_string(count) + " |";
  for (const CCmdEmuAdapter& r : records) {
    text += " " + std::to_string(r.m_Index) + "." + std::to_string(r.m_Number) + " " +
            r.m_SerialNumber + " " + r.m_Firmware + " [" + r.m_Bootloader + "] " +
            (r.m_ControllerIDEMode ? "ide" : "-") + " [" + r.m_DevicePath + "] " +
            std::to_string(r.m_TempThreshold) + " " + std::to_string(r.m_SectorSize) + " " +
            std::to_string(r.m_MaximumLBA) + ";";
  }
  return text;
}

TEST(Inventory, StatusCountAndRecords) {
  const std::string kNone = std::to_string(PI::ERR_NO_SUPPORTED_HARDWARE);
  const std::string kCardA = " 0.1 A  [] - [] 0 0 0;";
  struct Case {
    const char* name;
    Lines lines;
    std::string expected;
  };
  const Case cases[] = {
      {"no output", {}, std::to_string(PI::ERR_TOOL_FAILED) + " 77 |"},
      {"no results", {"No results", "- IntelSSD X -", "Index: 0"}, kNone + " 77 |"},
      {"no results inside the line", {"Error: No results found"}, kNone + " 77 |"},
      {"only unsupported", Block("0", "INTEL SSDSC2BB480G4", "A"), kNone + " 0 |"},
      {"eleven characters", Block("0", "INTEL SSDPE", "A"), kNone + " 0 |"},
      {"twelve characters", Block("0", "INTEL SSDPED", "A"), "0 1 |" + kCardA},
      {"lower case", Block("0", "intel ssdpedmd400g4", "A"), kNone + " 0 |"},
      {"index without blank",
       {"- IntelSSD A -", "Index:0", std::string("ModelNumber: ") + kCard},
       kNone + " 0 |"},
      {"last drive without trailing header", Block("0", kCard, "A"), "0 1 |" + kCardA},
      {"2.5-inch prefix", Block("0", "INTEL SSDPE2KX020T7", "A"), "0 1 |" + kCardA},
      {"unsupported skipped, numbers dense",
       Join({Block("4", kCard, "A"), Block("5", "INTEL SSDSC2BB480G4", ""),
             Block("6", "INTEL SSDPE2MD800G4", "C")}),
       "0 2 | 4.1 A  [] - [] 0 0 0; 6.2 C  [] - [] 0 0 0;"},
      {"the working record carries keys into later drives",
       Join({Block("0", kCard, "A", {"Firmware: 8DV101H0"}),
             {"- IntelSSD -", "Index: 1", "ModelNumber: INTEL SSDPE2MD800G4"}}),
       "0 2 | 0.1 A 8DV101H0 [] - [] 0 0 0; 1.2 A 8DV101H0 [] - [] 0 0 0;"},
      {"a block without index merges into the next",
       {"- IntelSSD A -", std::string("ModelNumber: ") + kCard, "SerialNumber: A", "- IntelSSD B -",
        "Index: 3"},
       "0 1 | 3.1 A  [] - [] 0 0 0;"},
      {"value rules",
       Block("0", kCard, "A",
             {"ControllerIDEMode: false", "Bootloader:  x", "DevicePath: ", "TempThreshold: 70 C",
              "SectorSize: 512 ", "MaximumLBA: 781422767"}),
       "0 1 | 0.1 A  [ x] ide [] 70 0 781422767;"},
      {"False is the only false; a bootloader needs one character",
       Block("0", kCard, "A",
             {"ControllerIDEMode: False", "Bootloader: ", "DevicePath: /dev/nvme0n1",
              "TempThreshold: 85 degree C", "SectorSize: 512"}),
       "0 1 | 0.1 A  [] - [/dev/nvme0n1] 85 512 0;"},
      {"ControllerIDEMode empty is true", Block("0", kCard, "A", {"ControllerIDEMode: "}),
       "0 1 | 0.1 A  [] ide [] 0 0 0;"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Inventory(c.lines)) << c.name;
}

// "warnings flags spare threshold used read written hours errors | temperature
// throttle wear" of the log after the page's parser (and the temperature bits).
std::string Log(char page, const Lines& lines, bool addInCard = true) {
  CCmdEmuGetlog log;
  log.m_PowerOnHours = 42;
  if (page == '2') CmdEmu::ParsePage2(lines, log);
  if (page == '7') CmdEmu::ParsePage197(lines, addInCard, log);
  if (page == 'J') CmdEmu::ParsePage202(lines, log);
  CmdEmu::AddTemperatureBits(log);
  char text[200];
  std::snprintf(text, sizeof text, "%x %d%d%d%d%d %d %d %d %lx %lx %lu %lu | %d %lu %lu",
                log.m_CriticalWarnings, log.m_SpareBelowThreshold, log.m_TemperatureExceeded,
                log.m_ReliabilityDegraded, log.m_ReadOnlyMode, log.m_VolatileBackupFailed,
                log.m_AvailableSpare, log.m_AvailableSpareThreshold, log.m_PercentageUsed,
                static_cast<unsigned long>(log.m_DataUnitsRead),
                static_cast<unsigned long>(log.m_DataUnitsWritten),
                static_cast<unsigned long>(log.m_PowerOnHours),
                static_cast<unsigned long>(log.m_MediaErrors), log.m_CurrentTemperature,
                static_cast<unsigned long>(log.m_ThermalThrottleStatus),
                static_cast<unsigned long>(log.m_WearLevelingCount));
  return text;
}

TEST(LogPages, FieldsFromEachPage) {
  const std::string kQuiet = "0 00000 100 10 0 0 0 42 0 | ";
  struct Case {
    char page;
    Lines lines;
    bool addInCard;
    std::string expected;
  };
  const Case cases[] = {
      // Page 2: every key, in any case, hexadecimal counters; unrelated lines ignored.
      {'2',
       {"critical warnings: 0x1f", "Available Spare Space has fallen below the threshold: 1",
        "Temperature has exceeded a critical threshold: 1", "Device reliability has degraded: 1",
        "Media is in a read-only mode: 1", "Volatile memory backup device has failed: 1",
        "Available Spare Normalized percentage of the remaining spare capacity available: 97",
        "Available Spare Threshold Percentage: 10", "Percentage Used: 3",
        "Data Units Read: 0x12d687", "DATA UNITS WRITTEN: 0X23CACE", "Power On Hours: 0x2238",
        "Media Errors: 0x1", "Unrelated: 5"},
       true,
       "1f 11111 97 10 3 12d687 23cace 8760 1 | 10 100 0"},
      // Missing lines keep their values; a later line overrides.
      {'2',
       {"Percentage Used: 3", "Percentage Used: 4"},
       true,
       "0 00000 100 10 4 0 0 42 0 | 10 100 0"},
      // Page 197: the margin (5 for cards, 14 otherwise), then the band bits.
      {'7', {"Current Temperature: 75"}, true, "240 00000 100 10 0 0 0 42 0 | 80 100 0"},
      {'7', {"Current Temperature: 75"}, false, "280 00000 100 10 0 0 0 42 0 | 89 100 0"},
      {'7', {"Current Temperature: 64"}, false, "20 00000 100 10 0 0 0 42 0 | 78 100 0"},
      {'7', {"Current Temperature: 72"}, true, kQuiet + "77 100 0"},
      {'7', {"Current Temperature: 74"}, true, "20 00000 100 10 0 0 0 42 0 | 79 100 0"},
      {'7', {"Current Temperature: 78"}, true, "240 00000 100 10 0 0 0 42 0 | 83 100 0"},
      {'7', {"Current Temperature: 79"}, true, "280 00000 100 10 0 0 0 42 0 | 84 100 0"},
      {'7', {"Current Temperature: 30", "Current Temperature: 70"}, true, kQuiet + "75 100 0"},
      {'7', {"Current Temperature: 30 C"}, true, kQuiet + "10 100 0"},  // not a whole line
      // Page 202: only the joined text matches.
      {'J',
       {"ID: E2Description: Timed Workload Media WearNormalized: 100Raw: 0x0"
        "ID: EADescription: Thermal Throttle StatusNormalized: 97Raw: 0x0000"
        "ID: ADDescription: Wear Leveling Count: 88Raw: 0x001a"},
       true,
       kQuiet + "10 97 88"},
      {'J',
       {"ID: EA", "Description: Thermal Throttle Status", "Normalized: 50", "Raw: 0x0"},
       true,
       kQuiet + "10 100 0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, Log(c.page, c.lines, c.addInCard)) << c.page << " " << c.lines[0];
  }
  // The temperature bits are only added, never cleared.
  CCmdEmuGetlog log;
  log.m_CriticalWarnings = 0x11;
  log.m_CurrentTemperature = 20;
  CmdEmu::AddTemperatureBits(log);
  EXPECT_EQ(0x11u, log.m_CriticalWarnings);
}

TEST(Conversion, NumbersBeyondTheirFieldThrow) {
  for (const char* line :
       {"Index: 2147483648", "SectorSize: 4294967296", "MaximumLBA: 18446744073709551616"}) {
    // The records before the failing drive stay; the count is not written.
    const Lines lines = Join({Block("0", kCard, "A"), {"- IntelSSD B -", line}});
    std::vector<CCmdEmuAdapter> records;
    uint64_t count = 77;
    EXPECT_THROW(CmdEmu::ParseInventory(lines, records, count), ConversionError) << line;
    EXPECT_EQ(1u, records.size()) << line;
    EXPECT_EQ(77u, count) << line;
  }
  for (const char* line : {"Critical Warnings: 0x100000000", "Data Units Read: 0x10000000000000000",
                           "Percentage Used: 2147483648"}) {
    CCmdEmuGetlog log;
    EXPECT_THROW(CmdEmu::ParsePage2({line}, log), ConversionError) << line;
  }
  CCmdEmuGetlog log;
  EXPECT_THROW(CmdEmu::ParsePage197({"Current Temperature: 99999999999"}, true, log),
               ConversionError);
}

TEST(Answers, InvalidIndexAndSuccess) {
  EXPECT_TRUE(CmdEmu::IsInvalidIndexAnswer({"Error: Given drive index is invalid.", "x"}));
  EXPECT_FALSE(CmdEmu::IsInvalidIndexAnswer({"ok", "Error: Given drive index is invalid."}));
  EXPECT_FALSE(CmdEmu::IsInvalidIndexAnswer({}));
  const Lines format = {"Formatting...", "Status : Format unsuccessful? no: successfully done"};
  ASSERT_NE(nullptr, CmdEmu::FindSuccessLine(format));
  EXPECT_EQ(format[1], *CmdEmu::FindSuccessLine(format));
  EXPECT_EQ(nullptr, CmdEmu::FindSuccessLine({"Status : Format failed."}));
}

}  // namespace
