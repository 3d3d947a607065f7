// What values mean where the golden fleet cannot show it: health values
// before the first health read read "not yet read", throttling alone
// degrades an adapter, and a temperature event of a 2.5-inch drive names the
// reading, the band and the drive's margin.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "HarnessRun.h"
#include "JsonDocuments.h"

namespace nimbra_test {
namespace {

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
  std::map<int, Json> adapter;  // the card's adapter
  for (const Json& p : tree["objects"][1]["properties"]) adapter[p["id"].get<int>()] = p;
  for (const int id : {30442, 30483, 30498, 30017}) {
    EXPECT_EQ("not yet read", adapter[id]["text"]) << id;
    EXPECT_EQ(Json(), adapter[id]["base"]) << id;
    EXPECT_EQ(true, adapter[id]["notYetRead"]) << id;
    EXPECT_NE(Json(), adapter[id]["value"]) << id << ": the plug-in's words stay";
  }
  EXPECT_EQ("CVFT5213000A400BGN", adapter[30022]["text"]) << "what the inventory says is read";
  EXPECT_EQ(false, adapter[30022]["notYetRead"]);
  EXPECT_EQ("30442  Temperature              not yet read\n",
            h.Run("--tool-timeout 1 get 0x0135000000000001 30442", 0).out);
}

TEST(Readings, ThrottlingAndTemperatureEventsSayWhatTheyMean) {
  // A reading of 70 °C on a 2.5-inch drive is in the band of 84 °C or more,
  // which applies to the reading plus the drive's margin of 14 °C.
  HarnessRun h(
      "{\"drives\": [{\"model\": \"INTEL SSDPE2MD800G4\", \"health\": {\"temperature\": 70, "
      "\"thermalThrottleStatus\": 95}}]}");
  const Result status = h.Run("get 0x0135000000000001 30017");
  EXPECT_EQ("30017  Status                   degraded (throttled)\n", status.out) << status.err;
  const Result fetched = h.Run("exec 0x0135000000000000 50002");
  EXPECT_NE(std::string::npos,
            fetched.out.find(
                "error    10960 temperature 70 °C or more (band 84 °C or more with the 2.5-inch "
                "drive's margin of 14 °C): Torvik 2.5in (0) [0x0135000000000001]\n"))
      << fetched.out << fetched.err;
}

}  // namespace
}  // namespace nimbra_test
