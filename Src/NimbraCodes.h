// Numbers the plug-in shows the host: object kinds, value codes, property,
// operation and event numbers. They cross the host boundary unchanged.
#pragma once

#include <cstdint>

namespace NAMESPACE_Nimbra {

constexpr int kModuleNumber = 309;
constexpr const char* kModuleName = "Nimbra";

// Object kinds.
constexpr uint32_t OBJECT_KIND_PLUGIN = 19006;
constexpr uint32_t OBJECT_KIND_PHYSICAL_DRIVE = 19018;
constexpr uint32_t OBJECT_KIND_ADAPTER = 19038;

// Adapter health, reasons, throttle and spare states; drive states.
constexpr uint32_t HEALTH_GOOD = 40024;
constexpr uint32_t HEALTH_DEGRADED = 40150;
constexpr uint32_t HEALTH_FAILED = 40095;
constexpr uint32_t DRIVE_STATE_OK = 40099;
constexpr uint32_t REASON_TEMPERATURE_EXCEEDED = 40459;
constexpr uint32_t REASON_SPARE_BELOW_THRESHOLD = 40460;
constexpr uint32_t REASON_VOLATILE_BACKUP_FAILED = 40449;
constexpr uint32_t REASON_RELIABILITY_DEGRADED = 40487;
constexpr uint32_t REASON_READ_ONLY = 40452;
constexpr uint32_t THROTTLE_NONE = 40252;
constexpr uint32_t THROTTLE_ACTIVE = 40410;
constexpr uint32_t THROTTLE_OTHER = 40411;
constexpr uint32_t SPARE_STATE_DEFAULT = 40473;

// Property IDs, shared by the plug-in object, adapters and drives.
constexpr int32_t PROP_NAME = 30007;
constexpr int32_t PROP_MANUFACTURER = 30003;
constexpr int32_t PROP_MODEL = 30063;
constexpr int32_t PROP_LOCATION = 30137;
constexpr int32_t PROP_STATUS = 30017;
// The plug-in object's.
constexpr int32_t PROP_PLUGIN_VERSION = 30099;
constexpr int32_t PROP_TOOL_VERSION = 30004;
constexpr int32_t PROP_POLL_INTERVAL = 30005;
// The adapter's.
constexpr int32_t PROP_FORM_FACTOR = 30158;
constexpr int32_t PROP_ADAPTER_NUMBER = 30120;
constexpr int32_t PROP_PCI_SEGMENT = 30479;
constexpr int32_t PROP_PCI_BUS = 30037;
constexpr int32_t PROP_PCI_DEVICE = 30038;
constexpr int32_t PROP_PCI_FUNCTION = 30039;
constexpr int32_t PROP_SERIAL_NUMBER = 30022;
constexpr int32_t PROP_FIRMWARE = 30020;
constexpr int32_t PROP_BOOTLOADER = 30500;
constexpr int32_t PROP_DEVICE_PATH = 30247;
constexpr int32_t PROP_DRIVER_NAME = 30266;
constexpr int32_t PROP_DRIVER_VERSION = 30018;
constexpr int32_t PROP_TEMPERATURE = 30442;
constexpr int32_t PROP_REMAINING_LIFE_DATE = 30483;
constexpr int32_t PROP_POWER_ON_HOURS = 30498;
constexpr int32_t PROP_RESERVE_SPACE = 30486;
constexpr int32_t PROP_SPARE_STATE = 30487;
constexpr int32_t PROP_WARNING_THRESHOLD = 30488;
constexpr int32_t PROP_DATA_READ = 30489;
constexpr int32_t PROP_DATA_WRITTEN = 30490;
constexpr int32_t PROP_ENDURANCE_USED = 30494;
constexpr int32_t PROP_THROTTLE_STATE = 30468;
constexpr int32_t PROP_MEDIA_ERRORS = 30189;
constexpr int32_t PROP_HEALTH_CONDITIONS = 30165;
// The drive's.
constexpr int32_t PROP_DRIVE_30122 = 30122;
constexpr int32_t PROP_DRIVE_30125 = 30125;
constexpr int32_t PROP_DRIVE_TYPE = 30056;
constexpr int32_t PROP_PHYSICAL_SIZE = 30059;
constexpr int32_t PROP_CAPACITY = 30060;
constexpr int32_t PROP_USED_SIZE = 30461;
constexpr int32_t PROP_USED_PERCENT = 30462;
constexpr int32_t PROP_SECTOR_SIZE = 30460;
constexpr int32_t PROP_DRIVE_TEMPERATURE = 30069;

// Operations.
constexpr int32_t OP_GET_EVENTS = 50002;
constexpr int32_t OP_DRIVE_ACTION = 50026;

// Events.
constexpr uint32_t EVT_BACKUP_FAILED = 10957;
constexpr uint32_t EVT_RELIABILITY_DEGRADED = 11088;
constexpr uint32_t EVT_TEMP_80_TO_83 = 10959;
constexpr uint32_t EVT_TEMP_84_UP = 10960;
constexpr uint32_t EVT_TEMP_78_TO_79 = 10967;
constexpr uint32_t EVT_TEMP_80_UP = 10962;
constexpr uint32_t EVT_SPARE_BELOW_THRESHOLD = 10968;
constexpr uint32_t EVT_WARNINGS_CLEARED = 10980;
constexpr uint32_t EVT_DRIVE_SIZE_CHANGED = 10985;
constexpr uint32_t EVT_ADAPTER_ADDED = 11093;
constexpr uint32_t EVT_ADAPTER_REMOVED = 11094;

constexpr uint32_t SEVERITY_INFO = 2;
constexpr uint32_t SEVERITY_WARNING = 3;
constexpr uint32_t SEVERITY_ERROR = 4;

}  // namespace NAMESPACE_Nimbra
