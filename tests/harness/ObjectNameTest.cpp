// Objects named by serial number and device path: each command resolves the
// name against the topology, says on stderr which object it took, and fails
// with one line for a name of no object or of more than one.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "HarnessRun.h"
#include "JsonDocuments.h"

namespace nimbra_test {
namespace {

TEST(ObjectNames, CommandsTakeASerialNumberOrADevicePath) {
  // The second drive's serial number reads as the first adapter's ID.
  HarnessRun h("{\"drives\": [{}, {\"serial\": \"0135000000000001\"}, {}]}");
  const std::string card =
      "nimbra-host: CVFT5213000A400BGN is adapter 0x0135000000000001 (Torvik P3700 (0))\n";
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      // arguments, status, stdout, stderr (start)
      {"get CVFT5213000A400BGN 30442", 0, "30442  Temperature              31.0 °C\n", card},
      {"check drive:CVFT5213000A400BGN 50026", 0,
       "operation 50026 (drive action) on 0x0135000000000002: allowed\n",
       "nimbra-host: drive:CVFT5213000A400BGN is drive 0x0135000000000002 (Torvik P3700 400GB "
       "(0))\n"},
      {"set CVFT5213000A400BGN 30007 x", 1, "",
       card + "nimbra-host: writing property 30007 of 0x0135000000000001 failed: property not "
              "settable (20004)\n"},
      {"get CVFT0000", 1, "",
       "nimbra-host: 'CVFT0000' names no object: it is no object ID, nor the serial number or "
       "device path of an adapter (show lists them)\n"},
      {"get 0135000000000001 30022", 1, "",
       "nimbra-host: '0135000000000001' names more than one object: adapter 0x0135000000000001 "
       "(Torvik P3700 (0)) by its object ID, adapter 0x0135000000000003 (Torvik P3700 (1)) by "
       "its serial number; name it by its object ID\n"},
      {"get drive:0x0135000000000000", 1, "",
       "nimbra-host: 'drive:0x0135000000000000' names no object: plug-in 0x0135000000000000 "
       "(Nimbra-Plugin) has no drive\n"},
      // A 2.5-inch drive's temperature is its drive's property.
      {"get PHFT5202002C800BGN 30069", 1, "",
       "nimbra-host: PHFT5202002C800BGN is adapter 0x0135000000000005 (Torvik 2.5in (2))\n"
       "nimbra-host: object 0x0135000000000005 has no property 30069; its drive "
       "0x0135000000000006 has it\n"},
  };
  for (const auto& [args, status, out, err] : cases) {
    const Result r = h.Run(args);
    EXPECT_EQ(status, r.status) << args << ": " << r.err;
    EXPECT_EQ(out, r.out) << args;
    EXPECT_EQ(0u, r.err.find(err)) << args << ": " << r.err;
  }
  // show of an adapter, here by its device path, is the adapter with its drive.
  const Result show = h.Run("show /dev/nvme1n1 --json");
  EXPECT_EQ(0u, show.err.find("nimbra-host: /dev/nvme1n1 is adapter 0x0135000000000003"))
      << show.err;
  const Json tree = Document(show.out);
  ASSERT_EQ(2u, tree["objects"].size());
  EXPECT_EQ("0x0135000000000003", tree["objects"][0]["id"]);
  EXPECT_EQ("0x0135000000000004", tree["objects"][1]["id"]);
}

}  // namespace
}  // namespace nimbra_test
