// ScanSystem over inventory records: objects, links, IDs kept by serial
// number, PCI locations from the sysfs tree, display names.
#include <gtest/gtest.h>

#include "NimbraImpl.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;
using nimbra_test::TempDir;

CCmdEmuAdapter Record(uint32_t index, const std::string& serial, const std::string& model) {
  CCmdEmuAdapter r;
  r.m_Index = index;
  r.m_SerialNumber = serial;
  r.m_ModelNumber = model;
  r.m_SectorSize = 512;
  r.m_NativeMaxLBA = 781422768;
  r.m_MaximumLBA = 781422768;
  r.m_PhysicalSize = 400088457216;
  r.m_DevicePath = "/dev/nvme" + std::to_string(index) + "n1";
  r.m_Firmware = "8DV101H0";
  r.m_DriverMajorVersion = "1";
  r.m_DriverMinorVersion = "2";
  return r;
}

class Scan : public ::testing::Test {
 protected:
  void SetUp() override {
    nimbra_test::AddPciDevice(sysfs.path(), "0000:82:00.0");
    nimbra_test::AddPciDevice(sysfs.path(), "0000:05:00.0");
    nimbra_test::AddPciDevice(sysfs.path(), "0000:00:1f.0", "0x8086", "0x1234");
    TLXX::CSystem::SetSysfsRoot(sysfs.path());
    api.m_DataLock.Init();
    api.m_EventsLock.Init();
    api.m_Plugin.m_ID = api.NewID();
    api.m_CmdEmuAdapters = {Record(0, "A", "INTEL SSDPEDMD400G4"),
                            Record(1, "B", "INTEL SSDPE2MD800G4")};
    api.m_CmdEmuAdapters[1].m_Getlog.m_CurrentTemperature = 44;
  }
  void TearDown() override { TLXX::CSystem::SetSysfsRoot("/sys"); }

  TempDir sysfs;
  IPLUGINAPI_IMPL api;
};

// Names, locations, sizes and IDs of a scanned fleet are pinned by the golden
// document; here what it cannot show.
TEST_F(Scan, FirstScanBuildsLinkedPairsInRecordOrder) {
  ASSERT_EQ(0u, api.ScanSystem(api.m_Adapters, api.m_PhysicalDrives, true));
  ASSERT_EQ(2u, api.m_Adapters.size());
  ASSERT_EQ(2u, api.m_PhysicalDrives.size());
  for (size_t i = 0; i < 2; ++i) {
    const CIntelSSDAdapter& a = api.m_Adapters[i];
    const CIntelSSDPhysicalDrive& d = api.m_PhysicalDrives[i];
    EXPECT_EQ(a.m_ID + 1, d.m_ID) << "IDs are drawn adapter first, then drive";
    EXPECT_EQ(std::vector<uint64_t>{d.m_ID}, a.m_Children);
    EXPECT_EQ(std::vector<uint64_t>{a.m_ID}, d.m_Parents);
    EXPECT_TRUE(a.m_Parents.empty()) << "the scan does not link adapters to the plug-in";
    EXPECT_EQ(a.m_Index, d.m_AdapterIndex);
    EXPECT_EQ("", a.m_DisplayName) << "no adapter numbers yet";
  }
  // Ascending PCI order: the first record gets bus 5, the second bus 0x82.
  EXPECT_EQ("PCI:Bus=5&Device=0&Function=0", api.m_Adapters[0].m_Location);
  EXPECT_EQ("PCI:Bus=130&Device=0&Function=0&ID=0", api.m_PhysicalDrives[1].m_Location);
  EXPECT_FLOAT_EQ(44.0f, api.m_PhysicalDrives[1].m_Temperature);
}

// A record without its PCI device gets zeros; the module's version file wins
// over the tool's driver numbers; host numbers name the adapters.
TEST_F(Scan, MissingPciDeviceModuleVersionAndAdapterNumbers) {
  api.m_CmdEmuAdapters.push_back(Record(2, "C", "INTEL SSDPEDMD400G4"));
  sysfs.Write("module/nvme/version", "  1.0-k \n");
  PI::CAdapterID id;
  id.m_Bus = 0x82;
  id.m_HostNumber = 7;
  api.m_AdapterIDs = {id};
  ASSERT_EQ(0u, api.ScanSystem(api.m_Adapters, api.m_PhysicalDrives, true));
  EXPECT_EQ("PCI:Bus=0&Device=0&Function=0", api.m_Adapters[2].m_Location);
  EXPECT_EQ("1.0-k", api.m_Adapters[2].m_DriverVersion);
  EXPECT_EQ("Torvik 2.5in (7)", api.m_Adapters[1].m_DisplayName);
}

TEST_F(Scan, RescanKeepsIdentityBySerialNumber) {
  ASSERT_EQ(0u, api.ScanSystem(api.m_Adapters, api.m_PhysicalDrives, true));
  api.m_Adapters[1].m_ChangeCount = 9;
  api.m_PhysicalDrives[1].m_ChangeCount = 4;
  const uint64_t adapterB = api.m_Adapters[1].m_ID;
  const uint64_t driveB = api.m_PhysicalDrives[1].m_ID;
  // Drive A is gone, B moved to another index and a new drive C appeared.
  api.m_CmdEmuAdapters = {Record(3, "C", "INTEL SSDPEDMD400G4"),
                          Record(5, "B", "INTEL SSDPE2MD800G4")};
  // Rescans read health pages: the tool cannot run here, so the records keep theirs.
  api.m_ToolPath = "/nonexistent/isdct";
  std::vector<CIntelSSDAdapter> adapters(3);
  std::vector<CIntelSSDPhysicalDrive> drives(1);
  ASSERT_EQ(0u, api.ScanSystem(adapters, drives, false));
  ASSERT_EQ(2u, adapters.size());
  ASSERT_EQ(2u, drives.size());
  EXPECT_EQ(0x0135000000000005ULL, adapters[0].m_ID) << "C is new";
  EXPECT_EQ(0x0135000000000006ULL, drives[0].m_ID);
  EXPECT_EQ(adapterB, adapters[1].m_ID);
  EXPECT_EQ(9u, adapters[1].m_ChangeCount);
  EXPECT_EQ(driveB, drives[1].m_ID);
  EXPECT_EQ(4u, drives[1].m_ChangeCount);
  EXPECT_EQ(5u, drives[1].m_AdapterIndex);
}

}  // namespace
