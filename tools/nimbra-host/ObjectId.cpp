#include "ObjectId.h"

#include <boost/format.hpp>
#include <cctype>

namespace nimbra_host {

std::string FormatObjectId(uint64_t id) { return (boost::format("0x%016X") % id).str(); }

boost::optional<uint64_t> ParseObjectId(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.erase(0, 2);
  }
  if (digits.empty() || digits.size() > 16) return boost::none;
  uint64_t id = 0;
  for (const char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return boost::none;
    const int value = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    id = (id << 4) | static_cast<uint64_t>(value);
  }
  return id;
}

}  // namespace nimbra_host
