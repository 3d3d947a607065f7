// PCI lookup against a sysfs tree in a temporary folder: instances count in
// ascending address order and malformed entries are skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

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

  // The n-th location of vendor:device, or (-1,-1,-1,-1).
  static Location Find(const char* vendor, const char* device, int instance) {
    int s = -1, b = -1, d = -1, f = -1;
    TLXX::CConfigManager::GetLocation(vendor, device, instance, s, b, d, f);
    return Location(s, b, d, f);
  }
  void Add(const char* address, const char* vendor, const char* device) const {
    nimbra_test::AddPciDevice(m_Root.path(), address, vendor, device);
  }

  nimbra_test::TempDir m_Root;
};

TEST_F(SysfsTest, CountsInAscendingAddressOrderAndSkipsMalformedEntries) {
  // Created out of order, so directory order is no help.
  Add("0001:00:00.0", "0x8086\n", "0x0953\n");
  Add("0000:85:00.0", "0x8086\n", "0x0953\n");
  Add("0000:0a:1f.7", "0X8086", "0x0953");
  Add("0000:0a:02.1", "8086", "0953");
  Add("0000:0a:02.0", "0x8086\n", "0x0954\n");  // another device
  Add("0000:03:00.0", "0x10de\n", "0x0953\n");  // another vendor
  const char* const malformed[][2] = {
      {"0000:01:00.0", "zzzz\n"},     {"0000:02:00.0", ""},        {"0000:04:00.0", "0x"},
      {"0000:05:00.0", "0x8086 0x1"}, {"0000:06:00.0", "0x18086"}, {"0000:7:00.0", "0x8086"},
      {"0000:08:20.0", "0x8086"},     {"0000:09:00.8", "0x8086"},  {"000:0a:00.0", "0x8086"},
      {"0000:0b:00.0x", "0x8086"},    {"pci0000:00", "0x8086"},
  };
  for (const auto& [address, vendor] : malformed) Add(address, vendor, "0x0953");
  m_Root.Write("bus/pci/devices/0000:0c:00.0/vendor", "0x8086");  // no device file
  const Location found[] = {{0, 0x0a, 0x02, 1}, {0, 0x0a, 0x1f, 7}, {0, 0x85, 0, 0}, {1, 0, 0, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Find("8086", "0953", i + 1), i < 4 ? found[i] : kNone) << "instance " << i + 1;
  }
  EXPECT_EQ(Find("0x8086", "0X0953", 1), Location(0, 0x0a, 0x02, 1));  // ids in any spelling
  EXPECT_EQ(Find("8086", "0954", 1), Location(0, 0x0a, 0x02, 0));
  for (const int instance : {0, -1}) EXPECT_EQ(Find("8086", "0953", instance), kNone);
  EXPECT_EQ(Find("80zz", "0953", 1), kNone);
  TLXX::CSystem::SetSysfsRoot(m_Root / "does-not-exist");
  EXPECT_EQ(Find("8086", "0953", 1), kNone);
}

}  // namespace
