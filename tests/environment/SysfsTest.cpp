// A sysfs tree with broken entries: what cannot be read is skipped, a good
// device beside broken ones is still found, and with none the plug-in says
// where it looked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "EnvSupport.h"
#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLXX/System.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using nimbra_test::AddPciDevice;
using nimbra_test::AsUnprivileged;
using nimbra_test::TempDir;
using nimbra_test::TraceCapture;

constexpr const char* kGood = "0000:05:00.0";  // where the fleet's one drive sits

class SysfsEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    nimbra_test::OpenToEveryone(dir);
    setenv("ISDCT_SIM_FLEET",
           dir.Write("fleet.json", R"({"drives": [{"driverMajor": "7", "driverMinor": "3"}]})")
               .c_str(),
           1);
    TLXX::CSystem::SetCommandTimeout(10000);
  }
  void TearDown() override {
    TLXX::CSystem::SetSysfsRoot("");
    TLXX::CSystem::SetCommandTimeout(120000);
    unsetenv("ISDCT_SIM_FLEET");
  }
  TempDir dir;
};

TEST_F(SysfsEnvironment, BrokenEntriesAreSkipped) {
  using Tree = std::function<void(const std::string& devices, const std::string& root)>;
  auto device = [](const char* vendor, const char* id) -> Tree {
    return
        [=](const std::string&, const std::string& root) { AddPciDevice(root, kGood, vendor, id); };
  };
  auto file = [&](const std::string& path, const std::string& text) {
    const std::string rel = path.substr(dir.path().size() + 1);
    dir.Write(rel, text);
  };
  const Tree goodDevice = device("0x8086", "0x0953");
  struct Case {
    const char* name;
    Tree make;
    uint32_t status;
    const char* driverVersion;  // of the one adapter, when found
  };
  const uint32_t none = PI::ERR_NO_SUPPORTED_HARDWARE;
  const Case cases[] = {
      {"no tree", [](const std::string&, const std::string&) {}, none, ""},
      {"devices a file",
       [&](const std::string& devices, const std::string&) { file(devices, "0000:05:00.0\n"); },
       none, ""},
      {"entry a file",
       [&](const std::string& devices, const std::string&) {
         file(devices + "/" + kGood, "0x8086\n");
       },
       none, ""},
      {"dangling link",
       [&](const std::string& devices, const std::string&) {
         symlink("../../../devices/pci0000:00/0000:05:00.0", (devices + "/" + kGood).c_str());
       },
       none, ""},
      {"empty vendor", device("", "0x0953"), none, ""},
      {"garbage vendor", device("0xzz86", "0x0953"), none, ""},
      {"binary vendor", device("\x01\x80\x86", "0x0953"), none, ""},
      {"device beyond 16 bits", device("0x8086", "0x10953"), none, ""},
      {"vendor a folder",
       [&](const std::string& devices, const std::string&) {
         file(devices + "/" + kGood + "/vendor/x", "0x8086\n");
         file(devices + "/" + kGood + "/device", "0x0953\n");
       },
       none, ""},
      {"vendor a FIFO",
       [&](const std::string& devices, const std::string&) {
         file(devices + "/" + kGood + "/device", "0x0953\n");
         mkfifo((devices + "/" + kGood + "/vendor").c_str(), 0644);
       },
       none, ""},
      {"vendor mode 000",
       [&](const std::string& devices, const std::string& root) {
         goodDevice(devices, root);
         chmod((devices + "/" + kGood + "/vendor").c_str(), 0);
       },
       none, ""},
      {"name not an address",
       [&](const std::string& devices, const std::string&) {
         file(devices + "/0000:05:00/vendor", "0x8086\n");
         file(devices + "/0000:05:00/device", "0x0953\n");
       },
       none, ""},
      {"good beside broken",
       [&](const std::string& devices, const std::string& root) {
         AddPciDevice(root, "0000:01:00.0", "", "0x0953");
         AddPciDevice(root, "0000:02:00.0", "0x8086", "junk");
         symlink("../../../devices/gone", (devices + "/0000:03:00.0").c_str());
         goodDevice(devices, root);
         file(root + "/module/nvme/version/x", "9.9");  // a folder: no module version
       },
       0, "7.3"},
      {"linked as the kernel links it",
       [&](const std::string& devices, const std::string& root) {
         const std::string real = root + "/devices/pci0000:00/" + kGood;
         file(real + "/vendor", "0x8086\n");
         file(real + "/device", "0x0953\n");
         symlink(real.c_str(), (devices + "/" + kGood).c_str());
         file(root + "/module/nvme/version", " 1.2\n");
       },
       0, "1.2"},
      {"module version mode 000",
       [&](const std::string& devices, const std::string& root) {
         goodDevice(devices, root);
         file(root + "/module/nvme/version", "1.2\n");
         chmod((root + "/module/nvme/version").c_str(), 0);
       },
       0, "7.3"},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = dir / (std::string("sys-") + std::to_string(&c - cases));
    const std::string devices = root + "/bus/pci/devices";
    const bool noTree = std::string(c.name) == "no tree";
    if (!noTree) nimbra_test::RunShell("mkdir -p '" + root + "/bus/pci'");
    if (!noTree && std::string(c.name) != "devices a file") {
      nimbra_test::RunShell("mkdir -p '" + devices + "'");
    }
    c.make(devices, root);
    TLXX::CSystem::SetSysfsRoot(root);

    if (std::string(c.name).find("000") != std::string::npos && !AsUnprivileged().Effective()) {
      skipped += std::string(c.name) + "; ";
      continue;
    }
    TraceCapture trace;
    IPLUGINAPI_IMPL api;
    std::vector<PI::CAdapterID> ids;
    uint32_t status;
    testing::internal::CaptureStdout();
    {
      AsUnprivileged unprivileged;
      status = api.Execute(PI::CMD_INITIALIZE, 0, &ids);
    }
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.status, status);
    if (c.status != 0) {
      EXPECT_TRUE(ids.empty());
      EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", console);
      EXPECT_NE(std::string::npos, trace.Text().find("Initialize: no PCI device 8086:0953 in " +
                                                     root + "/bus/pci/devices"))
          << trace.Text();
      EXPECT_TRUE(api.m_ToolPath.empty()) << "no tool is run without the hardware";
      continue;
    }
    ASSERT_EQ(1u, ids.size());
    EXPECT_EQ(5u, ids[0].m_Bus);
    ASSERT_EQ(1u, api.m_Adapters.size());
    EXPECT_EQ("PCI:Bus=5&Device=0&Function=0", api.m_Adapters[0].m_Location);
    EXPECT_EQ(c.driverVersion, api.m_Adapters[0].m_DriverVersion);
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped << "root here cannot drop its file-system uid";
}

}  // namespace
