#include "PI/Status.h"

namespace PI {

const char* StatusText(uint32_t status) {
  switch (status) {
    case ERR_SUCCESS:
      return "success";
    case ERR_GENERAL:
      return "general error";
    case ERR_NO_SUPPORTED_HARDWARE:
      return "no supported hardware";
    case ERR_UNKNOWN_COMMAND:
      return "unknown command";
    case ERR_TOOL_FAILED:
      return "tool failed";
    case ERR_PROPERTY_NOT_SETTABLE:
      return "property not settable";
    case ERR_OPERATION_NOT_SUPPORTED:
      return "operation not supported";
    case ERR_OUT_OF_MEMORY:
      return "out of memory";
    case ERR_OBJECT_NOT_FOUND:
      return "object not found";
    case ERR_LOCK_INITIALIZATION_FAILED:
      return "lock initialization failed";
    case ERR_API_INITIALIZATION_FAILED:
      return "API initialization failed";
    case ERR_OPERATION_REJECTED:
      return "operation rejected";
    default:
      return "unknown status";
  }
}

}  // namespace PI
