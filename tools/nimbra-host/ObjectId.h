// Object IDs as people and scripts write them: hexadecimal text with "0x",
// sixteen digits wide ("0x0135000000000001"). 64-bit IDs do not fit a JSON
// number (a double), so the harness always prints them as text.
#pragma once

#include <boost/optional.hpp>
#include <cstdint>
#include <string>

namespace nimbra_host {

// "0x0135000000000001".
std::string FormatObjectId(uint64_t id);

// Reads 1 to 16 hexadecimal digits, with or without "0x"/"0X" in front;
// none for anything else (empty text, other characters, signs, blanks, more
// than 64 bits).
boost::optional<uint64_t> ParseObjectId(const std::string& text);

}  // namespace nimbra_host
