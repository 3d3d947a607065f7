// nimbra-host's command line: global options, commands and their
// arguments, and one message for each wrong command line.
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
  const HostOptions o = Parse({"--plugin",
                               "/p/libNimbra.so",
                               "--config-dir",
                               "/etc/n",
                               "--sysfs-root",
                               "/tmp/sys",
                               "--trace",
                               "0x1e",
                               "--trace-file",
                               "/tmp/t",
                               "--tool-timeout",
                               "5",
                               "--settle",
                               "3",
                               "--simulate",
                               "fleet.json",
                               "get",
                               "0x0135000000000001",
                               "30007",
                               "--json"});
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

TEST(HostOptions, CommandArgumentsAreChecked) {
  const HostOptions get = Parse({"get", "0135000000000001", "30007", "--json"});
  EXPECT_EQ("", get.error);
  EXPECT_EQ(0x0135000000000001ULL, get.objectId);
  EXPECT_TRUE(get.propertySet);
  EXPECT_EQ(30007, get.property);
  EXPECT_TRUE(get.json);

  const HostOptions all = Parse({"get", "0x0135000000000002"});
  EXPECT_FALSE(all.propertySet);
  EXPECT_FALSE(all.json);

  const HostOptions set = Parse({"set", "0x0135000000000000", "30005", "-5"});
  EXPECT_EQ("", set.error);
  EXPECT_EQ("-5", set.value) << "a negative value is a value, not an option";

  const HostOptions watch = Parse({"watch", "--json", "--seconds", "30"});
  EXPECT_TRUE(watch.secondsSet);
  EXPECT_EQ(30u, watch.seconds);
  EXPECT_TRUE(watch.json);
  EXPECT_FALSE(Parse({"watch"}).secondsSet);

  const HostOptions exec = Parse({"exec", "0x0135000000000000", "50002"});
  EXPECT_EQ(50002, exec.operation);
}

TEST(HostOptions, WrongCommandArgumentsGetOneMessage) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  };
  const Case cases[] = {
      {{"get"}, "get needs an object ID"},
      {{"set", "0x1", "30005"}, "set needs a value"},
      {{"check", "0x1"}, "check needs an operation number"},
      {{"get", "0x1", "30007", "30003"}, "get: unexpected argument '30003'"},
      {{"ops", "0x1", "--json"}, "ops: unknown option '--json'"},
      {{"show", "--seconds", "5"}, "show: unknown option '--seconds'"},
      {{"watch", "--seconds"}, "watch: --seconds needs a value"},
      {{"watch", "--seconds", "-1"}, "watch: --seconds: '-1' is not a whole number"},
      {{"get", "zz"}, "'zz' is not an object ID: IDs are hexadecimal, as show prints them"},
      {{"get", "0x1", "30007.5"}, "property '30007.5' is not a number"},
      {{"get", "0x1", "2147483648"}, "property '2147483648' is not a number"},
      {{"exec", "0x1", "-50002"}, "operation '-50002' is not a number"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.error, Parse(c.args).error);
  }
  // Help is not an error, whatever else is wrong.
  EXPECT_EQ("", Parse({"get", "--help"}).error);
}

}  // namespace
