#include "SimTestSupport.h"

#include <fstream>
#include <sstream>

#include "NimbraCmdEmuPatterns.h"

namespace nimbra_test {
namespace P = NAMESPACE_Nimbra::Patterns;

namespace {

std::regex Compile(const char* pattern, bool ignoreCase) {
  std::string text = pattern;
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"[:xdigit:]", "[0-9A-Fa-f]"}, {"[:digit:]", "[0-9]"}}) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return std::regex(
      text, ignoreCase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
}

template <typename Table>
std::vector<std::regex> CompileAll(const Table& table, bool ignoreCase) {
  std::vector<std::regex> patterns;
  for (const auto& key : table) {
    const char* p = key.pattern;
    patterns.push_back(Compile(p, ignoreCase));
  }
  return patterns;
}

}  // namespace

std::vector<std::regex> InventoryPatterns() { return CompileAll(P::kInventory, false); }
std::regex InventoryHeader() { return Compile(P::kInventoryHeader, false); }
std::vector<std::regex> Page2Patterns() { return CompileAll(P::kPage2, true); }
std::regex Page197Pattern() { return Compile(P::kPage197, true); }
std::regex Page202Throttle() { return Compile(P::kPage202Throttle, true); }
std::regex Page202Wear() { return Compile(P::kPage202Wear, true); }
std::regex VersionPattern() { return Compile(P::kVersion, false); }

int FirstMatch(const std::vector<std::regex>& patterns, const std::string& line) {
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (std::regex_match(line, patterns[i])) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const auto lf = text.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    const std::size_t end = lf > start && text[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

std::string JoinLines(const std::string& text) {
  std::string joined;
  for (const std::string& line : SplitLines(text)) joined += line;
  return joined;
}

}  // namespace nimbra_test
