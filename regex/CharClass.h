// Character classes of the pattern language: the named classes ("digit",
// "xdigit", ...) and the stock classes behind \d \w \s. ASCII only: bytes
// from 128 up belong to no class except their negations.
#pragma once

#include <string>

#include "TLX/Regex/Elements.h"

namespace TLX {
namespace Regex {
namespace detail {

// Looks up a class by its name followed by ":" ("digit:"), comparing the full
// length. Returns false for an unknown name.
bool LookupNamedClass(const std::string& nameWithColon, CharSet& out);

// \d \w \s and their upper-case negations; `letter` is one of "dwsDWS".
CharSet StockClass(char letter);

// Adds the other case of every ASCII letter in the set.
void AddOtherCase(CharSet& set);

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
