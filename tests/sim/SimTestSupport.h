// Helpers of the simulator's tests: the plug-in's key patterns compiled as
// std::regex, to read the simulator's answers the way the plug-in will, and
// output split into lines the way the host's command runner splits them.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace nimbra_test {

// The plug-in's patterns in table order ("[:digit:]" and "[:xdigit:]" stand
// alone there; std::regex wants them in brackets).
std::vector<std::regex> InventoryPatterns();  // 26
std::regex InventoryHeader();                 // searched in a line
std::vector<std::regex> Page2Patterns();      // 13
std::regex Page197Pattern();
std::regex Page202Throttle();  // searched in the joined text
std::regex Page202Wear();      // searched in the joined text
std::regex VersionPattern();

// Index of the first pattern that matches the whole line, or -1.
int FirstMatch(const std::vector<std::regex>& patterns, const std::string& line);

// One element per line: a line ends at LF, a CR right before the LF belongs
// to the terminator, and a last line without LF is still a line.
std::vector<std::string> SplitLines(const std::string& text);
// The lines joined back to back without their terminators.
std::string JoinLines(const std::string& text);

using nimbra_test::ReadFile;

}  // namespace nimbra_test
