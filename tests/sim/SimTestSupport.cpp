#include "SimTestSupport.h"

#include <fstream>
#include <sstream>

#include "NimbraCmdEmuPatterns.h"

namespace simtest {
namespace P = NAMESPACE_Nimbra::Patterns;

namespace {

std::regex compile(const char* pattern, bool ignoreCase) {
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
std::vector<std::regex> compileAll(const Table& table, bool ignoreCase) {
  std::vector<std::regex> patterns;
  for (const auto& key : table) {
    const char* p = key.pattern;
    patterns.push_back(compile(p, ignoreCase));
  }
  return patterns;
}

}  // namespace

std::vector<std::regex> inventoryPatterns() { return compileAll(P::kInventory, false); }
std::regex inventoryHeader() { return compile(P::kInventoryHeader, false); }
std::vector<std::regex> page2Patterns() { return compileAll(P::kPage2, true); }
std::regex page197Pattern() { return compile(P::kPage197, true); }
std::regex page202Throttle() { return compile(P::kPage202Throttle, true); }
std::regex page202Wear() { return compile(P::kPage202Wear, true); }
std::regex versionPattern() { return compile(P::kVersion, false); }

int firstMatch(const std::vector<std::regex>& patterns, const std::string& line) {
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (std::regex_match(line, patterns[i])) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> splitLines(const std::string& text) {
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

std::string joinLines(const std::string& text) {
  std::string joined;
  for (const std::string& line : splitLines(text)) joined += line;
  return joined;
}

}  // namespace simtest
