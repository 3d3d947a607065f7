// Numbered types shared by the host and its plug-ins: commands, property ids
// and value units. Plug-ins may use any 32-bit number as a property id; only
// the values the host itself interprets are named here.
#pragma once

#include <cstdint>

namespace PI {

// Commands the host sends through IPLUGINAPI::Execute.
enum _COMMAND : int32_t {
  CMD_INITIALIZE = 1,
  CMD_SET_ADAPTER_IDS = 2,
  CMD_DEINITIALIZE = 3,
  CMD_GET_TOPOLOGY = 4,
  CMD_GET_PROPERTIES = 5,
  CMD_GET_PROPERTY = 6,
  CMD_SET_PROPERTY = 7,
  CMD_GET_OPERATIONS = 8,
  CMD_CHECK_OPERATION = 9,
  CMD_EXECUTE_OPERATION = 10,
};

// A property id. 1 asks for every property of an object.
enum _PROPERTY_ID : int32_t {
  PROP_ALL = 1,
};

// Units of a property value. Data volumes take one of the byte units, chosen
// by CPluginHelper::ConvertBytesToOtherUnit (decimal multiples of a byte).
enum _UNITS : int32_t {
  UNIT_NONE = 1,
  UNIT_CELSIUS = 21000,
  UNIT_MEBIBYTES = 21002,
  UNIT_HOURS = 21005,
  UNIT_SECONDS = 21007,
  UNIT_PERCENT = 21010,
  UNIT_SECTOR_SIZE = 21024,
  UNIT_BYTES = 21030,
  UNIT_KILOBYTES = 21031,
  UNIT_MEGABYTES = 21032,
  UNIT_GIGABYTES = 21033,
  UNIT_TERABYTES = 21034,
  UNIT_PETABYTES = 21035,
};

// Kinds of value a CProperty holds; each SetValue overload sets its own.
enum _VALUE_KIND : int32_t {
  VALUE_NONE = 0,
  VALUE_TEXT = 2,
  VALUE_ENUM = 3,
  VALUE_NUMBER = 5,
  VALUE_RANGE = 6,
  VALUE_SET = 7,
  VALUE_FLOAT = 8,
};

}  // namespace PI
