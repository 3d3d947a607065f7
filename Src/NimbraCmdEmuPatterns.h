// The patterns the command emulation reads the SSD tool's text with, in the
// order they are tried (the first pattern that matches a line decides).
// Inventory and version patterns compile with no flags; the health-page
// patterns with flag 8 (literal text ignores case). Pure data: benchmarks,
// tests and fuzz targets use the same tables as the parsers.
#pragma once

#include <cstddef>

namespace NAMESPACE_Nimbra {
namespace Patterns {

// "show -all -intelssd": a drive block starts at a header line (search).
constexpr const char* kInventoryHeader = "^- IntelSSD";

// Key lines of a drive block (exact match), "Index" first.
constexpr const char* kInventory[] = {
    "^Index: ([:digit:]+)$",
    "^Bootloader: (.+)$",
    "^ControllerDescription: (.*)$",
    "^ControllerIDEMode: (.*)$",
    "^ControllerManufacturer: (.*)$",
    "^ControllerService: (.*)$",
    "^DevicePath: (.*)$",
    "^DeviceStatus: (.*)$",
    "^DriverDescription: (.*)$",
    "^DriverMajorVersion: ([:digit:]+)$",
    "^DriverManufacturer: (.*)$",
    "^DriverMinorVersion: ([:digit:]+)$",
    "^ErrorString: (.*)$",
    "^Firmware: (.+)$",
    "^LBAFormat: ([:digit:]+)$",
    "^ProductFamily: (.*)$",
    "^MaximumLBA: ([:digit:]+)$",
    "^ModelNumber: (.*)$",
    "^NativeMaxLBA: ([:digit:]+)$",
    "^NumLBAFormats: ([:digit:]+)$",
    "^NVMePowerState: ([:digit:]+)$",
    "^PhysicalSize: ([:digit:]+)$",
    "^PowerGovernerMode: (.*)$",
    "^SectorSize: ([:digit:]+)$",
    "^SerialNumber: (.*)$",
    "^TempThreshold: ([:digit:]+).*$",
};
constexpr std::size_t kInventoryCount = sizeof(kInventory) / sizeof(kInventory[0]);

// "version" (exact match).
constexpr const char* kVersion = "^Version: (.*)$";

// Log page 2, SMART / health information (exact match, ignoring case).
constexpr const char* kPage2[] = {
    "^Critical Warnings: (0x[:xdigit:]+)",
    "^Available Spare Space has fallen below the threshold: ([:digit:]+)",
    "^Temperature has exceeded a critical threshold: ([:digit:]+)",
    "^Device reliability has degraded: ([:digit:]+)",
    "^Media is in a read-only mode: ([:digit:]+)",
    "^Volatile memory backup device has failed: ([:digit:]+)",
    ("^Available Spare Normalized percentage of the remaining spare capacity available: "
     "([:digit:]+)"),
    "^Available Spare Threshold Percentage: ([:digit:]+)",
    "^Percentage Used: ([:digit:]+)",
    "^Data Units Read: (0x[:xdigit:]+)",
    "^Data Units Written: (0x[:xdigit:]+)",
    "^Power On Hours: (0x[:xdigit:]+)",
    "^Media Errors: (0x[:xdigit:]+)",
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
