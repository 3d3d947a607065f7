// ScanSystem over inventory records, for what the golden document cannot
// show: a record without its PCI device, the kernel module's version file,
// host numbers naming the adapters they match.
#include <gtest/gtest.h>

#include "NimbraImpl.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;

CCmdEmuAdapter Record(uint32_t index, const std::string& serial, const std::string& model) {
  CCmdEmuAdapter r;
  r.m_Index = index;
  r.m_SerialNumber = serial;
  r.m_ModelNumber = model;
  r.m_SectorSize = 512;
  r.m_NativeMaxLBA = r.m_MaximumLBA = 781422768;
  r.m_DriverMajorVersion = "1";
  r.m_DriverMinorVersion = "2";
  return r;
}

// Records are matched to PCI devices in ascending bus order (5, then 0x82);
// the third finds none left. The module's version file wins over the tool's
// driver numbers.
TEST(Scan, MissingPciDeviceModuleVersionAndAdapterNumbers) {
  nimbra_test::TempDir sysfs;
  nimbra_test::AddPciDevice(sysfs.path(), "0000:82:00.0");
  nimbra_test::AddPciDevice(sysfs.path(), "0000:05:00.0");
  nimbra_test::AddPciDevice(sysfs.path(), "0000:00:1f.0", "0x8086", "0x1234");
  sysfs.Write("module/nvme/version", "  1.0-k \n");
  TLXX::CSystem::SetSysfsRoot(sysfs.path());
  IPLUGINAPI_IMPL api;
  api.m_DataLock.Init();
  api.m_EventsLock.Init();
  api.m_Plugin.m_ID = api.NewID();
  api.m_CmdEmuAdapters = {Record(0, "A", "INTEL SSDPEDMD400G4"),
                          Record(1, "B", "INTEL SSDPE2MD800G4"),
                          Record(2, "C", "INTEL SSDPEDMD400G4")};
  PI::CAdapterID id;
  id.m_Bus = 0x82;
  id.m_HostNumber = 7;
  api.m_AdapterIDs = {id};
  const uint32_t status = api.ScanSystem(api.m_Adapters, api.m_PhysicalDrives, true);
  TLXX::CSystem::SetSysfsRoot("/sys");
  ASSERT_EQ(0u, status);
  ASSERT_EQ(3u, api.m_Adapters.size());
  EXPECT_EQ("PCI:Bus=5&Device=0&Function=0", api.m_Adapters[0].m_Location);
  EXPECT_EQ("PCI:Bus=0&Device=0&Function=0", api.m_Adapters[2].m_Location);
  EXPECT_EQ("PCI:Bus=0&Device=0&Function=0&ID=0", api.m_PhysicalDrives[2].m_Location);
  EXPECT_EQ("1.0-k", api.m_Adapters[2].m_DriverVersion);
  EXPECT_EQ("", api.m_Adapters[0].m_DisplayName) << "no host number for bus 5";
  EXPECT_EQ("Torvik 2.5in (7)", api.m_Adapters[1].m_DisplayName);
}

}  // namespace
