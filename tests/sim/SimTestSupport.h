// Helpers of the simulator's tests: the plug-in's key patterns compiled as
// std::regex, to read the simulator's answers the way the plug-in will, and
// output split into lines the way the host's command runner splits them.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace simtest {

// The plug-in's patterns in table order ("[:digit:]" and "[:xdigit:]" stand
// alone there; std::regex wants them in brackets).
std::vector<std::regex> inventoryPatterns();  // 26
std::regex inventoryHeader();                 // searched in a line
std::vector<std::regex> page2Patterns();      // 13
std::regex page197Pattern();
std::regex page202Throttle();  // searched in the joined text
std::regex page202Wear();      // searched in the joined text
std::regex versionPattern();

// Index of the first pattern that matches the whole line, or -1.
int firstMatch(const std::vector<std::regex>& patterns, const std::string& line);

// One element per line: a line ends at LF, a CR right before the LF belongs
// to the terminator, and a last line without LF is still a line.
std::vector<std::string> splitLines(const std::string& text);
// The lines joined back to back without their terminators.
std::string joinLines(const std::string& text);

using nimbra_test::ReadFile;

}  // namespace simtest
