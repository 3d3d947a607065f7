// Words for the numbers the plug-in hands the host: property labels, value
// codes (health, drive state, throttle, spare, form factor, health
// conditions), unit suffixes, object kinds, operations, event numbers and
// severities. Pure lookups over static tables; thread-safe, never throw but
// bad_alloc. A number without a word gives an empty text (labels and codes)
// or a neutral fallback named below, so callers can always print something.
#pragma once

#include <cstdint>
#include <string>

namespace nimbra_host {

// "Poll interval" for 30005; "" for a property id the harness has no label for.
std::string PropertyLabel(int32_t propertyId);

// "good" for 40024, "add-in card" for 40480...; "" for a code without a word.
std::string ValueCodeName(int32_t code);

// The word for `code`, or the number itself when it has none.
std::string ValueCodeText(int32_t code);

// " °C", " MiB", " h", " s", " %", " bytes", " GB"...: the text to put after a
// value of that unit code; "" for 1 (no unit) and for unknown codes.
std::string UnitSuffix(int32_t unit);

// "plug-in", "adapter", "drive"; "object" for any other kind.
std::string KindName(uint32_t kind);

// "get events" for 50002, "drive action" for 50026; "" otherwise.
std::string OperationName(int32_t operationId);

// "temperature band 80 °C or more" for 10962...; "event N" for an unknown
// number. The plug-in's temperature bands apply to the tool's reading plus a
// margin by form factor (5 °C for an add-in card, 14 °C for a 2.5-inch
// drive), not to the reading that show prints.
std::string EventName(uint32_t eventId);

// The event's name as it agrees with the temperature shown: for a band
// event of an adapter of form factor `formFactor` (40480, 40488) the
// readings it stands for, then the band and the margin ("temperature 79 °C
// or more (band 84 °C or more with the add-in card's margin of 5 °C)"); with
// another form factor (0: unknown) the band and both margins. Other events:
// EventName.
std::string EventText(uint32_t eventId, int32_t formFactor);

// "info", "warning", "error" for 2, 3, 4; "severity N" otherwise.
std::string SeverityName(uint32_t severity);

}  // namespace nimbra_host
