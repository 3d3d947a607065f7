// Status codes that plug-ins return to the host. 0 is success; the numbers
// are part of the host interface and never change.
#pragma once

#include <cstdint>

namespace PI {

constexpr uint32_t ERR_SUCCESS = 0;
constexpr uint32_t ERR_GENERAL = 20000;
constexpr uint32_t ERR_NO_SUPPORTED_HARDWARE = 20001;
constexpr uint32_t ERR_UNKNOWN_COMMAND = 20002;
constexpr uint32_t ERR_TOOL_FAILED = 20003;
constexpr uint32_t ERR_PROPERTY_NOT_SETTABLE = 20004;
constexpr uint32_t ERR_OPERATION_NOT_SUPPORTED = 20005;
constexpr uint32_t ERR_OUT_OF_MEMORY = 20007;
constexpr uint32_t ERR_OBJECT_NOT_FOUND = 20008;
constexpr uint32_t ERR_LOCK_INITIALIZATION_FAILED = 20011;
constexpr uint32_t ERR_API_INITIALIZATION_FAILED = 20012;
constexpr uint32_t ERR_OPERATION_REJECTED = 20042;

// Short English name of a status ("no supported hardware"), or "unknown
// status" for a number not listed above. Never null.
const char* StatusText(uint32_t status);

}  // namespace PI
