// The plug-in object: six properties, the poll-interval write, and the one
// operation, the event fetch (executed in NimbraPluginEvents.cpp).
#include <boost/format.hpp>

#include "NimbraImpl.h"
#include "NimbraProperties.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr int kMinInterval = static_cast<int>(IPLUGINAPI_IMPL::kMinPollInterval);
constexpr int kMaxInterval = static_cast<int>(IPLUGINAPI_IMPL::kMaxPollInterval);

constexpr _OPERATION_DESCRIPTION pluginOperationDescriptor = {
    OP_GET_EVENTS, 6, 1, 1, 1, 0, 0, 1, 1};

// What the plug-in object's properties show of the state, read under
// m_DataLock.
struct PluginValues {
  const std::string& toolVersion;
  uint32_t pollInterval;
};

// A row of the plug-in object's properties, in output order: the property is
// constructed with its id and writable flag, the rule stores the value and
// sets the other words (false omits the property), then the label's text id
// is set when the row has one.
struct PluginPropertyRow {
  int32_t id;
  bool writable;
  int32_t textId;  // 0: none
  bool (*fill)(const PluginValues& values, PI::CProperty& p);
};

const PluginPropertyRow kPluginProperties[] = {
    {PROP_LOCATION, false, 0,
     [](const PluginValues&, PI::CProperty& p) {
       p.SetValue((boost::format("Plugin:ID=%d") % kModuleNumber).str());
       p.attrC = 0;
       return true;
     }},
    {PROP_NAME, false, 23319,
     [](const PluginValues&, PI::CProperty& p) {
       p.SetValue(std::string("Nimbra-Plugin"));
       return true;
     }},
    {PROP_PLUGIN_VERSION, false, 23324,
     [](const PluginValues&, PI::CProperty& p) {
       p.SetValue(std::string("6.3.6"));
       return true;
     }},
    {PROP_MANUFACTURER, false, 23323,
     [](const PluginValues&, PI::CProperty& p) {
       p.SetValue(std::string("Intel, Inc."));
       return true;
     }},
    {PROP_TOOL_VERSION, false, 23324,
     [](const PluginValues& values, PI::CProperty& p) {
       p.SetValue(values.toolVersion);
       p.secondaryId = PROP_PLUGIN_VERSION;
       return !values.toolVersion.empty();
     }},
    {PROP_POLL_INTERVAL, true, 23320,
     [](const PluginValues& values, PI::CProperty& p) {
       p.SetValue(static_cast<int>(values.pollInterval), kMinInterval, kMaxInterval, 1u);
       p.unit = PI::UNIT_SECONDS;
       return true;
     }},
};

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetPluginProperties(CIntelSSDPlugin&, std::vector<PI::CProperty>& out,
                                              PI::_PROPERTY_ID which) {
  out.clear();
  const PluginValues values{m_ToolVersion, m_PollInterval.load()};
  for (const PluginPropertyRow& row : kPluginProperties) {
    if (!Selected(which, row.id)) continue;
    PI::CProperty p(static_cast<PI::_PROPERTY_ID>(row.id), row.writable);
    if (!row.fill(values, p)) continue;
    if (row.textId != 0) p.textId = row.textId;
    out.push_back(std::move(p));
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
  if (value < kMinInterval) value = kMinInterval;
  if (value > kMaxInterval) value = kMaxInterval;
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
