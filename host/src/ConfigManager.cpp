#include "TLXX/ConfigManager.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "HostInternal.h"
#include "TLXX/System.h"

namespace TLXX {

namespace {

// Parses exactly `minDigits`..`maxDigits` hex digits at `pos`.
bool ParseHex(const std::string& text, size_t& pos, size_t minDigits, size_t maxDigits,
              unsigned long& value) {
  value = 0;
  size_t digits = 0;
  while (pos < text.size() && digits < maxDigits &&
         std::isxdigit(static_cast<unsigned char>(text[pos]))) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    value = value * 16 + static_cast<unsigned long>(c <= '9' ? c - '0' : c - 'a' + 10);
    ++pos;
    ++digits;
  }
  return digits >= minDigits;
}

bool Expect(const std::string& text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

using Address = std::tuple<int, int, int, int>;  // segment, bus, device, function

// "SSSS:BB:DD.F" (the segment may have more than four digits).
bool ParseAddress(const std::string& name, Address& address) {
  unsigned long segment, bus, device, function;
  size_t pos = 0;
  if (!ParseHex(name, pos, 4, 8, segment) || !Expect(name, pos, ':') ||
      !ParseHex(name, pos, 2, 2, bus) || !Expect(name, pos, ':') ||
      !ParseHex(name, pos, 2, 2, device) || !Expect(name, pos, '.') ||
      !ParseHex(name, pos, 1, 1, function) || pos != name.size()) {
    return false;
  }
  if (segment > 0x7fffffffUL || device > 0x1f || function > 7) return false;
  address = Address(static_cast<int>(segment), static_cast<int>(bus), static_cast<int>(device),
                    static_cast<int>(function));
  return true;
}

// A 16-bit id written as hex, with or without "0x", blanks around it allowed.
bool ParseId(const std::string& raw, unsigned long& id) {
  std::string text = hostfw::Trim(raw);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
  size_t pos = 0;
  return ParseHex(text, pos, 1, 8, id) && pos == text.size() && id <= 0xffff;
}

bool ReadId(const std::string& path, unsigned long& id) {
  std::string content;
  return hostfw::ReadSmallFile(path, content, 64) && ParseId(content, id);
}

}  // namespace

bool CConfigManager::GetLocation(const char* vendor, const char* device, int instance, int& segment,
                                 int& bus, int& dev, int& function) {
  unsigned long wantVendor, wantDevice;
  if (vendor == nullptr || device == nullptr || instance < 1 || !ParseId(vendor, wantVendor) ||
      !ParseId(device, wantDevice)) {
    return false;
  }
  hostfw::NoCancelScope noCancel;  // no cancellation point may leak the DIR*
  try {
    const std::string folder = CSystem::GetSysfsRoot() + "/bus/pci/devices";
    std::vector<Address> found;
    {
      std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
      if (!dir) return false;
      while (const dirent* entry = readdir(dir.get())) {
        Address address;
        if (!ParseAddress(entry->d_name, address)) continue;
        const std::string base = folder + "/" + entry->d_name + "/";
        unsigned long v, d;
        if (ReadId(base + "vendor", v) && ReadId(base + "device", d) && v == wantVendor &&
            d == wantDevice) {
          found.push_back(address);
        }
      }
    }
    if (found.size() < static_cast<size_t>(instance)) return false;
    std::sort(found.begin(), found.end());
    std::tie(segment, bus, dev, function) = found[static_cast<size_t>(instance) - 1];
    return true;
  } catch (...) {  // out of memory
    return false;
  }
}

}  // namespace TLXX
