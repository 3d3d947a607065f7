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
