#include "NimbraConvert.h"

namespace NAMESPACE_Nimbra {
namespace detail {

boost::cnv::cstream& Converter(Base base) {
  thread_local boost::cnv::cstream decimal = [] {
    boost::cnv::cstream c;
    c(std::dec)(std::skipws);
    return c;
  }();
  thread_local boost::cnv::cstream hexadecimal = [] {
    boost::cnv::cstream c;
    c(std::hex)(std::skipws);
    return c;
  }();
  return base == Base::kHexadecimal ? hexadecimal : decimal;
}

void ThrowConversionError(const std::string& text, const char* type) {
  std::string shown = text.size() > 64 ? text.substr(0, 64) + "..." : text;
  throw ConversionError("SSD tool value '" + shown + "' does not fit " + type);
}

}  // namespace detail
}  // namespace NAMESPACE_Nimbra
