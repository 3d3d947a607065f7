#include "WholeNumber.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace nimbra_host {

namespace {

// A number as read: its sign and its magnitude, which saturates at the
// largest 64-bit value (anything above it is out of every range here).
struct Magnitude {
  bool negative = false;
  uint64_t value = 0;
  bool saturated = false;
};

enum class Form { kWhole, kFraction, kNotANumber };

Form Read(const std::string& text, Magnitude& m) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) m.negative = text[i++] == '-';
  const size_t digits = i;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const uint64_t d = static_cast<uint64_t>(text[i] - '0');
    if (m.value > (UINT64_MAX - d) / 10) {
      m.saturated = true;
    } else if (!m.saturated) {
      m.value = m.value * 10 + d;
    }
  }
  if (i > digits && i == text.size()) return Form::kWhole;
  // Something a reader would still call a number: 10.5, 1e3, .5.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return Form::kNotANumber;
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (end == text.c_str() + text.size() && std::isfinite(d) &&
      text.find_first_of("xXnN") == std::string::npos) {
    return Form::kFraction;
  }
  return Form::kNotANumber;
}

std::string Problem(const std::string& text, Form form) {
  const std::string quoted = "'" + text + "'";
  return quoted + (form == Form::kFraction ? " is not a whole number" : " is not a number");
}

std::string OutOfRange(const std::string& text, const std::string& min, const std::string& max) {
  return "'" + text + "' is out of range (" + min + ".." + max + ")";
}

}  // namespace

std::string ReadWhole(const std::string& text, int64_t min, int64_t max, int64_t& value) {
  Magnitude m;
  const Form form = Read(text, m);
  if (form != Form::kWhole) return Problem(text, form);
  std::string range = OutOfRange(text, std::to_string(min), std::to_string(max));
  if (m.saturated) return range;
  int64_t n = 0;
  if (!m.negative) {
    if (m.value > static_cast<uint64_t>(INT64_MAX)) return range;
    n = static_cast<int64_t>(m.value);
  } else if (m.value != 0) {
    // -(min + 1) + 1 is the magnitude of min, computed without overflow.
    if (min >= 0 || m.value - 1 > static_cast<uint64_t>(-(min + 1))) return range;
    n = -static_cast<int64_t>(m.value - 1) - 1;
  }
  if (n < min || n > max) return range;
  value = n;
  return "";
}

std::string ReadWhole(const std::string& text, uint64_t max, uint64_t& value) {
  Magnitude m;
  const Form form = Read(text, m);
  if (form != Form::kWhole) return Problem(text, form);
  if (m.saturated || m.value > max || (m.negative && m.value != 0)) {
    return OutOfRange(text, "0", std::to_string(max));
  }
  value = m.value;
  return "";
}

}  // namespace nimbra_host
