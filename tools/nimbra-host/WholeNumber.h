// Whole decimal numbers as people type them on the command line, read in
// full and checked against the range of what they go into. A reading that
// fails says why, naming the text: "'ten' is not a number", "'10.5' is not a
// whole number" (a decimal fraction or exponent), "'300' is out of range
// (2..255)" (also for numbers too large for any 64-bit type). Pure
// functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace nimbra_host {

// Reads `text` as a whole number from `min` to `max` into `value`. Returns ""
// or the reason it does not fit; `value` is untouched then.
std::string ReadWhole(const std::string& text, int64_t min, int64_t max, int64_t& value);
std::string ReadWhole(const std::string& text, uint64_t max, uint64_t& value);

}  // namespace nimbra_host
