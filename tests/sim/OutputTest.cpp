// The tool's answers read with the plug-in's own key patterns: the health
// page's flags follow the warning bits, page 202 matches only when joined,
// and the garbage fault's noise is hostile yet holds no key line.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "Garbage.h"
#include "Printers.h"
#include "SimTestSupport.h"

namespace isdct_sim {
namespace {

using nimbra_test::SplitLines;

// The captured value of every pattern that decides a line, by the pattern's
// position; fails the test when a pattern decides two lines.
std::map<int, std::string> Captures(const std::vector<std::regex>& patterns,
                                    const std::string& text) {
  std::map<int, std::string> values;
  for (const std::string& line : SplitLines(text)) {
    const int k = nimbra_test::FirstMatch(patterns, line);
    if (k < 0) continue;
    std::smatch m;
    std::regex_match(line, m, patterns[k]);
    EXPECT_EQ(values.count(k), 0u) << "pattern " << k << " decides two lines, again at: " << line;
    values[k] = m[1];
  }
  return values;
}

uint64_t Number(const std::string& text) { return std::stoull(text, nullptr, 0); }

TEST(Printers, Page2FlagsFollowTheCriticalWarningBits) {
  for (uint32_t warnings : {0x00u, 0x01u, 0x02u, 0x04u, 0x08u, 0x10u, 0x1Fu, 0xE0u}) {
    Drive d = DefaultDrive(1);
    d.health.criticalWarnings = warnings;
    auto v = Captures(nimbra_test::Page2Patterns(), LogPage2(d, false));
    ASSERT_EQ(v.size(), 13u) << "warnings " << warnings;
    EXPECT_EQ(Number(v[0]), warnings);
    for (int k = 0; k < 5; ++k) {  // spare, temperature, reliability, read-only, backup
      EXPECT_EQ(v[1 + k], (warnings >> k) & 1 ? "1" : "0") << "warnings " << warnings;
    }
  }
}

// A reader that does not join page 202's lines finds neither attribute.
TEST(Printers, Page202AttributesMatchOnlyWhenTheLinesAreJoined) {
  Drive d = DefaultDrive(2);
  d.health.thermalThrottleStatus = 12;
  d.health.wearLevelingCount = 250;
  const std::string text = LogPage202(d, false);
  const std::string joined = nimbra_test::JoinLines(text);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(joined, m, nimbra_test::Page202Throttle()));
  EXPECT_EQ(m[1], "12");
  ASSERT_TRUE(std::regex_search(joined, m, nimbra_test::Page202Wear()));
  EXPECT_EQ(m[1], "250");
  EXPECT_FALSE(std::regex_search(text, nimbra_test::Page202Throttle()));
  EXPECT_FALSE(std::regex_search(text, nimbra_test::Page202Wear()));
}

// The number of key lines (for page 202, joined matches) a correct reader of
// `command` would take from `text`. Every whole-line pattern begins with a
// letter or "- ", so the noise lines that begin with '~' need no regex run.
int KeyLinesSeen(Command command, const std::string& text) {
  int seen = 0;
  auto count = [&](const std::vector<std::regex>& patterns) {
    for (const std::string& line : SplitLines(text)) {
      if (line.empty() || line[0] != '~') seen += nimbra_test::FirstMatch(patterns, line) >= 0;
    }
  };
  const std::string joined = nimbra_test::JoinLines(text);
  switch (command) {
    case Command::kShow:
      count({nimbra_test::InventoryPatterns()[0]});  // no drive without an Index line
      for (const std::string& line : SplitLines(text)) {
        if (line.empty() || line[0] != '~') {
          seen += std::regex_search(line, nimbra_test::InventoryHeader());
        }
      }
      break;
    case Command::kVersion:
      count({nimbra_test::VersionPattern()});
      break;
    case Command::kLog2:
      count(nimbra_test::Page2Patterns());
      break;
    case Command::kLog197:
      count({nimbra_test::Page197Pattern()});
      break;
    case Command::kLog202:
      seen += std::regex_search(joined, nimbra_test::Page202Throttle());
      seen += std::regex_search(joined, nimbra_test::Page202Wear());
      break;
    default:  // the maintenance commands
      seen += text.find("successful") != std::string::npos;
  }
  return seen;
}

TEST(Garbage, HostileButHoldsNoKeyLine) {
  const std::string seed = "CVFT5213000A400BGN";
  for (Command command : AllCommands()) {
    SCOPED_TRACE(CommandName(command));
    const std::string text = Garbage(command, seed);
    EXPECT_EQ(KeyLinesSeen(command, text), 0);
    const auto lines = SplitLines(text);
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(lines[0].find("No results"), std::string::npos);
    EXPECT_EQ(lines[0].find("Error: Given drive index is invalid."), std::string::npos);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.size() >= (1u << 20); }));
    EXPECT_TRUE(std::any_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) > 127; }));
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_NE(text.find('\0'), std::string::npos);
    EXPECT_NE(text.back(), '\n');  // a last line without a line feed
    EXPECT_EQ(Garbage(command, seed), text);
  }
  EXPECT_NE(Garbage(Command::kLog2, "a"), Garbage(Command::kLog2, "b"));
  // Key lines cut by a NUL byte: a reader that stops at the NUL would take them.
  const std::pair<Command, const char*> traps[] = {{Command::kShow, "Index: 7"},
                                                   {Command::kLog2, "Percentage Used: 7"},
                                                   {Command::kLog197, "Current Temperature: 99"}};
  for (const auto& [command, prefix] : traps) {
    EXPECT_NE(Garbage(command, "fleet").find(std::string(prefix) + '\0'), std::string::npos);
  }
}

}  // namespace
}  // namespace isdct_sim
