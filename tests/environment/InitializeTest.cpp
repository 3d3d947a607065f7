// Initialize in a broken installation: an SSD tool that cannot answer, a
// host whose own path cannot be resolved, and sysfs trees without a usable
// device. One case for each way the plug-in fails, with the trace line that
// says why, and the ways it still starts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "EnvSupport.h"
#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using nimbra_test::AddPciDevice;
using nimbra_test::RunShell;

class InitializeEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    AddPciDevice(dir / "sys", "0000:05:00.0");
    TLXX::CSystem::SetSysfsRoot(dir / "sys");
    TLXX::CSystem::SetCommandTimeout(10000);
    const std::string fleet = R"({"drives": [{"driverMajor": "7", "driverMinor": "3"}]})";
    setenv("ISDCT_SIM_FLEET", dir.Write("fleet.json", fleet).c_str(), 1);
  }
  void TearDown() override {
    TLX::Misc::CTlxApplication::SetProcessPathOverride("");
    TLXX::CSystem::SetSysfsRoot("");
    TLXX::CSystem::SetCommandTimeout(120000);
    unsetenv("ISDCT_SIM_FLEET");
  }

  // Command 1 on a fresh plug-in: its status, the adapter IDs, the console
  // line, the trace, and the descriptors it left open.
  struct Start {
    uint32_t status;
    std::vector<PI::CAdapterID> ids;
    std::string console, trace, toolPath, driverVersion;
    int leakedDescriptors;
  };
  static Start Initialize(size_t presetIds = 2) {
    nimbra_test::TraceCapture trace;  // its file stays open until the end
    const int descriptors = nimbra_test::OpenDescriptors();
    Start s;
    {
      IPLUGINAPI_IMPL api;
      s.ids.resize(presetIds);  // emptied on failure
      testing::internal::CaptureStdout();
      s.status = api.Execute(PI::CMD_INITIALIZE, 0, &s.ids);
      s.console = testing::internal::GetCapturedStdout();
      s.toolPath = api.m_ToolPath;
      if (!api.m_Adapters.empty()) s.driverVersion = api.m_Adapters[0].m_DriverVersion;
    }
    s.trace = trace.Text();
    s.leakedDescriptors = nimbra_test::OpenDescriptors() - descriptors;
    return s;
  }

  nimbra_test::TempDir dir;
};

// The tool cannot answer, or cannot be located at all: a host path that
// cannot be resolved must not make a bin/isdct in the current folder the tool.
TEST_F(InitializeEnvironment, AToolThatCannotAnswer) {
  // Blanks, quotes and "$" in the host's folder reach the shell quoted.
  const std::string host = dir / "host dir's $HOME `x`";
  const std::string tool = host + "/bin/isdct";
  const std::string run = "SSD tool " + tool + " show -all -intelssd";
  const std::string script = "#!/bin/sh\necho 'isdct: no permission to open /dev/nvme0' >&2\n";
  struct Case {
    const char* name;
    std::function<void()> make;
    std::string trace;
  };
  auto write = [&](const std::string& text, mode_t mode) {
    return [&, text, mode] {
      dir.Write("host dir's $HOME `x`/bin/isdct", text);
      chmod(tool.c_str(), mode);
    };
  };
  const Case cases[] = {
      {"missing", [] {}, run + ": no such file"},
      {"not executable", write(script, 0644), run + ": not executable"},
      {"a folder", [&] { mkdir(tool.c_str(), 0755); }, run + ": a folder, not a program"},
      {"stderr only", write(script + "exit 1\n", 0755), run + " printed nothing"},
      {"killed", write("#!/bin/sh\nkill -9 $$\n", 0755), run + ": killed by a signal"},
      {"unresolvable host path", [] { TLX::Misc::CTlxApplication::SetProcessPathOverride("-"); },
       "Initialize: cannot resolve the host process path, so the SSD tool bin/isdct beside it "
       "cannot be located"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLX::Misc::CTlxApplication::SetProcessPathOverride(host + "/host");
    std::filesystem::remove_all(host);
    std::filesystem::create_directories(host + "/bin");
    c.make();
    const Start s = Initialize();
    EXPECT_EQ(PI::ERR_API_INITIALIZATION_FAILED, s.status);
    EXPECT_TRUE(s.ids.empty());
    EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", s.console);
    const bool located = c.trace.rfind(run, 0) == 0;
    EXPECT_EQ(located ? tool : "", s.toolPath);
    if (!located) {
      EXPECT_EQ(std::string::npos, s.trace.find("ExecuteCommand")) << "no tool was run";
    }
    EXPECT_NE(std::string::npos, s.trace.find(c.trace)) << s.trace;
    EXPECT_NE(std::string::npos,
              s.trace.find("LEAVE Initialize() -> PI::ERR_API_INITIALIZATION_FAILED"));
    EXPECT_EQ(0, s.leakedDescriptors);
  }
  // The real tool in that folder answers.
  TLX::Misc::CTlxApplication::SetProcessPathOverride(host + "/host");
  std::filesystem::remove_all(tool);
  std::filesystem::create_symlink(nimbra_test::BuildDir() + "/bin/isdct", tool);
  const Start s = Initialize(0);
  ASSERT_EQ(0u, s.status) << s.trace;
  ASSERT_EQ(1u, s.ids.size());
  EXPECT_EQ(5u, s.ids[0].m_Bus);
}

// Without a usable device the plug-in says where it looked and runs no tool;
// a good device is found beside broken ones, and the driver version comes
// from the kernel module, else from the tool.
TEST_F(InitializeEnvironment, SysfsTrees) {
  TLX::Misc::CTlxApplication::SetProcessPathOverride(nimbra_test::BuildDir() + "/host");
  struct Case {
    const char* name;
    std::function<void(const std::string& root)> make;
    const char* driverVersion;  // nullptr: no supported hardware
  };
  const Case cases[] = {
      {"no tree", [](const std::string&) {}, nullptr},
      // A FIFO once blocked the read for ever.
      {"vendor a FIFO",
       [&](const std::string& root) {
         const std::string device = root + "/bus/pci/devices/0000:05:00.0";
         RunShell("mkdir -p '" + device + "'; echo 0x0953 > '" + device + "/device'");
         mkfifo((device + "/vendor").c_str(), 0644);
       },
       nullptr},
      {"good beside broken",
       [&](const std::string& root) {
         AddPciDevice(root, "0000:01:00.0", "", "0x0953");
         AddPciDevice(root, "0000:02:00.0", "0x8086", "junk");
         AddPciDevice(root, "0000:05:00.0");
         RunShell("mkdir -p '" + root + "/module/nvme/version'");  // a folder: not a version
       },
       "7.3"},
      {"linked as the kernel links it",
       [&](const std::string& root) {
         AddPciDevice(root + "/devices/pci0000:00", "0000:05:00.0");
         RunShell("cd '" + root + "' && mkdir -p bus/pci/devices module/nvme && echo ' 1.2' > " +
                  "module/nvme/version && ln -s ../../../devices/pci0000:00/bus/pci/devices/" +
                  "0000:05:00.0 bus/pci/devices/0000:05:00.0");
       },
       "1.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = dir / (std::string("sys-") + std::to_string(&c - cases));
    c.make(root);
    TLXX::CSystem::SetSysfsRoot(root);
    const Start s = Initialize(c.driverVersion ? 0 : 2);
    if (!c.driverVersion) {
      EXPECT_EQ(PI::ERR_NO_SUPPORTED_HARDWARE, s.status);
      EXPECT_TRUE(s.ids.empty());
      EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", s.console);
      EXPECT_NE(std::string::npos,
                s.trace.find("Initialize: no PCI device 8086:0953 in " + root + "/bus/pci/devices"))
          << s.trace;
      EXPECT_TRUE(s.toolPath.empty()) << "no tool is run without the hardware";
      continue;
    }
    ASSERT_EQ(0u, s.status) << s.trace;
    ASSERT_EQ(1u, s.ids.size());
    EXPECT_EQ(5u, s.ids[0].m_Bus);
    EXPECT_EQ(c.driverVersion, s.driverVersion);
  }
}

}  // namespace
