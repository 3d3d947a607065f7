// What the values mean, through the real programs: every property of show
// --json carries its label, the text show prints and the value in base
// units; health values before the first health read read "not yet read"; a
// status that is not good gives its reasons; temperature events say the
// reading they stand for.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "HarnessRun.h"
#include "JsonDocuments.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

const std::string kGoldenFleet = std::string(NIMBRA_SOURCE_DIR) + "/tests/data/golden-fleet.json";

// The property `id` of the object `object` in a tree document.
Json PropertyOf(const Json& tree, const std::string& object, int id) {
  for (const Json& o : tree["objects"]) {
    if (o["id"] != object) continue;
    for (const Json& p : o["properties"]) {
      if (p["id"] == id) return p;
    }
  }
  return Json();
}

TEST(Readings, EveryPropertyHasItsNameTextAndBaseValue) {
  HarnessRun h(DefaultFleet(1));
  // The golden fleet, and a third 2.5-inch drive throttled without a
  // health condition.
  const std::string fleet =
      "--simulate '" + kGoldenFleet + "' --config-dir '" + h.dir().path() + "' --settle 30 ";
  const Result json = h.RunPlain(fleet + "show --json");
  ASSERT_EQ(0, json.status) << json.err;
  const Json tree = Document(json.out);
  const Result text = h.RunPlain(fleet + "show");
  ASSERT_EQ(0, text.status) << text.err;

  const std::tuple<const char*, int, const char*, const char*, Json> cases[] = {
      // object, property, name, text, base
      {"0x0135000000000000", 30005, "Poll interval", "30 s (2..255, writable)", 30},
      {"0x0135000000000001", 30442, "Temperature", "31.0 °C", 31},
      {"0x0135000000000001", 30498, "Power-on hours", "8760 h", 8760},
      {"0x0135000000000001", 30486, "Available spare", "98 %", 0.98},
      {"0x0135000000000001", 30489, "Data read", "632.1 GB", 632098300000ull},
      {"0x0135000000000001", 30490, "Data written", "1.2 TB", 1200987100000ull},
      {"0x0135000000000001", 30158, "Form factor", "add-in card", "add-in card"},
      {"0x0135000000000001", 30017, "Status", "good", "good"},
      {"0x0135000000000001", 30022, "Serial number", "CVFT6100000A400BGN", "CVFT6100000A400BGN"},
      {"0x0135000000000002", 30059, "Physical size", "381554 MiB", 400088367104ull},
      {"0x0135000000000002", 30460, "Sector size", "512 bytes", 512},
      {"0x0135000000000002", 30462, "Used percent", "100 %", 1},
      {"0x0135000000000002", 30122, nullptr, "0", 0},
      {"0x0135000000000003",
       30165,
       "Health conditions",
       "spare below threshold, reliability degraded, read-only",
       {"spare below threshold", "reliability degraded", "read-only"}},
      {"0x0135000000000003", 30017, "Status",
       "failed (spare below threshold, reliability degraded, read-only)", "failed"},
      // A drive fails with its adapter, for its adapter's reasons.
      {"0x0135000000000004", 30017, "Status",
       "failed (spare below threshold, reliability degraded, read-only)", "failed"},
      {"0x0135000000000004", 30069, "Temperature", "40.0 °C", 40},
      {"0x0135000000000005", 30017, "Status", "degraded (temperature exceeded, throttled)",
       "degraded"},
      {"0x0135000000000005", 30468, "Throttle state", "throttled", "throttled"},
  };
  for (const auto& [object, id, name, shown, base] : cases) {
    const Json p = PropertyOf(tree, object, id);
    ASSERT_TRUE(p.is_object()) << object << " " << id;
    EXPECT_EQ(name == nullptr ? Json() : Json(name), p["name"]) << id;
    EXPECT_EQ(shown, p["text"]) << id;
    EXPECT_EQ(base, p["base"]) << id;
    EXPECT_FALSE(p["notYetRead"].get<bool>()) << id;
  }
  // The date is the ISO date the plug-in prints.
  const Json eol = PropertyOf(tree, "0x0135000000000001", 30483);
  EXPECT_EQ(eol["value"], eol["base"]);
  // Every "text" is what show prints for that property.
  for (const Json& o : tree["objects"]) {
    for (const Json& p : o["properties"]) {
      const std::string label = p["name"].is_null() ? "(unnamed)" : p["name"].get<std::string>();
      char line[256];
      std::snprintf(line, sizeof line, "%5d  %-24s %s\n", p["id"].get<int>(), label.c_str(),
                    p["text"].get<std::string>().c_str());
      EXPECT_NE(std::string::npos, text.out.find(line)) << line;
    }
  }
}

TEST(Readings, ThrottlingAloneDegradesAnAdapter) {
  HarnessRun h("{\"drives\": [{\"health\": {\"thermalThrottleStatus\": 95}}]}");
  const Result r = h.Run("get 0x0135000000000001 30017");
  EXPECT_EQ("30017  Status                   degraded (throttled)\n", r.out) << r.err;
}

TEST(Readings, ValuesBeforeTheFirstHealthReadAreMarkedNotYetRead) {
  // The first health read hangs on the card's page 2 until the tool's time
  // limit, so that it cannot come before the command runs.
  HarnessRun h("{\"drives\": [{\"faults\": {\"log2\": \"hang\"}}]}");
  const Result json = h.Run("--tool-timeout 1 show --json", 0);
  ASSERT_EQ(0, json.status) << json.err;
  EXPECT_EQ(
      "nimbra-host: the first health read did not come within the settle time (0 s): health "
      "values read 'not yet read'\n" +
          std::string(kSimulatedLine),
      json.err);
  const Json tree = Document(json.out);
  for (const int id : {30442, 30483, 30498, 30489, 30017, 30468}) {
    const Json p = PropertyOf(tree, "0x0135000000000001", id);
    EXPECT_EQ("not yet read", p["text"]) << id;
    EXPECT_TRUE(p["base"].is_null()) << id;
    EXPECT_TRUE(p["notYetRead"].get<bool>()) << id;
    EXPECT_FALSE(p["value"].is_null()) << id << ": the plug-in's words stay";
  }
  const Json serial = PropertyOf(tree, "0x0135000000000001", 30022);
  EXPECT_EQ("CVFT5213000A400BGN", serial["text"]) << "what the inventory says is read";
  EXPECT_FALSE(serial["notYetRead"].get<bool>());

  const Result text = h.Run("--tool-timeout 1 get CVFT5213000A400BGN 30442", 0);
  EXPECT_EQ("30442  Temperature              not yet read\n", text.out);
  EXPECT_NE(std::string::npos, text.err.find("did not come within the settle time")) << text.err;
  // Values that do not come from the health read need no such line.
  const Result name = h.Run("--tool-timeout 1 get 0x0135000000000001 30007", 0);
  EXPECT_EQ(kSimulatedLine, name.err);
}

TEST(Readings, TemperatureEventsSayTheReadingTheyStandFor) {
  // The band of 84 °C or more applies to the reading plus 14 °C on a
  // 2.5-inch drive: a reading of 70 °C.
  HarnessRun h(
      "{\"drives\": [{\"model\": \"INTEL SSDPE2MD800G4\", \"health\": {\"temperature\": 70}}]}");
  const Result shown = h.Run("get drive:0x0135000000000001 30069");
  EXPECT_EQ("30069  Temperature              70.0 °C\n", shown.out) << shown.err;
  const Result fetched = h.Run("exec 0x0135000000000000 50002");
  ASSERT_EQ(0, fetched.status) << fetched.err;
  EXPECT_NE(std::string::npos,
            fetched.out.find(
                "error    10960 temperature 70 °C or more (band 84 °C or more with the 2.5-inch "
                "drive's margin of 14 °C): Torvik 2.5in (0) [0x0135000000000001]\n"))
      << fetched.out;
  EXPECT_NE(std::string::npos, fetched.out.find("warning  10962 temperature 66 °C or more (band 80 "
                                                "°C or more with the 2.5-inch drive's margin"))
      << fetched.out;
}

}  // namespace
}  // namespace nimbra_test
