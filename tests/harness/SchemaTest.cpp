// The schema check itself: a real document passes, and each kind of fault
// a change of the output could bring is caught, with the path of the key.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "HarnessRun.h"
#include "JsonDocuments.h"

namespace nimbra_test {
namespace {

TEST(Schema, CatchesWhatBreaksTheFormat) {
  HarnessRun h(DefaultFleet(1));
  const Result r = h.Run("show --json");
  ASSERT_EQ(0, r.status) << r.err;
  const Json good = Json::parse(r.out);

  // objects[1] is the first adapter, its property 0 its name (valueKind 2).
  const std::pair<std::function<void(Json&)>, std::string> faults[] = {
      {[](Json& j) { j.erase("formatVersion"); }, "/: 'formatVersion' is a required property"},
      {[](Json& j) { j["type"] = "topology"; }, "/type: 'topology' is not one of"},
      {[](Json& j) { j["extra"] = 1; },
       "/: Additional properties are not allowed ('extra' was unexpected)"},
      {[](Json& j) { j["objects"][1]["id"] = "0x1"; }, "/objects/1/id: '0x1' does not match"},
      {[](Json& j) { j["objects"][1]["properties"][0].erase("base"); },
       "/objects/1/properties/0: 'base' is a required property"},
      {[](Json& j) { j["objects"][1]["properties"][0]["text"] = 5; },
       "/objects/1/properties/0/text: 5 is not of type 'string'"},
      {[](Json& j) { j["objects"][1]["properties"][0]["value"] = 5; },
       "/objects/1/properties/0/value: 5 is not of type 'string'"},
      {[](Json& j) { j["objects"][1]["properties"][0]["notYetRead"] = true; },
       "/objects/1/properties/0/text: 'not yet read' was expected"},
      {[](Json& j) { j["objects"][0]["operations"][0]["words"].erase(0); },
       "/objects/0/operations/0/words: "},
      {[](Json& j) { j["initialize"] = nullptr; },
       "/: 'initializeException' is a required property"},
  };
  // One validator run: the good document first, then one broken copy per
  // fault.
  std::vector<std::string> documents{good.dump()};
  for (const auto& fault : faults) {
    Json broken = good;
    fault.first(broken);
    documents.push_back(broken.dump());
  }
  std::string report;
  EXPECT_EQ(1, Validate(documents, report));
  EXPECT_EQ(std::string::npos, report.find("document 1:")) << report;
  for (size_t i = 0; i < std::size(faults); ++i) {
    EXPECT_NE(std::string::npos,
              report.find("document " + std::to_string(i + 2) + ": " + faults[i].second))
        << faults[i].second << "\n"
        << report;
  }
}

}  // namespace
}  // namespace nimbra_test
