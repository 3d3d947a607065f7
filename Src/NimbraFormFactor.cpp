#include "NimbraFormFactor.h"

namespace NAMESPACE_Nimbra {

namespace {
constexpr FormFactorTraits kAddInCard = {"INTEL SSDPED", 5, "Torvik P3700", 40480};
constexpr FormFactorTraits kTwoAndAHalfInch = {"INTEL SSDPE2", 14, "Torvik 2.5in", 40488};
constexpr size_t kPrefixLength = 12;
}  // namespace

FormFactor FormFactorOf(const std::string& model) {
  return model.compare(0, kPrefixLength, kAddInCard.modelPrefix) == 0
             ? FormFactor::kAddInCard
             : FormFactor::kTwoAndAHalfInch;
}

const FormFactorTraits& Traits(FormFactor formFactor) {
  return formFactor == FormFactor::kAddInCard ? kAddInCard : kTwoAndAHalfInch;
}

namespace CmdEmu {

bool IsAddInCard(const std::string& model) { return FormFactorOf(model) == FormFactor::kAddInCard; }

bool IsSupportedModel(const std::string& model) {
  return IsAddInCard(model) || model.compare(0, kPrefixLength, kTwoAndAHalfInch.modelPrefix) == 0;
}

}  // namespace CmdEmu
}  // namespace NAMESPACE_Nimbra
