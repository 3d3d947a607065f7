// The parsers of the SSD tool's text, fed canned output.
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
Lines Block(const std::string& index, const std::string& model, const std::string& serial) {
  Lines l = {"- IntelSSD " + serial + " -", "", "Index: " + index, "ModelNumber: " + model};
  if (!serial.empty()) l.push_back("SerialNumber: " + serial);
  return l;
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Inventory {
  uint32_t status;
  uint64_t count = 77;
  std::vector<CCmdEmuAdapter> records;
};

Inventory Parse(const Lines& lines) {
  Inventory inv;
  inv.status = CmdEmu::ParseInventory(lines, inv.records, inv.count);
  return inv;
}

TEST(Inventory, StatusAndCount) {
  struct Case {
    const char* name;
    Lines lines;
    uint32_t status;
    uint64_t count;  // 77: not written
    size_t records;
  };
  const Case cases[] = {
      {"no output", {}, PI::ERR_TOOL_FAILED, 77, 0},
      {"no results",
       {"No results", "- IntelSSD X -", "Index: 0"},
       PI::ERR_NO_SUPPORTED_HARDWARE,
       77,
       0},
      {"no results inside the line",
       {"Error: No results found"},
       PI::ERR_NO_SUPPORTED_HARDWARE,
       77,
       0},
      {"only unsupported", Block("0", "INTEL SSDSC2BB480G4", "A"), PI::ERR_NO_SUPPORTED_HARDWARE, 0,
       0},
      {"last drive without trailing header", Block("0", "INTEL SSDPEDMD400G4", "A"), 0, 1, 1},
      {"two drives",
       Join({Block("0", "INTEL SSDPEDMD400G4", "A"), Block("1", "INTEL SSDPE2MD800G4", "B")}), 0, 2,
       2},
      {"eleven characters", Block("0", "INTEL SSDPE", "A"), PI::ERR_NO_SUPPORTED_HARDWARE, 0, 0},
      {"2.5-inch prefix", Block("0", "INTEL SSDPE2KX020T7", "A"), 0, 1, 1},
      {"index without blank",
       {"- IntelSSD A -", "Index:0", "ModelNumber: INTEL SSDPEDMD400G4"},
       PI::ERR_NO_SUPPORTED_HARDWARE,
       0,
       0},
      {"garbage only", {"\xff\xfe", "Index: x", "::::"}, PI::ERR_NO_SUPPORTED_HARDWARE, 0, 0},
  };
  for (const Case& c : cases) {
    const Inventory inv = Parse(c.lines);
    EXPECT_EQ(c.status, inv.status) << c.name;
    EXPECT_EQ(c.count, inv.count) << c.name;
    EXPECT_EQ(c.records, inv.records.size()) << c.name;
  }
}

TEST(Inventory, UnsupportedDriveIsSkippedAndNumbersStayDense) {
  const Inventory inv =
      Parse(Join({Block("4", "INTEL SSDPEDMD400G4", "A"), Block("5", "INTEL SSDSC2BB480G4", ""),
                  Block("6", "INTEL SSDPE2MD800G4", "C")}));
  ASSERT_EQ(0u, inv.status);
  ASSERT_EQ(2u, inv.records.size());
  EXPECT_EQ(4u, inv.records[0].m_Index);
  EXPECT_EQ(1u, inv.records[0].m_Number);
  EXPECT_EQ(6u, inv.records[1].m_Index);
  EXPECT_EQ(2u, inv.records[1].m_Number);
  EXPECT_EQ("C", inv.records[1].m_SerialNumber);
}

TEST(Inventory, WorkingRecordCarriesKeysIntoLaterDrives) {
  // The second block has no serial-number or firmware line: it keeps the first's.
  Lines lines = Block("0", "INTEL SSDPEDMD400G4", "FIRST");
  lines.push_back("Firmware: 8DV101H0");
  lines.insert(lines.end(), {"- IntelSSD -", "Index: 1", "ModelNumber: INTEL SSDPE2MD800G4"});
  const Inventory inv = Parse(lines);
  ASSERT_EQ(2u, inv.records.size());
  EXPECT_EQ("FIRST", inv.records[1].m_SerialNumber);
  EXPECT_EQ("8DV101H0", inv.records[1].m_Firmware);
}

TEST(Inventory, BlockWithoutIndexIsMergedIntoTheNext) {
  const Inventory inv = Parse({"- IntelSSD A -", "ModelNumber: INTEL SSDPEDMD400G4",
                               "SerialNumber: A", "- IntelSSD B -", "Index: 3"});
  ASSERT_EQ(1u, inv.records.size());
  EXPECT_EQ(3u, inv.records[0].m_Index);
  EXPECT_EQ("A", inv.records[0].m_SerialNumber);
}

TEST(Inventory, EveryKeyIsStored) {
  const Inventory inv = Parse({
      "- IntelSSD PHFT0001000A400BGN -",
      "Bootloader: 8B1B0133",
      "ControllerDescription: NVMe Controller",
      "ControllerIDEMode: False",
      "ControllerManufacturer: Intel",
      "ControllerService: nvme",
      "DevicePath: /dev/nvme0n1",
      "DeviceStatus: Healthy",
      "DriverDescription: NVMe driver",
      "DriverMajorVersion: 1",
      "DriverManufacturer: Linux",
      "DriverMinorVersion: 2",
      "ErrorString: ",
      "Firmware: 8DV101H0",
      "Index: 0",
      "LBAFormat: 3",
      "ProductFamily: Intel SSD DC P3700 Series",
      "MaximumLBA: 781422767",
      "ModelNumber: INTEL SSDPEDMD400G4",
      "NativeMaxLBA: 781422768",
      "NumLBAFormats: 6",
      "NVMePowerState: 1",
      "PhysicalSize: 400088457216",
      "PowerGovernerMode: 0 (25W)",
      "SectorSize: 512",
      "SerialNumber: PHFT0001000A400BGN",
      "TempThreshold: 85 degree C",
  });
  ASSERT_EQ(1u, inv.records.size());
  const CCmdEmuAdapter& r = inv.records[0];
  EXPECT_EQ("8B1B0133", r.m_Bootloader);
  EXPECT_EQ("NVMe Controller", r.m_ControllerDescription);
  EXPECT_FALSE(r.m_ControllerIDEMode);
  EXPECT_EQ("Intel", r.m_ControllerManufacturer);
  EXPECT_EQ("nvme", r.m_ControllerService);
  EXPECT_EQ("/dev/nvme0n1", r.m_DevicePath);
  EXPECT_EQ("Healthy", r.m_DeviceStatus);
  EXPECT_EQ("NVMe driver", r.m_DriverDescription);
  EXPECT_EQ("1", r.m_DriverMajorVersion);
  EXPECT_EQ("Linux", r.m_DriverManufacturer);
  EXPECT_EQ("2", r.m_DriverMinorVersion);
  EXPECT_EQ("", r.m_ErrorString);
  EXPECT_EQ("8DV101H0", r.m_Firmware);
  EXPECT_EQ(3u, r.m_LBAFormat);
  EXPECT_EQ("Intel SSD DC P3700 Series", r.m_ProductFamily);
  EXPECT_EQ(781422767u, r.m_MaximumLBA);
  EXPECT_EQ(781422768u, r.m_NativeMaxLBA);
  EXPECT_EQ(6u, r.m_NumLBAFormats);
  EXPECT_EQ(1u, r.m_NVMePowerState);
  EXPECT_EQ(400088457216u, r.m_PhysicalSize);
  EXPECT_EQ("0 (25W)", r.m_PowerGovernerMode);
  EXPECT_EQ(512u, r.m_SectorSize);
  EXPECT_EQ(85u, r.m_TempThreshold);
}

TEST(Inventory, ValueRules) {
  struct Case {
    const char* line;
    const char* field;
    std::string expected;
  };
  const Case cases[] = {
      {"ControllerIDEMode: false", "ide", "1"},  // only "False" is false
      {"ControllerIDEMode: ", "ide", "1"},
      {"ControllerIDEMode: False", "ide", "0"},
      {"Bootloader: ", "bootloader", "(unset)"},  // needs one character
      {"Bootloader:  x", "bootloader", " x"},
      {"DevicePath: ", "path", ""},
      {"TempThreshold: 70 C", "threshold", "70"},
      {"SectorSize: 512 ", "sector", "0"},  // nothing may follow the digits
  };
  for (const Case& c : cases) {
    Lines lines = Block("0", "INTEL SSDPEDMD400G4", "A");
    lines.push_back(c.line);
    const Inventory inv = Parse(lines);
    ASSERT_EQ(1u, inv.records.size()) << c.line;
    const CCmdEmuAdapter& r = inv.records[0];
    std::string got;
    const std::string field = c.field;
    if (field == "ide") got = r.m_ControllerIDEMode ? "1" : "0";
    if (field == "bootloader") got = r.m_Bootloader.empty() ? "(unset)" : r.m_Bootloader;
    if (field == "path") got = r.m_DevicePath;
    if (field == "threshold") got = std::to_string(r.m_TempThreshold);
    if (field == "sector") got = std::to_string(r.m_SectorSize);
    EXPECT_EQ(c.expected, got) << c.line;
  }
}

TEST(Inventory, NumbersBeyondTheirFieldThrowAndKeepEarlierRecords) {
  struct Case {
    const char* line;
  };
  const Case cases[] = {
      {"Index: 2147483648"}, {"SectorSize: 4294967296"}, {"MaximumLBA: 18446744073709551616"}};
  for (const Case& c : cases) {
    Lines lines = Block("0", "INTEL SSDPEDMD400G4", "A");
    lines.insert(lines.end(), {"- IntelSSD B -", c.line});
    std::vector<CCmdEmuAdapter> records;
    uint64_t count = 77;
    EXPECT_THROW(CmdEmu::ParseInventory(lines, records, count), ConversionError) << c.line;
    EXPECT_EQ(1u, records.size()) << c.line;
    EXPECT_EQ(77u, count) << c.line;
  }
}

TEST(Inventory, HostileLinesNeitherCrashNorHang) {
  const std::string huge(1 << 20, '9');
  Lines lines = {"Index: " + huge.substr(0, 5), std::string("Model\0Number: x", 15),
                 "ModelNumber: INTEL SSDPEDMD400G4\r", "\x80\x81\xfe" + huge,
                 "SerialNumber: " + huge};
  std::vector<CCmdEmuAdapter> records;
  uint64_t count = 0;
  EXPECT_EQ(0u, CmdEmu::ParseInventory(lines, records, count));
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("INTEL SSDPEDMD400G4\r", records[0].m_ModelNumber);
  EXPECT_EQ(huge.size(), records[0].m_SerialNumber.size());
  EXPECT_THROW(CmdEmu::ParseInventory({"Index: " + huge}, records, count), ConversionError);
}

TEST(Version, FirstMatchingLineCounts) {
  struct Case {
    Lines lines;
    uint32_t status;
    const char* version;
  };
  const Case cases[] = {
      {{"Intel Data Center Tool", "", "Version: 3.0.0", "Version: 9"}, 0, "3.0.0"},
      {{"Version: "}, 0, ""},
      {{"Version:"}, PI::ERR_TOOL_FAILED, "untouched"},
      {{"version: 3.0.0"}, PI::ERR_TOOL_FAILED, "untouched"},
      {{"Tool Version: 3"}, PI::ERR_TOOL_FAILED, "untouched"},
  };
  for (const Case& c : cases) {
    std::string version = "untouched";
    EXPECT_EQ(c.status, CmdEmu::ParseVersion(c.lines, version));
    EXPECT_EQ(c.version, version);
  }
}

TEST(LogPages, Page2KeysAndCase) {
  CCmdEmuGetlog log;
  CmdEmu::ParsePage2(
      {"critical warnings: 0x1f", "Available Spare Space has fallen below the threshold: 1",
       "Temperature has exceeded a critical threshold: 1", "Device reliability has degraded: 1",
       "Media is in a read-only mode: 1", "Volatile memory backup device has failed: 1",
       "Available Spare Normalized percentage of the remaining spare capacity available: 97",
       "Available Spare Threshold Percentage: 10", "Percentage Used: 3",
       "Data Units Read: 0x12d687", "DATA UNITS WRITTEN: 0X23CACE", "Power On Hours: 0x2238",
       "Media Errors: 0x0", "Unrelated: 5"},
      log);
  EXPECT_EQ(0x1fu, log.m_CriticalWarnings);
  EXPECT_EQ(1, log.m_SpareBelowThreshold);
  EXPECT_EQ(1, log.m_TemperatureExceeded);
  EXPECT_EQ(1, log.m_ReliabilityDegraded);
  EXPECT_EQ(1, log.m_ReadOnlyMode);
  EXPECT_EQ(1, log.m_VolatileBackupFailed);
  EXPECT_EQ(97, log.m_AvailableSpare);
  EXPECT_EQ(10, log.m_AvailableSpareThreshold);
  EXPECT_EQ(3, log.m_PercentageUsed);
  EXPECT_EQ(0x12d687u, log.m_DataUnitsRead);
  EXPECT_EQ(0x23caceu, log.m_DataUnitsWritten);
  EXPECT_EQ(0x2238u, log.m_PowerOnHours);
  EXPECT_EQ(0u, log.m_MediaErrors);
}

TEST(LogPages, MissingLinesKeepValuesAndLaterLinesOverride) {
  CCmdEmuGetlog log;
  log.m_PowerOnHours = 42;
  CmdEmu::ParsePage2({"Percentage Used: 3", "Percentage Used: 4"}, log);
  EXPECT_EQ(4, log.m_PercentageUsed);
  EXPECT_EQ(42u, log.m_PowerOnHours);
  EXPECT_EQ(100, log.m_AvailableSpare);
}

TEST(LogPages, TemperatureMarginAndBands) {
  struct Case {
    Lines lines;
    bool addInCard;
    int32_t temperature;
    uint32_t bits;
  };
  const Case cases[] = {
      {{"Current Temperature: 75"}, true, 80, 0x200 | 0x40},
      {{"Current Temperature: 75"}, false, 89, 0x200 | 0x80},
      {{"Current Temperature: 64"}, false, 78, 0x20},
      {{"Current Temperature: 74"}, true, 79, 0x20},
      {{"Current Temperature: 72"}, true, 77, 0},
      {{"Current Temperature: 78"}, true, 83, 0x200 | 0x40},
      {{"Current Temperature: 79"}, true, 84, 0x200 | 0x80},
      {{"Current Temperature: 30", "Current Temperature: 70"}, true, 75, 0},  // the last counts
      {{"Current Temperature: 30 C"}, true, 10, 0},  // not a whole line: the initial 10 stays
      {{}, false, 10, 0},
  };
  for (const Case& c : cases) {
    CCmdEmuGetlog log;
    CmdEmu::ParsePage197(c.lines, c.addInCard, log);
    CmdEmu::AddTemperatureBits(log);
    EXPECT_EQ(c.temperature, log.m_CurrentTemperature) << c.lines.size();
    EXPECT_EQ(c.bits, log.m_CriticalWarnings) << c.temperature;
  }
}

TEST(LogPages, TemperatureBitsAreOnlyAdded) {
  CCmdEmuGetlog log;
  log.m_CriticalWarnings = 0x11;
  log.m_CurrentTemperature = 20;
  CmdEmu::AddTemperatureBits(log);
  EXPECT_EQ(0x11u, log.m_CriticalWarnings);
}

TEST(LogPages, Page202OnlyJoinedTextMatches) {
  const std::string joined =
      "ID: E2Description: Timed Workload Media WearNormalized: 100Raw: 0x0"
      "ID: EADescription: Thermal Throttle StatusNormalized: 97Raw: 0x0000"
      "ID: ADDescription: Wear Leveling Count: 88Raw: 0x001a";
  CCmdEmuGetlog log;
  CmdEmu::ParsePage202({joined}, log);
  EXPECT_EQ(97u, log.m_ThermalThrottleStatus);
  EXPECT_EQ(88u, log.m_WearLevelingCount);

  CCmdEmuGetlog separate;
  CmdEmu::ParsePage202(
      {"ID: EA", "Description: Thermal Throttle Status", "Normalized: 50", "Raw: 0x0"}, separate);
  EXPECT_EQ(100u, separate.m_ThermalThrottleStatus);
  EXPECT_EQ(0u, separate.m_WearLevelingCount);
}

TEST(LogPages, NumbersBeyondTheirFieldThrow) {
  for (const Lines& lines :
       {Lines{"Critical Warnings: 0x100000000"}, Lines{"Data Units Read: 0x10000000000000000"},
        Lines{"Percentage Used: 2147483648"}}) {
    CCmdEmuGetlog log;
    EXPECT_THROW(CmdEmu::ParsePage2(lines, log), ConversionError) << lines[0];
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

// The quick path for plain digits must agree with the stream converter on
// every text: the same value, or the same refusal.
template <class T>
void ExpectSameAsStream(const std::string& text, Base base) {
  const boost::optional<T> stream = boost::convert<T>(text, detail::Converter(base));
  if (stream) {
    EXPECT_EQ(ToNumber<T>(text, base), *stream) << '"' << text << '"';
  } else {
    EXPECT_THROW(ToNumber<T>(text, base), ConversionError) << '"' << text << '"';
  }
}

TEST(Conversion, AgreesWithTheStreamConverter) {
  const char* const texts[] = {"0",
                               "7",
                               "007",
                               "42",
                               "2147483647",
                               "2147483648",
                               "-2147483648",
                               "-2147483649",
                               "4294967295",
                               "4294967296",
                               "18446744073709551615",
                               "18446744073709551616",
                               "-1",
                               "-0",
                               "+5",
                               " 5",
                               "5 ",
                               "",
                               " ",
                               "1e3",
                               "0x",
                               "0x1F",
                               "0X1f",
                               "1F",
                               "ff",
                               "0x-1",
                               "-0x1",
                               "0x0x1",
                               "0xffffffff",
                               "0x100000000",
                               "0xffffffffffffffff",
                               "0x10000000000000000",
                               "12a",
                               "\t9",
                               "99999999999999999999999"};
  for (const char* t : texts) {
    for (Base base : {Base::kDecimal, Base::kHexadecimal}) {
      ExpectSameAsStream<uint32_t>(t, base);
      ExpectSameAsStream<int32_t>(t, base);
      ExpectSameAsStream<uint64_t>(t, base);
    }
  }
}
