// Nimbra.ini in every state an installation can leave it: missing, without
// the key, unreadable, not a file, garbage, out of range; and a poll-interval
// write that cannot reach the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <string>

#include "EnvSupport.h"
#include "NimbraImpl.h"
#include "PI/ConfigFile.h"
#include "PI/Status.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
using nimbra_test::AsUnprivileged;
using nimbra_test::RunShell;
using nimbra_test::TempDir;
using nimbra_test::TraceCapture;

// Replaces every "{}" in `pattern` by `path`.
std::string WithPath(std::string pattern, const std::string& path) {
  for (size_t at; (at = pattern.find("{}")) != std::string::npos;) pattern.replace(at, 2, path);
  return pattern;
}

class ConfigEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    nimbra_test::OpenToEveryone(dir);
    PI::CConfigFile::SetConfigDirectory(dir.path());
  }
  void TearDown() override { PI::CConfigFile::SetConfigDirectory(""); }
  std::string Ini() const { return dir / "Nimbra.ini"; }

  TempDir dir;
};

TEST_F(ConfigEnvironment, ThePollIntervalReadAtCreation) {
  const std::string missing = "No configuration file {}: PollInterval 30 s";
  const std::string unreadable = "Cannot read the configuration file {}: PollInterval 30 s";
  struct Case {
    const char* name;
    std::function<void(const std::string& ini)> make;
    uint32_t interval;
    std::string trace;
  };
  auto text = [&](const std::string& content) {
    return [&, content](const std::string&) { dir.Write("Nimbra.ini", content); };
  };
  const Case cases[] = {
      {"no file", [](const std::string&) {}, 30, missing},
      {"dangling link", [](const std::string& ini) { symlink("gone.ini", ini.c_str()); }, 30,
       missing},
      {"no key", text("Other=1\n[Section]\n"), 30, "No PollInterval in {}: 30 s"},
      {"mode 000",
       [&](const std::string& ini) {
         dir.Write("Nimbra.ini", "PollInterval=45\n");
         chmod(ini.c_str(), 0);
       },
       30, unreadable},
      {"link loop", [](const std::string& ini) { symlink("Nimbra.ini", ini.c_str()); }, 30,
       unreadable},
      {"a folder", [](const std::string& ini) { mkdir(ini.c_str(), 0755); }, 30, unreadable},
      {"a FIFO", [](const std::string& ini) { mkfifo(ini.c_str(), 0644); }, 30, unreadable},
      {"a word", text("PollInterval=often\n"), 30,
       "PollInterval 'often' in {} is not a number: 30 s"},
      {"no value", text("PollInterval=\n"), 30, "PollInterval '' in {} is not a number: 30 s"},
      {"trailing garbage", text("PollInterval=12abc\n"), 30, "'12abc' in {} is not a number"},
      {"control bytes", text("PollInterval=\x01\x7f\n"), 30, "in {} is not a number: 30 s"},
      {"beyond 32 bits", text("PollInterval=99999999999\n"), 30,
       "PollInterval '99999999999' in {} is not a number: 30 s"},
      {"zero", text("PollInterval=0\n"), 2, "PollInterval 0 in {} is outside 2..255: 2 s"},
      {"one", text("pollinterval = 1\r\n"), 2, "PollInterval 1 in {} is outside 2..255: 2 s"},
      {"256", text("PollInterval=256\n"), 255, "PollInterval 256 in {} is outside 2..255: 255 s"},
      {"4000000000", text("PollInterval=4000000000\n"), 255, "is outside 2..255: 255 s"},
      {"lowest", text("PollInterval=2\n"), 2, "PollInterval 2 s from {}"},
      {"highest", text("# comment\nPollInterval= 255 \n"), 255, "PollInterval 255 s from {}"},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunShell("rm -rf '" + Ini() + "'");
    c.make(Ini());
    TraceCapture trace;
    uint32_t interval = 0;
    {
      AsUnprivileged unprivileged;
      if (!unprivileged.Effective() && std::string(c.name) == "mode 000") {
        skipped = c.name;
        continue;
      }
      interval = IPLUGINAPI_IMPL().m_PollInterval;
    }
    EXPECT_EQ(c.interval, interval);
    EXPECT_NE(std::string::npos, trace.Text().find(WithPath(c.trace, Ini()))) << trace.Text();
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped << ": root here cannot drop its file-system uid";
}

// The write goes to a configuration folder that will not take it: the new
// interval holds in memory, the host hears the write's status, the trace
// names the file, and nothing is left behind.
TEST_F(ConfigEnvironment, APollIntervalThatCannotBeWritten) {
  struct Case {
    const char* name;
    std::function<std::string()> configDir;  // makes the folder, returns it
  };
  const Case cases[] = {
      {"read-only folder",
       [&] {
         dir.Write("ro/Nimbra.ini", "PollInterval=45\n");
         chmod((dir / "ro").c_str(), 0555);
         return dir / "ro";
       }},
      {"missing folder", [&] { return dir / "gone"; }},
      {"a file as the folder", [&] { return dir.Write("file", "PollInterval=45\n"); }},
      {"Nimbra.ini a folder",
       [&] {
         mkdir((dir / "sub").c_str(), 0755);
         mkdir((dir / "sub/Nimbra.ini").c_str(), 0755);
         return dir / "sub";
       }},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = c.configDir();
    PI::CConfigFile::SetConfigDirectory(folder);
    IPLUGINAPI_IMPL api;
    ASSERT_EQ(1, api.m_PrivateEvent.Init(false, false));
    const std::string before = nimbra_test::ReadFile(folder + "/Nimbra.ini");
    std::string listing;
    RunShell("ls -a '" + folder + "' 2>&1", &listing);

    TraceCapture trace;
    PI::CProperty interval(static_cast<PI::_PROPERTY_ID>(30005), true);
    interval.SetValue(20, 2, 255, 1);
    uint32_t status = 0;
    {
      AsUnprivileged unprivileged;
      if (!unprivileged.Effective() && std::string(c.name) == "read-only folder") {
        skipped = c.name;
        continue;
      }
      status = api.SetPluginProperty(api.m_Plugin, interval);
    }
    EXPECT_EQ(PI::ERR_GENERAL, status);
    EXPECT_EQ(20u, api.m_PollInterval.load());
    EXPECT_EQ(1u, api.m_Plugin.m_ChangeCount);
    EXPECT_TRUE(api.m_PrivateEvent.IsSet()) << "the worker still hears of the new interval";
    std::vector<PI::CProperty> read;
    api.GetPluginProperties(api.m_Plugin, read, static_cast<PI::_PROPERTY_ID>(30005));
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ(20, read[0].intValue);
    EXPECT_NE(std::string::npos,
              trace.Text().find("Cannot write PollInterval=20 to " + folder +
                                "/Nimbra.ini (20000): the interval holds until the plug-in is "
                                "unloaded"))
        << trace.Text();
    EXPECT_EQ(before, nimbra_test::ReadFile(folder + "/Nimbra.ini"));
    std::string after;
    RunShell("ls -a '" + folder + "' 2>&1", &after);
    EXPECT_EQ(listing, after) << "no temporary file is left";
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped << ": root here cannot drop its file-system uid";
}

// Limits the host sends back with the value do not take the worker outside
// 2..255 s; the file holds what is in force.
TEST_F(ConfigEnvironment, HostLimitsCannotTakeThePollIntervalOutOfRange) {
  struct Case {
    int value, min, max;
    uint32_t stored;
  };
  const Case cases[] = {
      {0, 0, 1000, 2},
      {-1, INT_MIN, INT_MAX, 2},
      {INT_MIN, INT_MIN, 0, 2},
      {1000, 0, 1000, 255},
      {INT_MAX, 0, INT_MAX, 255},
      {7, 5, 10, 7},
      {600, INT_MIN, 300, 255},
      {1, 1, 1, 2},
  };
  IPLUGINAPI_IMPL api;
  ASSERT_EQ(1, api.m_PrivateEvent.Init(false, false));
  for (const Case& c : cases) {
    PI::CProperty interval(static_cast<PI::_PROPERTY_ID>(30005), true);
    interval.SetValue(c.value, c.min, c.max, 1);
    EXPECT_EQ(0u, api.SetPluginProperty(api.m_Plugin, interval)) << c.value;
    EXPECT_EQ(c.stored, api.m_PollInterval.load()) << c.value << " in " << c.min << ".." << c.max;
    EXPECT_EQ("PollInterval=" + std::to_string(c.stored) + "\n", nimbra_test::ReadFile(Ini()));
  }
}

}  // namespace
