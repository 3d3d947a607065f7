// Library entry points, the static module set-up and the command dispatcher.
#include <new>

#include "NimbraImpl.h"
#include "NimbraModule.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

const char* const ErrorMsgList[2] = {
    "General error in Nimbra plugin",
    "No information available for this error",
};

namespace NLS {
// "en" packed as one 16-bit number, first character in the high byte.
TLX::Language_Support::CLanguageSupport::CLngFile m_LngFile("Nimbra.nls", ('e' << 8) | 'n', "utf-8",
                                                            1, ErrorMsgList, 2);
}  // namespace NLS

TLX::Misc::CModuleInfo TLX_MODULE_INFO_Nimbra(kModuleNumber, kModuleName, "P:6.3.6 F:6.3.6",
                                              NLS::m_LngFile, ErrorMsgList, 2);

namespace detail {
void TraceWrite(unsigned level, const char* unit, int line, const std::string& text) {
  TLX::Internals::CTraceStreamBuffer trace(level, TLX_MODULE_INFO_Nimbra, unit, line);
  trace << text;
}
}  // namespace detail

namespace {

template <class T>
T& Param(void* param) {
  return *static_cast<T*>(param);
}

// Output vectors of failed commands never carry partial results to the host.
template <class T>
uint32_t EmptiedOnFailure(uint32_t status, std::vector<T>& out) {
  if (status != 0) out.clear();
  return status;
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::Execute(PI::_COMMAND command, unsigned long objectId, void* param) {
  const int number = static_cast<int>(command);
  if (number < PI::CMD_INITIALIZE || number > PI::CMD_EXECUTE_OPERATION) {
    return PI::ERR_UNKNOWN_COMMAND;
  }
  if (param == nullptr && number != PI::CMD_DEINITIALIZE) {
    NIMBRA_TRACE(2, kUnitNimbra, "Execute(%d) without a parameter", number);
    return PI::ERR_GENERAL;
  }
  switch (number) {
    case PI::CMD_INITIALIZE: {
      auto& out = Param<std::vector<PI::CAdapterID>>(param);
      return EmptiedOnFailure(Initialize(out), out);
    }
    case PI::CMD_SET_ADAPTER_IDS:
      return SetAdapterIDs(Param<std::vector<PI::CAdapterID>>(param));
    case PI::CMD_DEINITIALIZE:
      return DeInitialize();
    case PI::CMD_GET_TOPOLOGY: {
      auto& out = Param<std::vector<PI::CObject>>(param);
      return EmptiedOnFailure(GetTopology(out), out);
    }
    case PI::CMD_GET_PROPERTIES: {
      auto& out = Param<std::vector<PI::CProperty>>(param);
      return EmptiedOnFailure(GetProperties(objectId, out), out);
    }
    case PI::CMD_GET_PROPERTY:
      return GetProperty(objectId, Param<PI::CProperty>(param));
    case PI::CMD_SET_PROPERTY:
      return SetProperty(objectId, Param<PI::CProperty>(param));
    case PI::CMD_GET_OPERATIONS: {
      auto& out = Param<std::vector<PI::COperation>>(param);
      return EmptiedOnFailure(GetOperations(objectId, out), out);
    }
    case PI::CMD_CHECK_OPERATION:
      return CheckOperation(objectId, Param<PI::COperation>(param));
    default:
      return ExecuteOperation(objectId, Param<PI::COperation>(param));
  }
}

}  // namespace NAMESPACE_Nimbra

extern "C" {

__attribute__((visibility("default"))) uint32_t createIf(IPLUGINAPI** out) {
  using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
  // The host owns the object through this pointer until releaseIf.
  IPLUGINAPI_IMPL* api = new (std::nothrow) IPLUGINAPI_IMPL();
  if (api == nullptr) {
    *out = nullptr;
    return PI::ERR_OUT_OF_MEMORY;
  }
  api->m_ModuleTag = NAMESPACE_Nimbra::TLX_MODULE_INFO_Nimbra.Tag();
  *out = api;
  return 0;
}

__attribute__((visibility("default"))) void releaseIf(IPLUGINAPI** p) {
  if (p == nullptr || *p == nullptr) return;
  delete *p;
  *p = nullptr;
}

}  // extern "C"
