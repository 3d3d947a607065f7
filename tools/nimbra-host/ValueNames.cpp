#include "ValueNames.h"

#include <algorithm>
#include <iterator>

namespace nimbra_host {

namespace {

template <class Key>
struct Word {
  Key key;
  const char* word;
};

template <class Key, size_t N>
const char* Find(const Word<Key> (&table)[N], Key key) {
  const auto it = std::find_if(std::begin(table), std::end(table),
                               [key](const Word<Key>& w) { return w.key == key; });
  return it == std::end(table) ? nullptr : it->word;
}

const Word<int32_t> kPropertyLabels[] = {
    {30003, "Manufacturer"},
    {30004, "Tool version"},
    {30005, "Poll interval"},
    {30007, "Name"},
    {30017, "Status"},
    {30018, "Driver version"},
    {30020, "Firmware"},
    {30022, "Serial number"},
    {30037, "PCI bus"},
    {30038, "PCI device"},
    {30039, "PCI function"},
    {30056, "Drive type"},
    {30059, "Physical size"},
    {30060, "Capacity"},
    {30063, "Model"},
    {30069, "Temperature"},
    {30099, "Plug-in version"},
    {30120, "Adapter number"},
    {30137, "Location"},
    {30158, "Form factor"},
    {30165, "Health conditions"},
    {30189, "Media errors"},
    {30247, "Device path"},
    {30266, "Driver name"},
    {30442, "Temperature"},
    {30460, "Sector size"},
    {30461, "Used size"},
    {30462, "Used percent"},
    {30468, "Throttle state"},
    {30479, "PCI segment"},
    {30483, "End of life (estimate)"},
    {30486, "Available spare"},
    {30487, "Spare state"},
    {30488, "Spare warning threshold"},
    {30489, "Data read"},
    {30490, "Data written"},
    {30494, "Endurance used"},
    {30498, "Power-on hours"},
    {30500, "Bootloader"},
};

const Word<int32_t> kValueCodes[] = {
    // Adapter health and drive states.
    {40024, "good"},
    {40150, "degraded"},
    {40095, "failed"},
    {40099, "ok"},
    {40180, "warning"},
    // Reasons an adapter is not good.
    {40459, "temperature exceeded"},
    {40460, "spare below threshold"},
    {40449, "volatile memory backup failed"},
    {40487, "reliability degraded"},
    {40452, "read-only"},
    // Thermal throttling.
    {40252, "not throttled"},
    {40410, "throttled"},
    {40411, "throttle state unknown"},
    // Spare area.
    {40473, "normal"},
    {40474, "critical"},
    // Form factors and drive types.
    {40480, "add-in card"},
    {40488, "2.5-inch"},
    {40200, "NVMe SSD"},
};

const Word<int32_t> kUnits[] = {
    {21000, " °C"}, {21002, " MiB"},   {21005, " h"},  {21007, " s"},
    {21010, " %"},  {21024, " bytes"}, {21030, " B"},  {21031, " kB"},
    {21032, " MB"}, {21033, " GB"},    {21034, " TB"}, {21035, " PB"},
};

const Word<uint32_t> kKinds[] = {{19006, "plug-in"}, {19038, "adapter"}, {19018, "drive"}};

const Word<int32_t> kOperations[] = {{50002, "get events"}, {50026, "drive action"}};

const Word<uint32_t> kEvents[] = {
    {10957, "volatile memory backup failed"},
    {11088, "reliability degraded"},
    {10959, "temperature band 80 to 83 °C"},
    {10960, "temperature band 84 °C or more"},
    {10967, "temperature band 78 to 79 °C"},
    {10962, "temperature band 80 °C or more"},
    {10968, "available spare below threshold"},
    {10980, "critical warnings cleared"},
    {10985, "drive size changed"},
    {11093, "adapter added"},
    {11094, "adapter removed"},
};

// The plug-in's temperature bands: from `low` to `high` (0: no upper end).
struct Band {
  uint32_t eventId;
  int low;
  int high;
};
const Band kBands[] = {{10959, 80, 83}, {10960, 84, 0}, {10967, 78, 79}, {10962, 80, 0}};

std::string Range(int low, int high) {
  return high == 0 ? std::to_string(low) + " °C or more"
                   : std::to_string(low) + " to " + std::to_string(high) + " °C";
}

const Word<uint32_t> kSeverities[] = {{2, "info"}, {3, "warning"}, {4, "error"}};

std::string OrEmpty(const char* word) { return word == nullptr ? std::string() : word; }

}  // namespace

std::string PropertyLabel(int32_t id) { return OrEmpty(Find(kPropertyLabels, id)); }

std::string ValueCodeName(int32_t code) { return OrEmpty(Find(kValueCodes, code)); }

std::string ValueCodeText(int32_t code) {
  const char* word = Find(kValueCodes, code);
  return word == nullptr ? std::to_string(code) : word;
}

std::string UnitSuffix(int32_t unit) { return OrEmpty(Find(kUnits, unit)); }

std::string KindName(uint32_t kind) {
  const char* word = Find(kKinds, kind);
  return word == nullptr ? "object" : word;
}

std::string OperationName(int32_t id) { return OrEmpty(Find(kOperations, id)); }

std::string EventName(uint32_t id) {
  const char* word = Find(kEvents, id);
  return word == nullptr ? "event " + std::to_string(id) : word;
}

std::string EventText(uint32_t id, int32_t formFactor) {
  const Band* band = nullptr;
  for (const Band& b : kBands) {
    if (b.eventId == id) band = &b;
  }
  if (band == nullptr) return EventName(id);
  const std::string bandText = "band " + Range(band->low, band->high);
  int margin = 0;
  std::string whose;
  if (formFactor == 40480) {
    margin = 5;
    whose = "the add-in card's";
  } else if (formFactor == 40488) {
    margin = 14;
    whose = "the 2.5-inch drive's";
  } else {
    return "temperature " + bandText + " (the reading plus 5 °C on an add-in card, 14 °C on a " +
           "2.5-inch drive)";
  }
  const int high = band->high == 0 ? 0 : band->high - margin;
  return "temperature " + Range(band->low - margin, high) + " (" + bandText + " with " + whose +
         " margin of " + std::to_string(margin) + " °C)";
}

std::string SeverityName(uint32_t severity) {
  const char* word = Find(kSeverities, severity);
  return word == nullptr ? "severity " + std::to_string(severity) : word;
}

}  // namespace nimbra_host
