// The patterns the command emulation reads the SSD tool's text with, in the
// order they are tried (the first pattern that matches a line decides).
// Inventory and version patterns compile with no flags; the health-page
// patterns with flag 8 (literal text ignores case). Each key row also names
// the record field its value fills and the conversion, so that adding a key
// is adding a row. Pure data: benchmarks, tests and fuzz targets use the
// same tables as the parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "NimbraCmdEmuRecords.h"

namespace NAMESPACE_Nimbra {
namespace Patterns {

// How a key line's value is stored: the field of the record its group 1
// fills, and the conversion it takes on the way. One maker per conversion.
template <class Record>
struct Key {
  enum class Kind { kText, kFlag, kIndex, kDecimal32, kSigned32, kDecimal64, kHex32, kHex64 };
  const char* pattern;
  Kind kind;
  std::string Record::*text;
  bool Record::*flag;
  uint32_t Record::*u32;
  int32_t Record::*i32;
  uint64_t Record::*u64;
};

template <class R>
constexpr Key<R> Text(const char* pattern, std::string R::*field) {
  return {pattern, Key<R>::Kind::kText, field, nullptr, nullptr, nullptr, nullptr};
}
// False when the value is exactly "False", true for any other text.
template <class R>
constexpr Key<R> Flag(const char* pattern, bool R::*field) {
  return {pattern, Key<R>::Kind::kFlag, nullptr, field, nullptr, nullptr, nullptr};
}
// The drive index: converted as a signed 32-bit number; the parser also
// numbers the record.
template <class R>
constexpr Key<R> Index(const char* pattern, uint32_t R::*field) {
  return {pattern, Key<R>::Kind::kIndex, nullptr, nullptr, field, nullptr, nullptr};
}
template <class R>
constexpr Key<R> Decimal32(const char* pattern, uint32_t R::*field) {
  return {pattern, Key<R>::Kind::kDecimal32, nullptr, nullptr, field, nullptr, nullptr};
}
template <class R>
constexpr Key<R> Signed32(const char* pattern, int32_t R::*field) {
  return {pattern, Key<R>::Kind::kSigned32, nullptr, nullptr, nullptr, field, nullptr};
}
template <class R>
constexpr Key<R> Decimal64(const char* pattern, uint64_t R::*field) {
  return {pattern, Key<R>::Kind::kDecimal64, nullptr, nullptr, nullptr, nullptr, field};
}
template <class R>
constexpr Key<R> Hex32(const char* pattern, uint32_t R::*field) {
  return {pattern, Key<R>::Kind::kHex32, nullptr, nullptr, field, nullptr, nullptr};
}
template <class R>
constexpr Key<R> Hex64(const char* pattern, uint64_t R::*field) {
  return {pattern, Key<R>::Kind::kHex64, nullptr, nullptr, nullptr, nullptr, field};
}

// "show -all -intelssd": a drive block starts at a header line (search).
constexpr const char* kInventoryHeader = "^- IntelSSD";

// Key lines of a drive block (exact match), "Index" first.
using A = CCmdEmuAdapter;
constexpr Key<A> kInventory[] = {
    Index("^Index: ([:digit:]+)$", &A::m_Index),
    Text("^Bootloader: (.+)$", &A::m_Bootloader),
    Text("^ControllerDescription: (.*)$", &A::m_ControllerDescription),
    Flag("^ControllerIDEMode: (.*)$", &A::m_ControllerIDEMode),
    Text("^ControllerManufacturer: (.*)$", &A::m_ControllerManufacturer),
    Text("^ControllerService: (.*)$", &A::m_ControllerService),
    Text("^DevicePath: (.*)$", &A::m_DevicePath),
    Text("^DeviceStatus: (.*)$", &A::m_DeviceStatus),
    Text("^DriverDescription: (.*)$", &A::m_DriverDescription),
    Text("^DriverMajorVersion: ([:digit:]+)$", &A::m_DriverMajorVersion),
    Text("^DriverManufacturer: (.*)$", &A::m_DriverManufacturer),
    Text("^DriverMinorVersion: ([:digit:]+)$", &A::m_DriverMinorVersion),
    Text("^ErrorString: (.*)$", &A::m_ErrorString),
    Text("^Firmware: (.+)$", &A::m_Firmware),
    Decimal32("^LBAFormat: ([:digit:]+)$", &A::m_LBAFormat),
    Text("^ProductFamily: (.*)$", &A::m_ProductFamily),
    Decimal64("^MaximumLBA: ([:digit:]+)$", &A::m_MaximumLBA),
    Text("^ModelNumber: (.*)$", &A::m_ModelNumber),
    Decimal64("^NativeMaxLBA: ([:digit:]+)$", &A::m_NativeMaxLBA),
    Decimal32("^NumLBAFormats: ([:digit:]+)$", &A::m_NumLBAFormats),
    Decimal32("^NVMePowerState: ([:digit:]+)$", &A::m_NVMePowerState),
    Decimal64("^PhysicalSize: ([:digit:]+)$", &A::m_PhysicalSize),
    Text("^PowerGovernerMode: (.*)$", &A::m_PowerGovernerMode),
    Decimal32("^SectorSize: ([:digit:]+)$", &A::m_SectorSize),
    Text("^SerialNumber: (.*)$", &A::m_SerialNumber),
    Decimal32("^TempThreshold: ([:digit:]+).*$", &A::m_TempThreshold),
};
constexpr std::size_t kInventoryCount = sizeof(kInventory) / sizeof(kInventory[0]);

// "version" (exact match).
constexpr const char* kVersion = "^Version: (.*)$";

// Log page 2, SMART / health information (exact match, ignoring case).
using G = CCmdEmuGetlog;
constexpr Key<G> kPage2[] = {
    Hex32("^Critical Warnings: (0x[:xdigit:]+)", &G::m_CriticalWarnings),
    Signed32("^Available Spare Space has fallen below the threshold: ([:digit:]+)",
             &G::m_SpareBelowThreshold),
    Signed32("^Temperature has exceeded a critical threshold: ([:digit:]+)",
             &G::m_TemperatureExceeded),
    Signed32("^Device reliability has degraded: ([:digit:]+)", &G::m_ReliabilityDegraded),
    Signed32("^Media is in a read-only mode: ([:digit:]+)", &G::m_ReadOnlyMode),
    Signed32("^Volatile memory backup device has failed: ([:digit:]+)", &G::m_VolatileBackupFailed),
    Signed32("^Available Spare Normalized percentage of the remaining spare capacity available: "
             "([:digit:]+)",
             &G::m_AvailableSpare),
    Signed32("^Available Spare Threshold Percentage: ([:digit:]+)", &G::m_AvailableSpareThreshold),
    Signed32("^Percentage Used: ([:digit:]+)", &G::m_PercentageUsed),
    Hex64("^Data Units Read: (0x[:xdigit:]+)", &G::m_DataUnitsRead),
    Hex64("^Data Units Written: (0x[:xdigit:]+)", &G::m_DataUnitsWritten),
    Hex64("^Power On Hours: (0x[:xdigit:]+)", &G::m_PowerOnHours),
    Hex64("^Media Errors: (0x[:xdigit:]+)", &G::m_MediaErrors),
};
constexpr std::size_t kPage2Count = sizeof(kPage2) / sizeof(kPage2[0]);

// Log page 197, temperature (exact match, ignoring case).
constexpr const char* kPage197 = "^Current Temperature: ([:digit:]+)";

// Log page 202, vendor attributes, searched in the joined text of the page.
constexpr const char* kPage202Throttle =
    "ID: EADescription: Thermal Throttle StatusNormalized: ([:digit:]+)Raw: (0x[:xdigit:]+)";
constexpr const char* kPage202Wear =
    "ID: ADDescription: Wear Leveling Count: ([:digit:]+)Raw: (0x[:xdigit:]+)";

// Compile flags.
constexpr int kFlagsExact = 0;
constexpr int kFlagsIgnoreCase = 8;

}  // namespace Patterns
}  // namespace NAMESPACE_Nimbra
