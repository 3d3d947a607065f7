// nimbra-host's command line: global options, commands and their
// arguments, and one message for each wrong command line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "HostOptions.h"

namespace {

using nimbra_host::HostOptions;

// Parses the words of `line` as nimbra-host's arguments.
HostOptions Parse(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words = {"nimbra-host"};
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return nimbra_host::ParseHostOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(HostOptions, GlobalOptionsAndCommand) {
  const HostOptions o = Parse(
      "--plugin /p/libNimbra.so --config-dir /etc/n --sysfs-root /tmp/sys --trace 0x1e "
      "--trace-file /tmp/t --tool-timeout 5 --settle 3 --simulate fleet.json "
      "get 0x0135000000000001 30007 --json");
  EXPECT_EQ("", o.error);
  EXPECT_EQ(std::make_tuple("/p/libNimbra.so", "/etc/n", "/tmp/sys", "/tmp/t", "fleet.json"),
            std::make_tuple(o.plugin, o.configDir, o.sysfsRoot, o.traceFile, o.fleet));
  EXPECT_TRUE(o.traceSet && o.simulate);
  EXPECT_EQ(std::make_tuple(0x1eu, 5u, 3u),
            std::make_tuple(o.traceMask, o.toolTimeoutS, o.settleS));
  EXPECT_EQ("get", o.command);
  EXPECT_EQ((std::vector<std::string>{"0x0135000000000001", "30007", "--json"}), o.args);
  EXPECT_EQ(0x0135000000000001ULL, o.objectId);
  EXPECT_TRUE(o.propertySet && o.json);
  EXPECT_EQ(30007, o.property);

  const HostOptions bare = Parse("--simulate show");  // --simulate without a fleet file
  EXPECT_TRUE(bare.simulate);
  EXPECT_EQ("", bare.fleet);
  EXPECT_EQ("show", bare.command);
}

TEST(HostOptions, CommandArguments) {
  const HostOptions all = Parse("get 0135000000000002");  // without 0x, all properties
  EXPECT_EQ(0x0135000000000002ULL, all.objectId);
  EXPECT_FALSE(all.propertySet || all.json);
  EXPECT_EQ("-5", Parse("set 0x0135000000000000 30005 -5").value)
      << "a negative value is a value, not an option";
  const HostOptions watch = Parse("watch --json --seconds 30");
  EXPECT_TRUE(watch.secondsSet && watch.json);
  EXPECT_EQ(30u, watch.seconds);
  EXPECT_FALSE(Parse("watch").secondsSet);
  EXPECT_EQ(50002, Parse("exec 0x0135000000000000 50002").operation);
  EXPECT_TRUE(Parse("--help").help);
  const HostOptions help = Parse("get --help");  // help is not an error, whatever else is wrong
  EXPECT_TRUE(help.help);
  EXPECT_EQ("", help.error);
  EXPECT_EQ("get", help.command);
}

TEST(HostOptions, WrongCommandLinesGetOneMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "no command given"},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"--verbose show", "unknown option '--verbose'"},
      {"--trace", "--trace needs a value"},
      {"--trace lots show", "--trace: 'lots' is not a whole number"},
      {"--tool-timeout -3 show", "--tool-timeout: '-3' is not a whole number"},
      {"--tool-timeout 0 show", "--tool-timeout must be at least 1"},
      {"--settle 1e3 show", "--settle: '1e3' is not a whole number"},
      {"get", "get needs an object ID"},
      {"set 0x1 30005", "set needs a value"},
      {"check 0x1", "check needs an operation number"},
      {"get 0x1 30007 30003", "get: unexpected argument '30003'"},
      {"ops 0x1 --json", "ops: unknown option '--json'"},
      {"show --seconds 5", "show: unknown option '--seconds'"},
      {"watch --seconds", "watch: --seconds needs a value"},
      {"watch --seconds -1", "watch: --seconds: '-1' is not a whole number"},
      {"get zz", "'zz' is not an object ID: IDs are hexadecimal, as show prints them"},
      {"get 0x01350000000000001",
       "'0x01350000000000001' is not an object ID: IDs are "
       "hexadecimal, as show prints them"},
      {"get 0x1 30007.5", "property '30007.5' is not a number"},
      {"get 0x1 2147483648", "property '2147483648' is not a number"},
      {"exec 0x1 -50002", "operation '-50002' is not a number"},
  };
  for (const auto& [line, error] : cases) EXPECT_EQ(error, Parse(line).error) << line;
}

}  // namespace
