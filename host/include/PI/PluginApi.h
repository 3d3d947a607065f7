// IPLUGINAPI: the one interface object a plug-in library hands the host.
// The library exports, with C linkage,
//   uint32_t createIf(IPLUGINAPI** out);   // 0, or 20007 with *out = null
//   void     releaseIf(IPLUGINAPI** p);    // destroys *p, sets it null
// and the host drives the object through Execute (commands 1 to 10, see
// PI::_COMMAND). Execute may be called from many host threads at once;
// createIf and releaseIf never run concurrently with it.
#pragma once

#include <cstdint>

#include "PI/Types.h"

class IPLUGINAPI;

namespace PI {

// Base of every host object that wants plug-in notifications.
class CNotifyTarget {
 public:
  virtual ~CNotifyTarget() = default;
};

// Host notification slot: a host object and a member-function pointer. The
// plug-in calls it (from its own worker thread, holding no lock of its own)
// with its interface object; an empty slot does nothing.
struct CHostNotify {
  using Method = void (CNotifyTarget::*)(IPLUGINAPI*);

  CNotifyTarget* m_Object = nullptr;
  Method m_Method = nullptr;

  void Clear() {
    m_Object = nullptr;
    m_Method = nullptr;
  }
  void operator()(IPLUGINAPI* api) const {
    if (m_Object != nullptr && m_Method != nullptr) (m_Object->*m_Method)(api);
  }
};

}  // namespace PI

class IPLUGINAPI {
 public:
  virtual uint32_t Execute(PI::_COMMAND command, unsigned long objectId, void* param) = 0;
  virtual ~IPLUGINAPI() = default;

  uint32_t m_InterfaceVersion = 0;
  PI::CHostNotify m_HostNotify;
  uint32_t m_ModuleTag = 0;
};

extern "C" {
typedef uint32_t (*PFN_CREATEIF)(IPLUGINAPI** out);
typedef void (*PFN_RELEASEIF)(IPLUGINAPI** p);
}
