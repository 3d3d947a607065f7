#include "TLXX/ConfigManager.h"

#include <dirent.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
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

// One entry of the devices folder as readdir gave it.
struct Listed {
  ino_t ino;
  std::string name;
  bool operator==(const Listed& o) const { return ino == o.ino && name == o.name; }
};

// A device whose name is an address and whose two id files were read.
struct Device {
  Address address;
  unsigned long vendor;
  unsigned long device;
};

// What the last call found in the devices folder, and the folder's stamp
// (device, inode, modification and change times) taken before it was listed.
// A call lists the folder again and compares: the same entries (names and
// inode numbers, in the same order) in the same folder reuse the ids read
// before, a readdir instead of two opens per device; any difference reads
// every device again, as does a listing taken while the stamp was under a
// second old. On a local disk or memory file system, which stamps a
// folder on every entry added or removed, a folder whose stamp was already
// a second old when it was listed ("settled") is not listed again while its
// stamp stays the same: one stat per call. The second rules out a change
// within the same timestamp tick as the listing. sysfs (whose folders are
// not stamped reliably) and every other file system are always listed.
// Entries named like a device whose ids could not be read (missing or
// half-written files) are read again on every call, so a tree being written
// is never remembered half done.
struct Enumeration {
  std::string folder;
  dev_t dev = 0;
  ino_t ino = 0;
  timespec mtime{};
  timespec ctime{};
  bool aged = false;  // the stamp was a second old when the folder was listed
  bool settled = false;
  std::vector<Listed> listing;
  std::vector<Device> devices;  // ascending address
  std::vector<Listed> unread;   // address-named entries whose ids could not be read
};

std::mutex g_EnumerationLock;
Enumeration g_Enumeration;      // guarded by g_EnumerationLock
std::vector<Listed> g_Scratch;  // guarded by g_EnumerationLock; reused to spare allocations

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameStamp(const Enumeration& e, const struct stat& st) {
  return e.dev == st.st_dev && e.ino == st.st_ino && SameTime(e.mtime, st.st_mtim) &&
         SameTime(e.ctime, st.st_ctim);
}

// File systems that stamp a folder's modification time whenever an entry is
// added, removed or renamed.
bool StampsFolders(int fd) {
  struct statfs fs {};
  if (fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case TMPFS_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

// True when `stamp` is at least a second older than `now`: a later change
// of the folder cannot carry the same stamp.
bool Older(const timespec& stamp, const timespec& now) {
  return stamp.tv_sec + 1 < now.tv_sec ||
         (stamp.tv_sec + 1 == now.tv_sec && stamp.tv_nsec <= now.tv_nsec);
}

// Reads the address and ids of the entry `listed` of `folder`.
enum class Read { kNotDevice, kDevice, kUnreadable };
Read ReadDevice(const std::string& folder, const Listed& listed, Device& device) {
  if (!ParseAddress(listed.name, device.address)) return Read::kNotDevice;
  const std::string base = folder + "/" + listed.name + "/";
  if (!ReadId(base + "vendor", device.vendor) || !ReadId(base + "device", device.device)) {
    return Read::kUnreadable;
  }
  return Read::kDevice;
}

// Reads every device of `folder`, whose entries are `listing`, into `e`.
void Rebuild(Enumeration& e, const std::string& folder, std::vector<Listed>& listing) {
  std::vector<Device> devices;
  std::vector<Listed> unread;
  for (const Listed& listed : listing) {
    Device device;
    const Read read = ReadDevice(folder, listed, device);
    if (read == Read::kDevice) devices.push_back(device);
    if (read == Read::kUnreadable) unread.push_back(listed);
  }
  std::sort(devices.begin(), devices.end(),
            [](const Device& a, const Device& b) { return a.address < b.address; });
  e.folder = folder;
  e.listing.swap(listing);
  e.devices.swap(devices);
  e.unread.swap(unread);
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
  std::lock_guard<std::mutex> lock(g_EnumerationLock);
  Enumeration& e = g_Enumeration;
  try {
    const std::string folder = CSystem::GetSysfsRoot() + "/bus/pci/devices";
    struct stat st {};
    bool current = false;  // the stamp proves the listing as it was
    bool rebuilt = false;  // every entry was read by this call
    if (e.settled && e.folder == folder) {
      if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
      current = SameStamp(e, st);
    }
    if (!current) {
      std::vector<Listed>& listing = g_Scratch;
      listing.clear();
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);  // before the stamp: see Older
      bool stampsFolders = false;
      {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
        if (!dir || fstat(dirfd(dir.get()), &st) != 0) return false;
        stampsFolders = StampsFolders(dirfd(dir.get()));
        while (const dirent* entry = readdir(dir.get())) {
          const char* name = entry->d_name;
          if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
          }
          listing.push_back(Listed{entry->d_ino, name});
        }
      }
      // Ids read while the stamp was less than a second old are not reused:
      // an entry replaced within the same timestamp tick (same name, reused
      // inode) would leave both the stamp and the listing as they were.
      if (e.folder != folder || !SameStamp(e, st) || !e.aged || e.listing != listing) {
        Rebuild(e, folder, listing);
        rebuilt = true;
      }
      e.dev = st.st_dev;
      e.ino = st.st_ino;
      e.mtime = st.st_mtim;
      e.ctime = st.st_ctim;
      e.aged = Older(st.st_mtim, now) && Older(st.st_ctim, now);
      e.settled = stampsFolders && e.aged;
    }
    if (!rebuilt && !e.unread.empty()) {
      // Entries that could not be read before may be complete by now.
      const size_t before = e.devices.size();
      for (auto it = e.unread.begin(); it != e.unread.end();) {
        Device d;
        if (ReadDevice(folder, *it, d) == Read::kDevice) {
          e.devices.push_back(d);
          it = e.unread.erase(it);
        } else {
          ++it;
        }
      }
      if (e.devices.size() != before) {
        std::sort(e.devices.begin(), e.devices.end(),
                  [](const Device& a, const Device& b) { return a.address < b.address; });
      }
    }
    int seen = 0;
    for (const Device& d : e.devices) {
      if (d.vendor != wantVendor || d.device != wantDevice || ++seen < instance) continue;
      std::tie(segment, bus, dev, function) = d.address;
      return true;
    }
    return false;
  } catch (...) {  // out of memory: forget what was found, read it all next time
    e = Enumeration();
    return false;
  }
}

}  // namespace TLXX
