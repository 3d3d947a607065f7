// NIMBRA_TRACE(level, unit, format, args...): one trace line of the plug-in,
// written only when the module's trace mask has `level`. The format is a
// printf-style text filled in order with boost::format; arguments are not
// evaluated when the level is off. Tracing never throws.
//
// Levels: 2 entry/exit and matched tool values, 4 per-object detail,
// 8 lock waits and releases, 16 diagnostic values.
#pragma once

#include <boost/format.hpp>
#include <string>

#include "NimbraModule.h"
#include "TLX/Trace.h"

namespace NAMESPACE_Nimbra {

// Source units named in trace lines.
constexpr const char* kUnitNimbra = "Src/Nimbra";
constexpr const char* kUnitPlugin = "Src/NimbraPlugin";
constexpr const char* kUnitAdapter = "Src/NimbraAdapter";
constexpr const char* kUnitDrive = "Src/NimbraPhysicalDrive";
constexpr const char* kUnitCmdEmu = "Src/NimbraCmdEmu";

namespace detail {

inline void FeedFormat(boost::format&) {}
template <class T, class... Rest>
void FeedFormat(boost::format& f, const T& value, const Rest&... rest) {
  f % value;
  FeedFormat(f, rest...);
}

template <class... Args>
std::string TraceText(const char* format, const Args&... args) {
  try {
    boost::format f(format);
    f.exceptions(boost::io::no_error_bits);
    FeedFormat(f, args...);
    return f.str();
  } catch (...) {
    return format;
  }
}

void TraceWrite(unsigned level, const char* unit, int line, const std::string& text);

}  // namespace detail
}  // namespace NAMESPACE_Nimbra

#define NIMBRA_TRACE(level, unit, ...)                                                            \
  do {                                                                                            \
    if (::NAMESPACE_Nimbra::TLX_MODULE_INFO_Nimbra.TraceEnabled(level)) {                         \
      ::NAMESPACE_Nimbra::detail::TraceWrite((level), (unit), __LINE__,                           \
                                             ::NAMESPACE_Nimbra::detail::TraceText(__VA_ARGS__)); \
    }                                                                                             \
  } while (0)
