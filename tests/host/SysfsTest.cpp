// PCI lookup and kernel-module versions against a sysfs tree in a temporary
// folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "TLXX/ConfigManager.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using Location = std::tuple<int, int, int, int>;
const Location kNone(-1, -1, -1, -1);

class SysfsTest : public ::testing::Test {
 protected:
  void SetUp() override { TLXX::CSystem::SetSysfsRoot(m_Root.path()); }
  void TearDown() override { TLXX::CSystem::SetSysfsRoot(""); }

  void AddDevice(const std::string& address, const std::string& vendor, const std::string& device) {
    const std::string base = "bus/pci/devices/" + address;
    m_Root.Write(base + "/vendor", vendor);
    if (!device.empty()) m_Root.Write(base + "/device", device);
  }

  // The n-th location of vendor:device, or (-1,-1,-1,-1).
  Location Find(const char* vendor, const char* device, int instance) {
    int s = -1, b = -1, d = -1, f = -1;
    TLXX::CConfigManager::GetLocation(vendor, device, instance, s, b, d, f);
    return Location(s, b, d, f);
  }

  // The locations of 8086:0953, instance 1 up to the first not found.
  std::vector<Location> FindAll() {
    std::vector<Location> found;
    for (int i = 1; i <= 16 && Find("8086", "0953", i) != kNone; ++i) {
      found.push_back(Find("8086", "0953", i));
    }
    return found;
  }

  nimbra_test::TempDir m_Root;
};

TEST_F(SysfsTest, CountsInAscendingAddressOrder) {
  // Created out of order, so directory order is no help.
  AddDevice("0001:00:00.0", "0x8086\n", "0x0953\n");
  AddDevice("0000:85:00.0", "0x8086\n", "0x0953\n");
  AddDevice("0000:0a:1f.7", "0X8086", "0x0953");
  AddDevice("0000:0a:02.1", "8086", "0953");
  AddDevice("0000:0a:02.0", "0x8086\n", "0x0954\n");  // another device
  AddDevice("0000:03:00.0", "0x10de\n", "0x0953\n");  // another vendor
  const Location expected[] = {
      {0, 0x0a, 0x02, 1}, {0, 0x0a, 0x1f, 7}, {0, 0x85, 0, 0}, {1, 0, 0, 0}};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Find("8086", "0953", i + 1), expected[i]) << i;
  EXPECT_EQ(Find("8086", "0953", 5), kNone);
  EXPECT_EQ(Find("0x8086", "0X0953", 1), expected[0]);  // id texts in any spelling
  EXPECT_EQ(Find("8086", "0954", 1), Location(0, 0x0a, 0x02, 0));
  EXPECT_EQ(Find("8086", "0953", 0), kNone);
  EXPECT_EQ(Find("8086", "0953", -1), kNone);
  EXPECT_EQ(Find("80zz", "0953", 1), kNone);
  EXPECT_EQ(Find("", "0953", 1), kNone);
}

TEST_F(SysfsTest, MalformedEntriesAreSkipped) {
  const struct {
    const char* address;
    const char* vendor;
    const char* device;
  } bad[] = {
      {"0000:01:00.0", "zzzz\n", "0x0953"},      // not hex
      {"0000:02:00.0", "", "0x0953"},            // empty
      {"0000:03:00.0", "0x", "0x0953"},          // no digits
      {"0000:04:00.0", "0x8086 0x1", "0x0953"},  // trailing text
      {"0000:05:00.0", "0x18086", "0x0953"},     // more than 16 bits
      {"0000:06:00.0", "0x8086", ""},            // no device file
      {"0000:7:00.0", "0x8086", "0x0953"},       // short bus
      {"0000:08:20.0", "0x8086", "0x0953"},      // device > 0x1f
      {"0000:09:00.8", "0x8086", "0x0953"},      // function > 7
      {"000:0a:00.0", "0x8086", "0x0953"},       // short segment
      {"0000:0b:00.0x", "0x8086", "0x0953"},     // trailing text
      {"pci0000:00", "0x8086", "0x0953"},        // not an address
  };
  for (const auto& b : bad) AddDevice(b.address, b.vendor, b.device);
  EXPECT_EQ(Find("8086", "0953", 1), kNone);
  AddDevice("0000:ff:00.0", "0x8086", "0x0953");
  EXPECT_EQ(Find("8086", "0953", 1), Location(0, 0xff, 0, 0));
  EXPECT_EQ(Find("8086", "0953", 2), kNone);
}

TEST_F(SysfsTest, MissingTreeFindsNothing) {
  EXPECT_EQ(Find("8086", "0953", 1), kNone);  // root without bus/pci
  TLXX::CSystem::SetSysfsRoot(m_Root / "does-not-exist");
  EXPECT_EQ(Find("8086", "0953", 1), kNone);
  std::string version = "x";
  EXPECT_FALSE(TLXX::CSystem::GetModuleVersion("nvme", version));
  EXPECT_EQ(version, "");
}

// Lookups between edits of the tree answer as a first lookup of the edited
// tree would. (Ids rewritten in place inside a devices folder unchanged for
// over a second are read again only once the folder changes; here every edit
// follows a change of the folder by milliseconds, so they are read again.)
TEST_F(SysfsTest, EditsBetweenLookupsAreSeen) {
  const std::string root = m_Root.path(), devices = m_Root / "bus/pci/devices/";
  nimbra_test::TempDir other;
  nimbra_test::AddPciDevice(other.path(), "0001:00:00.0");
  auto add = [&](const char* address, const char* device) {
    return [=] { nimbra_test::AddPciDevice(root, address, "0x8086", device); };
  };
  auto write = [&](const char* file, const char* text) {
    return [=] { m_Root.Write(std::string("bus/pci/devices/") + file, text); };
  };
  auto remove = [&](const char* address) {
    return [=] { std::filesystem::remove_all(devices + address); };
  };
  auto moveRoot = [](const std::string& to) { return [=] { TLXX::CSystem::SetSysfsRoot(to); }; };
  const Location d05(0, 5, 0, 0), d08(0, 8, 0, 0), d10(0, 0x10, 0, 0), d20(0, 0x20, 0, 0);
  const struct {
    const char* edit;
    std::function<void()> apply;
    std::vector<Location> expected;
  } steps[] = {
      {"first device", add("0000:20:00.0", "0x0953"), {d20}},
      {"device added", add("0000:10:00.0", "0x0953"), {d10, d20}},
      {"other ids", add("0000:05:00.0", "0x0a54"), {d10, d20}},
      {"vendor file only", write("0000:08:00.0/vendor", "0x8086"), {d10, d20}},
      {"device file written", write("0000:08:00.0/device", "0x0953"), {d08, d10, d20}},
      {"device removed", remove("0000:10:00.0"), {d08, d20}},
      {"id rewritten in place", write("0000:05:00.0/device", "0x0953"), {d05, d08, d20}},
      {"folder changed", write("not-a-device/vendor", "0x8086"), {d05, d08, d20}},
      {"device folder replaced",
       [&] {
         remove("0000:20:00.0")();
         add("0000:20:00.0", "0x0a54")();
       },
       {d05, d08}},
      {"root moved to another tree", moveRoot(other.path()), {Location(1, 0, 0, 0)}},
      {"root moved back", moveRoot(root), {d05, d08}},
  };
  for (const auto& step : steps) {
    step.apply();
    EXPECT_EQ(FindAll(), step.expected) << step.edit;
    EXPECT_EQ(FindAll(), step.expected) << step.edit << ", again";
  }
}

// A devices folder unchanged for over a second is trusted by its stamp; a
// device completed inside it and a device added to it are still seen.
TEST_F(SysfsTest, SettledFolderStillSeesChanges) {
  nimbra_test::AddPciDevice(m_Root.path(), "0000:20:00.0");
  m_Root.Write("bus/pci/devices/0000:10:00.0/vendor", "0x8086");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const Location d10(0, 0x10, 0, 0), d20(0, 0x20, 0, 0), d30(0, 0x30, 0, 0);
  EXPECT_EQ(FindAll(), std::vector<Location>{d20});
  m_Root.Write("bus/pci/devices/0000:10:00.0/device", "0x0953");
  EXPECT_EQ(FindAll(), (std::vector<Location>{d10, d20}));
  nimbra_test::AddPciDevice(m_Root.path(), "0000:30:00.0");
  EXPECT_EQ(FindAll(), (std::vector<Location>{d10, d20, d30}));
}

TEST_F(SysfsTest, ModuleVersion) {
  m_Root.Write("module/nvme/version", "  1.0.3-k \n");
  m_Root.Write("module/empty/version", "");
  m_Root.Write("version", "outside");
  const struct {
    const char* module;
    bool found;
    const char* version;
  } cases[] = {
      {"nvme", true, "1.0.3-k"}, {"empty", true, ""}, {"absent", false, ""},
      {"", false, ""},           {"..", false, ""},   {"nvme/../..", false, ""},
  };
  for (const auto& c : cases) {
    std::string version = "stale";
    EXPECT_EQ(TLXX::CSystem::GetModuleVersion(c.module, version), c.found) << c.module;
    EXPECT_EQ(version, c.version) << c.module;
  }
}

}  // namespace
