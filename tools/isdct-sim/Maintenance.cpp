#include "Maintenance.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "FleetJson.h"
#include "Printers.h"

namespace isdct_sim {
namespace {

constexpr const char* kTooLarge = "18446744073709551616";

MaintenanceResult Success(const Drive& d, const std::string& status, const std::string& detail,
                          bool outOfRange) {
  std::string text = DriveHeader(d) + "\nStatus : " + status + "\n";
  if (!detail.empty()) text += detail + "\n";
  if (outOfRange) text += "LBAs processed: " + std::string(kTooLarge) + "\n";
  return {true, text};
}

MaintenanceResult Failure(const std::string& message) {
  return {false, "Error: " + message + "\n"};
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Decimal digits only, fitting 64 bits.
std::optional<uint64_t> Decimal(const std::string& text) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return std::nullopt;
  }
  return ParseUnsigned(text);
}

}  // namespace

MaintenanceResult FormatDrive(Drive& d, const FormatOptions& o, bool outOfRange) {
  if (o.lbaFormat >= kNumLbaFormats) {
    return Failure("LBAFormat " + std::to_string(o.lbaFormat) + " is not supported (0 to " +
                   std::to_string(kNumLbaFormats - 1) + ").");
  }
  if (o.secureErase > 2) return Failure("SecureEraseSetting must be 0, 1 or 2.");
  if (o.protectionInfo > 3) return Failure("ProtectionInformation must be 0 to 3.");
  if (o.metadataSetting > 1) return Failure("MetadataSetting must be 0 or 1.");
  const uint32_t newSize = SectorSizeOfLbaFormat(static_cast<uint32_t>(o.lbaFormat));
  const uint32_t oldSize = d.sectorSize == 0 ? newSize : d.sectorSize;
  auto rescale = [&](uint64_t lbas) {
    return newSize >= oldSize ? lbas / (newSize / oldSize) : lbas * (oldSize / newSize);
  };
  d.nativeMaxLBA = rescale(d.nativeMaxLBA);
  d.maximumLBA = rescale(d.maximumLBA);
  d.sectorSize = newSize;
  d.lbaFormat = static_cast<uint32_t>(o.lbaFormat);
  d.erased = true;
  return Success(d, "Format successful.",
                 "LBAFormat " + std::to_string(d.lbaFormat) + ": " + std::to_string(newSize) +
                     "-byte sectors, MaximumLBA " + std::to_string(d.maximumLBA) + ".",
                 outOfRange);
}

MaintenanceResult EraseDrive(Drive& d, bool outOfRange) {
  d.erased = true;
  return Success(d, "Delete successful.", "", outOfRange);
}

MaintenanceResult ApplySetting(Drive& d, const std::string& name, const std::string& value,
                               bool outOfRange) {
  if (name.empty() || value.empty()) return Failure("Expected a setting Name=Value.");
  if (name != "MaximumLBA") {
    d.settings[name] = value;
    return Success(d, "Set " + name + " successful.", "", outOfRange);
  }
  const std::string v = Lower(value);
  uint64_t lbas = 0;
  if (v == "native") {
    lbas = d.nativeMaxLBA;
  } else if (auto gigabytes =
                 EndsWith(v, "gb") ? Decimal(v.substr(0, v.size() - 2)) : std::nullopt) {
    lbas = *gigabytes > 0 && *gigabytes < 1000000 ? LbasForGigabytes(*gigabytes, d.sectorSize) : 0;
  } else if (auto percent = v[0] == 'x' ? Decimal(v.substr(1)) : std::nullopt) {
    if (*percent < 1 || *percent > 100) {
      return Failure("MaximumLBA=" + value + ": the percentage must be 1 to 100.");
    }
    lbas = d.nativeMaxLBA / 100 * *percent + d.nativeMaxLBA % 100 * *percent / 100;
  } else if (auto count = Decimal(v)) {
    lbas = *count;
  } else {
    return Failure("MaximumLBA=" + value +
                   " is not valid; use native, a number of LBAs, <n>GB or X<percent>.");
  }
  if (lbas < 1 || lbas > d.nativeMaxLBA) {
    return Failure("MaximumLBA=" + value + " is out of range (1 to " +
                   std::to_string(d.nativeMaxLBA) + " LBAs).");
  }
  d.maximumLBA = lbas;
  return Success(d, "Set MaximumLBA successful.",
                 "New MaximumLBA is " + std::to_string(lbas) + " of " +
                     std::to_string(d.nativeMaxLBA) + " LBAs.",
                 outOfRange);
}

}  // namespace isdct_sim
