// Splits fuzz input into lines the way the host's command execution does: a
// line ends at LF, a CR before the LF belongs to the terminator, a last line
// without LF is still a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbra_fuzz {

inline std::vector<std::string> Lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  const char* p = reinterpret_cast<const char*>(data);
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (p[i] != '\n') continue;
    size_t end = i;
    if (end > start && p[end - 1] == '\r') --end;
    lines.emplace_back(p + start, end - start);
    start = i + 1;
  }
  if (start < size) lines.emplace_back(p + start, size - start);
  return lines;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l;
  return text;
}

}  // namespace nimbra_fuzz
