// The plug-in object: six properties, the poll-interval write, and the one
// operation, the event fetch (executed in NimbraPluginEvents.cpp).
#include <boost/format.hpp>

#include "NimbraImpl.h"
#include "NimbraProperties.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr int32_t PROP_LOCATION = 30137;
constexpr int32_t PROP_NAME = 30007;
constexpr int32_t PROP_PLUGIN_VERSION = 30099;
constexpr int32_t PROP_MANUFACTURER = 30003;
constexpr int32_t PROP_TOOL_VERSION = 30004;
constexpr int32_t PROP_POLL_INTERVAL = 30005;
constexpr int kMinPollInterval = 2;
constexpr int kMaxPollInterval = 255;

constexpr _OPERATION_DESCRIPTION pluginOperationDescriptor = {
    OP_GET_EVENTS, 6, 1, 1, 1, 0, 0, 1, 1};

PI::CProperty Text(int32_t id, int32_t textId, const std::string& value) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(id), false);
  p.SetValue(value);
  p.textId = textId;
  return p;
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetPluginProperties(CIntelSSDPlugin&, std::vector<PI::CProperty>& out,
                                              PI::_PROPERTY_ID which) {
  out.clear();
  if (Selected(which, PROP_LOCATION)) {
    PI::CProperty p(static_cast<PI::_PROPERTY_ID>(PROP_LOCATION), false);
    p.SetValue((boost::format("Plugin:ID=%d") % kModuleNumber).str());
    p.attrC = 0;
    out.push_back(p);
  }
  if (Selected(which, PROP_NAME)) out.push_back(Text(PROP_NAME, 23319, "Nimbra-Plugin"));
  if (Selected(which, PROP_PLUGIN_VERSION)) {
    out.push_back(Text(PROP_PLUGIN_VERSION, 23324, "6.3.6"));
  }
  if (Selected(which, PROP_MANUFACTURER)) {
    out.push_back(Text(PROP_MANUFACTURER, 23323, "Intel, Inc."));
  }
  if (Selected(which, PROP_TOOL_VERSION) && !m_ToolVersion.empty()) {
    PI::CProperty p = Text(PROP_TOOL_VERSION, 23324, m_ToolVersion);
    p.secondaryId = PROP_PLUGIN_VERSION;
    out.push_back(p);
  }
  if (Selected(which, PROP_POLL_INTERVAL)) {
    PI::CProperty p(static_cast<PI::_PROPERTY_ID>(PROP_POLL_INTERVAL), true);
    p.SetValue(static_cast<int>(m_PollInterval.load()), 2, 255, 1u);
    p.textId = 23320;
    p.unit = PI::UNIT_SECONDS;
    out.push_back(p);
  }
  return 0;
}

uint32_t IPLUGINAPI_IMPL::SetPluginProperty(CIntelSSDPlugin& plugin, PI::CProperty& property) {
  if (property.id != PROP_POLL_INTERVAL) return PI::ERR_PROPERTY_NOT_SETTABLE;
  // The limits are those the property carries, as the host sent it back.
  int value = 0, min = 0, max = 0;
  unsigned step = 0;
  // A poll interval without its range cannot be clamped: refused unchanged.
  if (!property.GetValue(value, min, max, step)) return PI::ERR_PROPERTY_NOT_SETTABLE;
  if (value < min) value = min;
  if (value > max) value = max;
  // Limits the host made up cannot take the worker outside 2..255 s (0 would
  // spin it, a negative value would wrap to decades).
  if (value < kMinPollInterval) value = kMinPollInterval;
  if (value > kMaxPollInterval) value = kMaxPollInterval;
  ++plugin.m_ChangeCount;
  m_PollInterval = static_cast<uint32_t>(value);
  const long written = m_ConfigFile.WriteKeyValue(
      "PollInterval", (boost::format("%d") % static_cast<int>(m_PollInterval.load())).str(), -1,
      -1);
  if (written != 0) {
    NIMBRA_TRACE(2, kUnitPlugin,
                 "Cannot write PollInterval=%d to %s (%d): the interval holds until the plug-in "
                 "is unloaded",
                 m_PollInterval.load(), m_ConfigFile.ResolvedPath(), written);
  }
  m_PrivateEvent.Set();
  return static_cast<uint32_t>(written);
}

uint32_t IPLUGINAPI_IMPL::GetPluginOperations(CIntelSSDPlugin&, std::vector<PI::COperation>& out) {
  out.clear();
  out.push_back(GenerateCOperation(pluginOperationDescriptor));
  return 0;
}

uint32_t IPLUGINAPI_IMPL::CheckPluginOperation(CIntelSSDPlugin&, PI::COperation&) { return 0; }

}  // namespace NAMESPACE_Nimbra
