#include "PropertyWords.h"

#include <time.h>

#include <chrono>
#include <cstdio>

namespace nimbra_test {

namespace {

std::string List(const std::vector<int>& values) {
  std::string text = "{";
  for (size_t i = 0; i < values.size(); ++i) {
    text += (i == 0 ? "" : ",") + std::to_string(values[i]);
  }
  return text + "}";
}

std::string Value(const PI::CProperty& p) {
  char text[64];
  switch (p.valueKind) {
    case 2:
      return "\"" + p.text + "\"";
    case 3:
      return std::to_string(p.intValue) + " of " + List(p.allowed);
    case 5:
      return std::to_string(p.number);
    case 6:
      return std::to_string(p.intValue) + " in " + std::to_string(p.rangeMin) + ".." +
             std::to_string(p.rangeMax) + "/" + std::to_string(p.rangeStep);
    case 7:
      return List(p.current) + " of " + List(p.allowed);
    case 8:
      std::snprintf(text, sizeof text, "%.6g", static_cast<double>(p.floatValue));
      return text;
    default:
      return "-";
  }
}

}  // namespace

std::string Words(const PI::CProperty& p) {
  char words[160];
  std::snprintf(words, sizeof words, "%d %d %d %d %d %d %d %d %d %d %d %d %s | ", p.id,
                p.secondaryId, p.textId, p.attrA, p.attrB, p.attrC, p.valueKind, p.unit,
                p.severityId, p.flagA, p.flagB, p.floatMarker, p.writable ? "rw" : "ro");
  return words + Value(p);
}

std::vector<std::string> Words(const std::vector<PI::CProperty>& properties) {
  std::vector<std::string> lines;
  for (const PI::CProperty& p : properties) lines.push_back(Words(p));
  return lines;
}

std::string DateIn(unsigned long hours) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const time_t seconds = static_cast<time_t>(ms / 1000 + static_cast<long long>(hours) * 3600);
  struct tm tm {};
  gmtime_r(&seconds, &tm);
  char text[40];  // room for any int the format could print
  std::snprintf(text, sizeof text, "%4d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return text;
}

}  // namespace nimbra_test
