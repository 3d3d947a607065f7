// Nimbra.ini as an installation can leave it: one case for each way the
// plug-in reads the poll interval, and a write that cannot reach the file.
// Limits from the host that would take the interval out of range are in
// tests/properties.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "EnvSupport.h"
#include "NimbraImpl.h"
#include "PI/ConfigFile.h"
#include "PI/Status.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;

class ConfigEnvironment : public ::testing::Test {
 protected:
  void SetUp() override { PI::CConfigFile::SetConfigDirectory(dir.path()); }
  void TearDown() override { PI::CConfigFile::SetConfigDirectory(""); }

  nimbra_test::TempDir dir;
};

TEST_F(ConfigEnvironment, ThePollIntervalReadAtCreation) {
  const std::string ini = dir / "Nimbra.ini";
  struct Case {
    const char* name;
    std::function<void()> make;
    uint32_t interval;
    std::string trace;
  };
  auto text = [&](const std::string& content) {
    return [&, content] { dir.Write("Nimbra.ini", content); };
  };
  const Case cases[] = {
      {"no file", [] {}, 30, "No configuration file " + ini + ": PollInterval 30 s"},
      // A FIFO once blocked the read for ever.
      {"a FIFO", [&] { mkfifo(ini.c_str(), 0644); }, 30,
       "Cannot read the configuration file " + ini + ": PollInterval 30 s"},
      {"no key", text("Other=1\n[Section]\n"), 30, "No PollInterval in " + ini + ": 30 s"},
      {"a word", text("PollInterval=12abc\n"), 30,
       "PollInterval '12abc' in " + ini + " is not a number: 30 s"},
      {"too low", text("pollinterval = 1\r\n"), 2,
       "PollInterval 1 in " + ini + " is outside 2..255: 2 s"},
      {"too high", text("PollInterval=4000000000\n"), 255,
       "PollInterval 4000000000 in " + ini + " is outside 2..255: 255 s"},
      {"in range", text("# comment\nPollInterval= 255 \n"), 255, "PollInterval 255 s from " + ini},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nimbra_test::RunShell("rm -rf '" + ini + "'");
    c.make();
    nimbra_test::TraceCapture trace;
    EXPECT_EQ(c.interval, IPLUGINAPI_IMPL().m_PollInterval);
    EXPECT_NE(std::string::npos, trace.Text().find(c.trace)) << trace.Text();
  }
}

// The configuration folder is missing: the new interval holds in memory, the
// host hears the write's status, the worker hears of the change, the trace
// names the file.
TEST_F(ConfigEnvironment, APollIntervalThatCannotBeWritten) {
  PI::CConfigFile::SetConfigDirectory(dir / "gone");
  IPLUGINAPI_IMPL api;
  ASSERT_EQ(1, api.m_PrivateEvent.Init(false, false));
  nimbra_test::TraceCapture trace;
  PI::CProperty interval(static_cast<PI::_PROPERTY_ID>(30005), true);
  interval.SetValue(20, 2, 255, 1);
  EXPECT_EQ(PI::ERR_GENERAL, api.SetPluginProperty(api.m_Plugin, interval));
  EXPECT_EQ(20u, api.m_PollInterval.load());
  EXPECT_EQ(1u, api.m_Plugin.m_ChangeCount);
  EXPECT_TRUE(api.m_PrivateEvent.IsSet());
  std::vector<PI::CProperty> read;
  api.GetPluginProperties(api.m_Plugin, read, static_cast<PI::_PROPERTY_ID>(30005));
  ASSERT_EQ(1u, read.size());
  EXPECT_EQ(20, read[0].intValue);
  EXPECT_NE(std::string::npos,
            trace.Text().find("Cannot write PollInterval=20 to " + dir.path() +
                              "/gone/Nimbra.ini (20000): the interval holds until the plug-in is "
                              "unloaded"))
      << trace.Text();
}

}  // namespace
