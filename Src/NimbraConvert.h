// Numbers from the SSD tool's text. Boost.Convert's stream converter reads a
// captured text as a decimal number, or as a hexadecimal one with its "0x"
// prefix; leading blanks are skipped and the whole text must be the number.
// A text that does not fit the field's type raises ConversionError, which
// the plug-in does not catch: its callers' callers (the host) see it.
//
// The common case, a plain run of digits that fits, is read with
// std::from_chars first: it accepts a subset of what the stream accepts and
// gives the same value, without setting up a stream. Every
// other text goes to the stream converter, which decides.
#pragma once

#include <boost/convert.hpp>
#include <boost/convert/stream.hpp>
#include <charconv>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace NAMESPACE_Nimbra {

class ConversionError : public std::range_error {
 public:
  explicit ConversionError(const std::string& what) : std::range_error(what) {}
};

enum class Base { kDecimal, kHexadecimal };

namespace detail {
// One converter per thread and base, so a conversion allocates no stream.
boost::cnv::cstream& Converter(Base base);
[[noreturn]] void ThrowConversionError(const std::string& text, const char* type);
}  // namespace detail

template <class T>
T ToNumber(const std::string& text, Base base = Base::kDecimal) {
  const char* first = text.data();
  const char* const last = first + text.size();
  int radix = 10;
  bool quickForm = true;
  if (base == Base::kHexadecimal) {
    radix = 16;
    if (text.size() > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
      first += 2;
      quickForm = *first != '-';  // a sign goes before the prefix, not after it
    }
  }
  if (quickForm && first != last) {
    T quick{};
    const std::from_chars_result r = std::from_chars(first, last, quick, radix);
    if (r.ec == std::errc() && r.ptr == last) return quick;
  }
  boost::optional<T> value = boost::convert<T>(text, detail::Converter(base));
  if (!value)
    detail::ThrowConversionError(text, sizeof(T) == 8 ? "a 64-bit field" : "a 32-bit field");
  return *value;
}

}  // namespace NAMESPACE_Nimbra
