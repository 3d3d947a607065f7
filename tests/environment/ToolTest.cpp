// The SSD tool as an installation can break it: missing, not executable, a
// folder, a program that only complains on stderr or dies, and a host whose
// own path cannot be resolved, so that bin/isdct beside it cannot be found.
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
#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using nimbra_test::RunShell;
using nimbra_test::TempDir;
using nimbra_test::TraceCapture;

class ToolEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    nimbra_test::AddPciDevice(dir / "sys", "0000:05:00.0");
    TLXX::CSystem::SetSysfsRoot(dir / "sys");
    TLXX::CSystem::SetCommandTimeout(10000);
    setenv("ISDCT_SIM_FLEET", dir.Write("fleet.json", R"({"drives": [{}]})").c_str(), 1);
  }
  void TearDown() override {
    TLX::Misc::CTlxApplication::SetProcessPathOverride("");
    TLXX::CSystem::SetSysfsRoot("");
    TLXX::CSystem::SetCommandTimeout(120000);
    unsetenv("ISDCT_SIM_FLEET");
  }

  // Command 1 on `api`, with the console line it prints.
  uint32_t Initialize(IPLUGINAPI_IMPL& api, std::vector<PI::CAdapterID>& ids,
                      std::string& console) {
    testing::internal::CaptureStdout();
    const uint32_t rc = api.Execute(PI::CMD_INITIALIZE, 0, &ids);
    console = testing::internal::GetCapturedStdout();
    return rc;
  }

  TempDir dir;
};

TEST_F(ToolEnvironment, AToolThatCannotAnswerFailsInitialize) {
  const std::string script = "#!/bin/sh\necho 'isdct: no permission to open /dev/nvme0' >&2\n";
  struct Case {
    const char* name;
    std::function<void(const std::string& tool)> make;
    std::string trace;  // "{}" stands for the tool's path
  };
  auto program = [&](const std::string& text, mode_t mode) {
    return [&, text, mode](const std::string& tool) {
      dir.Write("app/bin/isdct", text);
      chmod(tool.c_str(), mode);
    };
  };
  const Case cases[] = {
      {"missing", [](const std::string&) {},
       "Cannot run the SSD tool {} show -all -intelssd: no such file"},
      {"not executable", program(script, 0644),
       "Cannot run the SSD tool {} show -all -intelssd: not executable"},
      {"a folder", [](const std::string& tool) { mkdir(tool.c_str(), 0755); },
       "Cannot run the SSD tool {} show -all -intelssd: a folder, not a program"},
      {"stderr only", program(script + "exit 1\n", 0755),
       "The SSD tool {} show -all -intelssd printed nothing"},
      {"killed", program("#!/bin/sh\nkill -9 $$\n", 0755),
       "Cannot run the SSD tool {} show -all -intelssd: killed by a signal"},
  };
  TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "app/host");
  RunShell("mkdir -p '" + dir / "app/bin" + "'");
  const std::string tool = dir / "app/bin/isdct";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunShell("rm -rf '" + tool + "'");
    c.make(tool);
    TraceCapture trace;  // its file stays open until the end of the case
    const int descriptors = nimbra_test::OpenDescriptors();
    IPLUGINAPI_IMPL api;
    std::vector<PI::CAdapterID> ids(2);
    std::string console;
    EXPECT_EQ(PI::ERR_API_INITIALIZATION_FAILED, Initialize(api, ids, console));
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", console);
    EXPECT_EQ(tool, api.m_ToolPath);
    std::string expected = c.trace;
    expected.replace(expected.find("{}"), 2, tool);
    const std::string text = trace.Text();
    EXPECT_NE(std::string::npos, text.find(expected)) << text;
    EXPECT_NE(std::string::npos,
              text.find("LEAVE Initialize() -> PI::ERR_API_INITIALIZATION_FAILED"));
    EXPECT_EQ(descriptors, nimbra_test::OpenDescriptors());
  }
}

TEST_F(ToolEnvironment, AnUnresolvableHostPathRunsNoTool) {
  // A bin/isdct in the current folder must not be taken for the tool.
  TLX::Misc::CTlxApplication::SetProcessPathOverride("-");
  TraceCapture trace;
  IPLUGINAPI_IMPL api;
  std::vector<PI::CAdapterID> ids(1);
  std::string console;
  EXPECT_EQ(PI::ERR_API_INITIALIZATION_FAILED, Initialize(api, ids, console));
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ("Nimbra:  Initialize:  adapter count is 0\n", console);
  EXPECT_TRUE(api.m_ToolPath.empty()) << api.m_ToolPath;
  const std::string text = trace.Text();
  EXPECT_NE(std::string::npos,
            text.find("Initialize: cannot resolve the host process path, so the SSD tool "
                      "bin/isdct beside it cannot be located"))
      << text;
  EXPECT_EQ(std::string::npos, text.find("ExecuteCommand")) << "no tool was run";
}

// Blanks, quotes and "$" in the host's folder reach the shell quoted.
TEST_F(ToolEnvironment, AHostFolderWithShellCharacters) {
  const std::string folder = dir / "host dir's $HOME `x`";
  ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
  ASSERT_EQ(0, mkdir((folder + "/bin").c_str(), 0755));
  ASSERT_EQ(0, symlink((nimbra_test::BuildDir() + "/bin/isdct").c_str(),
                       (folder + "/bin/isdct").c_str()));
  TLX::Misc::CTlxApplication::SetProcessPathOverride(folder + "/host");
  IPLUGINAPI_IMPL api;
  std::vector<PI::CAdapterID> ids;
  std::string console;
  ASSERT_EQ(0u, Initialize(api, ids, console));
  EXPECT_EQ(folder + "/bin/isdct", api.m_ToolPath);
  ASSERT_EQ(1u, ids.size());
  EXPECT_EQ(5u, ids[0].m_Bus);
  EXPECT_EQ("3.0.2", api.m_ToolVersion);
}

}  // namespace
