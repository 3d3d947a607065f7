// Every JSON document that the harness tests read from nimbra-host goes
// through Document or DocumentLines: parsed for the test, and kept, so that
// when the test program ends one run of scripts/validate-json.py checks all
// of them against docs/nimbra-host.schema.json. A document that breaks the
// schema fails the program (a failure of the global test environment).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace nimbra_test {

using Json = nlohmann::ordered_json;

// One document (show --json, get --json).
Json Document(const std::string& text);
// One document per line (watch --json, exec --json).
std::vector<Json> DocumentLines(const std::string& text);

// Validates `documents` against the schema now: the validator's exit status
// (0 all valid) and in `report` what it printed, a line per violation.
int Validate(const std::vector<std::string>& documents, std::string& report);

}  // namespace nimbra_test
