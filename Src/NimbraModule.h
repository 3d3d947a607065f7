// The plug-in's static module set-up, built when the library is loaded: the
// language file, the module error texts and the module record whose trace
// mask filters every trace statement of the plug-in.
#pragma once

#include "TLX/Misc.h"

namespace NAMESPACE_Nimbra {

namespace NLS {
extern TLX::Language_Support::CLanguageSupport::CLngFile m_LngFile;
}

extern const char* const ErrorMsgList[2];
extern TLX::Misc::CModuleInfo TLX_MODULE_INFO_Nimbra;

}  // namespace NAMESPACE_Nimbra
