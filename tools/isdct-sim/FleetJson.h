// The fleet file: conversion between Fleet and its JSON form.
//
// Reading is strict and complete: every key is optional and a missing one
// takes its default (Fleet.h: a drive at position i defaults to
// DefaultDrive(i); a missing "drives" array means the default fleet's four
// drives), but an unknown key, a value of the wrong type or out of range, an
// unknown command or fault name, or a serial number used twice throws
// FleetError with a one-line message naming the key, e.g.
// "drives[1].health.temprature: unknown key". Writing puts out every key, so
// a saved file documents all that can be set.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "Fleet.h"

namespace isdct_sim {

class FleetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws FleetError, also when `text` is not JSON.
Fleet ParseFleet(const std::string& text);
Fleet FleetFromJson(const nlohmann::ordered_json& j);
Drive DriveFromJson(const nlohmann::ordered_json& j, std::size_t position,
                    const std::string& where);

// Throws FleetError when two drives share a serial number.
void CheckFleet(const Fleet& fleet);

nlohmann::ordered_json FleetToJson(const Fleet& fleet);
nlohmann::ordered_json DriveToJson(const Drive& drive);
// The JSON text of the fleet, indented, with a final newline.
std::string SerializeFleet(const Fleet& fleet);

// Decimal digits, or "0x" and hexadecimal digits, that fit 64 bits; nullopt
// for anything else (signs, blanks, empty text, overflow).
std::optional<uint64_t> ParseUnsigned(const std::string& text);

}  // namespace isdct_sim
