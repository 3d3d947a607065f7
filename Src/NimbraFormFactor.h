// The two families of supported drives, told apart by the first 12
// characters of the model text, and everything that follows from the family:
// the margin the plug-in adds to the tool's temperature reading (and takes
// off again where it reports the reading), the name prefix of adapters and
// drives, and the form-factor value the host shows. Each flow decides the
// family once per record and passes it on. Pure functions, no state.
#pragma once

#include <cstdint>
#include <string>

namespace NAMESPACE_Nimbra {

enum class FormFactor { kAddInCard, kTwoAndAHalfInch };

struct FormFactorTraits {
  const char* modelPrefix;    // the model text's first 12 characters
  int32_t temperatureMargin;  // added to the tool's reading
  const char* namePrefix;     // of adapter and drive display names
  int32_t value;              // the form-factor property's value code
};

// An add-in card when the model's first 12 characters are "INTEL SSDPED";
// any other model (a shorter one included) counts as a 2.5-inch drive.
FormFactor FormFactorOf(const std::string& model);
const FormFactorTraits& Traits(FormFactor formFactor);
inline const FormFactorTraits& TraitsOf(bool addInCard) {
  return Traits(addInCard ? FormFactor::kAddInCard : FormFactor::kTwoAndAHalfInch);
}

namespace CmdEmu {
// True when the model's first 12 characters are "INTEL SSDPED".
bool IsAddInCard(const std::string& model);
// True for the add-in cards and the 2.5-inch drives ("INTEL SSDPE2").
bool IsSupportedModel(const std::string& model);
}  // namespace CmdEmu

}  // namespace NAMESPACE_Nimbra
