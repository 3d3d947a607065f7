// The garbage fault's noise: hostile in every way the issue names, yet with
// nothing in it that a correct reader may take for a key line.
#include <gtest/gtest.h>

#include <algorithm>

#include "Garbage.h"
#include "SimTestSupport.h"

namespace isdctsim {
namespace {

using simtest::splitLines;

// The number of lines (or, for page 202, joined matches) a correct reader of
// `command` would take from `text`.
int keyLinesSeen(Command command, const std::string& text) {
  int seen = 0;
  // Every whole-line pattern begins with a letter or "- ", so the noise lines
  // that begin with '~' (among them the 1 MiB one) need no regex run.
  auto countMatches = [&](const std::vector<std::regex>& patterns) {
    for (const std::string& line : splitLines(text)) {
      if (line.empty() || line[0] != '~') seen += simtest::firstMatch(patterns, line) >= 0;
    }
  };
  switch (command) {
    case Command::kShow:
      countMatches({simtest::inventoryPatterns()[0]});  // no drive without an Index line
      for (const std::string& line : splitLines(text)) {
        if (line.empty() || line[0] != '~') {
          seen += std::regex_search(line, simtest::inventoryHeader());
        }
      }
      break;
    case Command::kVersion:
      countMatches({simtest::versionPattern()});
      break;
    case Command::kLog2:
      countMatches(simtest::page2Patterns());
      break;
    case Command::kLog197:
      countMatches({simtest::page197Pattern()});
      break;
    case Command::kLog202: {
      const std::string joined = simtest::joinLines(text);
      seen += std::regex_search(joined, simtest::page202Throttle());
      seen += std::regex_search(joined, simtest::page202Wear());
      break;
    }
    case Command::kFormat:
    case Command::kDelete:
    case Command::kSet:
      seen += text.find("successful") != std::string::npos;
      break;
  }
  return seen;
}

TEST(Garbage, HostileButHoldsNoKeyLine) {
  const std::string seed = "CVFT5213000A400BGN";
  for (Command command : allCommands()) {
    SCOPED_TRACE(commandName(command));
    const std::string text = garbage(command, seed);
    EXPECT_EQ(keyLinesSeen(command, text), 0);
    const auto lines = splitLines(text);
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
    EXPECT_EQ(garbage(command, seed), text);
  }
  EXPECT_NE(garbage(Command::kLog2, "a"), garbage(Command::kLog2, "b"));
}

// A reader that stops at a NUL byte would see these key lines; a correct one
// must not. Guards the trap lines against turning into plain key lines.
TEST(Garbage, KeyLinesCutAtANulByteAreThere) {
  const std::pair<Command, const char*> cases[] = {
      {Command::kShow, "Index: 7"},
      {Command::kLog2, "Percentage Used: 7"},
      {Command::kLog197, "Current Temperature: 99"},
  };
  for (const auto& [command, prefix] : cases) {
    const std::string text = garbage(command, "fleet");
    EXPECT_NE(text.find(std::string(prefix) + '\0'), std::string::npos) << prefix;
  }
}

}  // namespace
}  // namespace isdctsim
