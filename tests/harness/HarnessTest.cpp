// nimbra-host: its command line, and the program run as an administrator
// would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HostOptions.h"
#include "TestSupport.h"

namespace {

using nimbra_host::HostOptions;
using nimbra_host::ParseHostOptions;

HostOptions Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "nimbra-host");
  return ParseHostOptions(static_cast<int>(args.size()), args.data());
}

TEST(HostOptions, GlobalOptionsAndCommand) {
  const HostOptions o = Parse({"--plugin", "/p/libNimbra.so", "--config-dir", "/etc/n",
                               "--sysfs-root", "/tmp/sys", "--trace", "0x1e", "--trace-file",
                               "/tmp/t", "--tool-timeout", "5", "--settle", "3", "--simulate",
                               "fleet.json", "get", "0x0135000000000001", "30007", "--json"});
  EXPECT_EQ("", o.error);
  EXPECT_EQ("/p/libNimbra.so", o.plugin);
  EXPECT_EQ("/etc/n", o.configDir);
  EXPECT_EQ("/tmp/sys", o.sysfsRoot);
  EXPECT_TRUE(o.traceSet);
  EXPECT_EQ(0x1eu, o.traceMask);
  EXPECT_EQ("/tmp/t", o.traceFile);
  EXPECT_EQ(5u, o.toolTimeoutS);
  EXPECT_EQ(3u, o.settleS);
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ("fleet.json", o.fleet);
  EXPECT_EQ("get", o.command);
  EXPECT_EQ((std::vector<std::string>{"0x0135000000000001", "30007", "--json"}), o.args);
}

TEST(HostOptions, SimulateWithoutFleet) {
  const HostOptions o = Parse({"--simulate", "show"});
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ("", o.fleet);
  EXPECT_EQ("show", o.command);
}

TEST(HostOptions, BadCommandLinesGetOneMessage) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--verbose", "show"}, "unknown option '--verbose'"},
      {{"--trace"}, "--trace needs a value"},
      {{"--trace", "lots", "show"}, "--trace: 'lots' is not a whole number"},
      {{"--tool-timeout", "-3", "show"}, "--tool-timeout: '-3' is not a whole number"},
      {{"--tool-timeout", "0", "show"}, "--tool-timeout must be at least 1"},
      {{"--settle", "1e3", "show"}, "--settle: '1e3' is not a whole number"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.error, Parse(c.args).error);
  }
}

TEST(HostOptions, HelpForTheProgramAndForEachCommand) {
  EXPECT_TRUE(Parse({"--help"}).help);
  const HostOptions o = Parse({"show", "--help"});
  EXPECT_TRUE(o.help);
  EXPECT_EQ("show", o.command);
  for (const char* command : {"show", "watch", "get", "set", "ops", "check", "exec"}) {
    EXPECT_NE(std::string::npos, nimbra_host::CommandUsage(command).find(command)) << command;
  }
}

std::string Harness() { return nimbra_test::BuildDir() + "/nimbra-host"; }

TEST(HarnessProgram, NoSupportedHardwareExitsTwoWithTheStatus) {
  nimbra_test::TempDir sysfs;
  std::string out;
  const int status = nimbra_test::RunShell(
      "'" + Harness() + "' --sysfs-root '" + sysfs.path() + "' show 2>&1", &out);
  EXPECT_EQ(2, status) << out;
  EXPECT_NE(std::string::npos, out.find("Nimbra:  Initialize:  adapter count is 0")) << out;
  EXPECT_NE(std::string::npos, out.find("no supported hardware (20001)")) << out;
}

TEST(HarnessProgram, BadArgumentsExitOneWithOneLine) {
  for (const char* args : {"frobnicate", "--settle x show", "--plugin /nonexistent/lib.so show"}) {
    std::string out;
    nimbra_test::TempDir sysfs;
    const int status = nimbra_test::RunShell("'" + Harness() + "' " + args + " 2>&1", &out);
    EXPECT_EQ(1, status) << args << ": " << out;
    EXPECT_EQ(0u, out.find("nimbra-host: ")) << out;
    EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out;
  }
}

TEST(HarnessProgram, HelpExitsZero) {
  std::string out;
  EXPECT_EQ(0, nimbra_test::RunShell("'" + Harness() + "' --help", &out));
  EXPECT_NE(std::string::npos, out.find("usage: nimbra-host")) << out;
}

}  // namespace
