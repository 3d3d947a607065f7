// The golden test: "nimbra-host --simulate tests/data/golden-fleet.json show
// --json" must print the document in tests/data/golden-show.json, key order
// included, apart from what depends on the clock (end-of-life dates, event
// and notification times). After an intended change, regenerate the file with
//   nimbra-host --config-dir "$(mktemp -d)" --simulate
//   tests/data/golden-fleet.json show --json > tests/data/golden-show.json
// and review the difference before committing it.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "HarnessRun.h"
#include "JsonDocuments.h"

namespace nimbra_test {
namespace {

const std::string kData = std::string(NIMBRA_SOURCE_DIR) + "/tests/data/";

// Replaces every end-of-life date (property 30483: its value, text and base)
// and event time with a marker, after checking its form.
void WithoutClock(Json& j) {
  if (j.is_object()) {
    if (j.contains("id") && j["id"] == 30483 && j.contains("value")) {
      for (const char* key : {"value", "text", "base"}) {
        const std::string date = j[key];
        EXPECT_EQ(10u, date.size()) << date;
        EXPECT_EQ(std::string::npos, date.find_first_not_of("0123456789-")) << date;
        j[key] = "<date>";
      }
    }
    if (j.contains("time")) j["time"] = "<time>";
    if (j.contains("lastNotification") && !j["lastNotification"].is_null()) {
      j["lastNotification"] = "<time>";
    }
  }
  if (j.is_structured()) {
    for (Json& item : j) WithoutClock(item);
  }
}

TEST(GoldenJson, ShowOfAFixedFleet) {
  HarnessRun h(DefaultFleet(1));
  const Result r =
      h.Shell("\"$H\" --settle 30 --simulate '" + kData + "golden-fleet.json' show --json");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kSimulatedLine, r.err);
  Json actual = Document(r.out);
  std::ifstream file(kData + "golden-show.json");
  ASSERT_TRUE(file) << "missing " << kData << "golden-show.json";
  Json expected = Json::parse(file);
  WithoutClock(actual);
  WithoutClock(expected);
  EXPECT_TRUE(expected == actual)
      << "the document differs from golden-show.json; the JSON patch from it to the output:\n"
      << Json::diff(expected, actual).dump(2);
}

// The schema check itself: a broken copy of the golden document fails it,
// with the path of the key, for each kind of fault a change could bring.
TEST(GoldenJson, TheSchemaCatchesWhatBreaksTheFormat) {
  std::ifstream file(kData + "golden-show.json");
  const Json golden = Json::parse(file);
  // JSON patches; objects[1] is the first adapter, its property 0 its name.
  const std::pair<const char*, const char*> faults[] = {
      {R"({"op": "remove", "path": "/formatVersion"})",
       "/: 'formatVersion' is a required property"},
      {R"({"op": "add", "path": "/extra", "value": 1})",
       "/: Additional properties are not allowed"},
      {R"({"op": "remove", "path": "/objects/1/properties/0/base"})",
       "/objects/1/properties/0: 'base' is a required property"},
      {R"({"op": "replace", "path": "/objects/1/properties/0/notYetRead", "value": true})",
       "/objects/1/properties/0/text: 'not yet read' was expected"},
  };
  std::vector<std::string> documents;
  for (const auto& fault : faults) {
    documents.push_back(golden.patch(Json::array({Json::parse(fault.first)})).dump());
  }
  std::string report;
  EXPECT_EQ(1, Validate(documents, report)) << report;
  for (size_t i = 0; i < std::size(faults); ++i) {
    EXPECT_NE(std::string::npos,
              report.find("document " + std::to_string(i + 1) + ": " + faults[i].second))
        << report;
  }
}

}  // namespace
}  // namespace nimbra_test
