// Objects named by serial number and device path: each command resolves the
// name against the topology, says on stderr which object it took, and fails
// with one line for a name of no object or of more than one. The names stay
// with their drive when a fleet change moves the IDs.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

TEST(ObjectNames, EveryCommandTakesASerialNumberOrADevicePath) {
  // The second drive's serial number reads as the first adapter's ID; the
  // 2.5-inch drives share a device path.
  HarnessRun h(
      "{\"drives\": [{}, {\"serial\": \"0135000000000001\"}, {\"devicePath\": \"/dev/same\"},"
      " {\"devicePath\": \"/dev/same\"}]}");
  const std::string card =
      "nimbra-host: CVFT5213000A400BGN is adapter 0x0135000000000001 "
      "(Torvik P3700 (0))\n";
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      // arguments, status, stdout (start), stderr (start)
      {"get CVFT5213000A400BGN 30442", 0, "30442  Temperature              31.0 °C\n", card},
      {"get /dev/nvme0n1 30022", 0, "30022  Serial number            CVFT5213000A400BGN\n",
       "nimbra-host: /dev/nvme0n1 is adapter 0x0135000000000001 (Torvik P3700 (0))\n"},
      {"get drive:CVFT5213000A400BGN 30007", 0,
       "30007  Name                     Torvik P3700 "
       "400GB (0)\n",
       "nimbra-host: drive:CVFT5213000A400BGN is drive 0x0135000000000002 (Torvik P3700 400GB "
       "(0))\n"},
      {"get drive:0x0135000000000002 30059", 0, "30059  Physical size            381554 MiB\n",
       "nimbra-host: drive:0x0135000000000002 is drive 0x0135000000000002"},
      {"ops CVFT5213000A400BGN", 0, "no operations\n", card},
      {"check drive:CVFT5213000A400BGN 50026", 0,
       "operation 50026 (drive action) on 0x0135000000000002: allowed\n",
       "nimbra-host: drive:CVFT5213000A400BGN is drive 0x0135000000000002"},
      {"exec CVFT5213000A400BGN 50002", 0, "operation 50002 (get events) on 0x0135000000000001",
       card},
      {"set CVFT5213000A400BGN 30007 x", 1, "",
       card + "nimbra-host: writing property 30007 of 0x0135000000000001 failed: property not "
              "settable (20004)\n"},
      {"show CVFT5213000A400BGN", 0, "adapter 0x0135000000000001  Torvik P3700 (0)  (changes 2)\n",
       card},
      // An ID that names nothing still goes to the plug-in, which says so.
      {"get 0x0135000000000063", 1, "",
       "nimbra-host: no object 0x0135000000000063: object not found (20008)\n"},
      {"get CVFT0000", 1, "",
       "nimbra-host: 'CVFT0000' names no object: it is no object ID, nor the serial number or "
       "device path of an adapter (show lists them)\n"},
      {"get 0135000000000001 30022", 1, "",
       "nimbra-host: '0135000000000001' names more than one object: adapter 0x0135000000000001 "
       "(Torvik P3700 (0)) by its object ID, adapter 0x0135000000000003 (Torvik P3700 (1)) by "
       "its serial number; name it by its object ID\n"},
      {"ops /dev/same", 1, "",
       "nimbra-host: '/dev/same' names more than one object: adapter 0x0135000000000005 (Torvik "
       "2.5in (2)) by its device path, adapter 0x0135000000000007 (Torvik 2.5in (3)) by its "
       "device path; name it by its object ID\n"},
      {"get drive:0x0135000000000000", 1, "",
       "nimbra-host: 'drive:0x0135000000000000' names no object: plug-in 0x0135000000000000 "
       "(Nimbra-Plugin) has no drive\n"},
      {"get drive:nothing", 1, "", "nimbra-host: 'nothing' names no object"},
      // A 2.5-inch drive's temperature is its drive's property.
      {"get PHFT5202002C800BGN 30069", 1, "",
       "nimbra-host: PHFT5202002C800BGN is adapter 0x0135000000000005 (Torvik 2.5in (2))\n"
       "nimbra-host: object 0x0135000000000005 has no property 30069; its drive "
       "0x0135000000000006 has it\n"},
  };
  for (const auto& [args, status, out, err] : cases) {
    const Result r = h.Run(args);
    EXPECT_EQ(status, r.status) << args << ": " << r.err;
    if (out.empty()) {
      EXPECT_EQ("", r.out) << args;
    } else {
      EXPECT_EQ(0u, r.out.find(out)) << args << ": " << r.out;
    }
    EXPECT_EQ(0u, r.err.find(err)) << args << ": " << r.err;
  }
}

TEST(ObjectNames, ShowOfAnAdapterIsTheAdapterWithItsDrive) {
  HarnessRun h(DefaultFleet(2));
  const Result r = h.Run("show /dev/nvme1n1", 0);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find("adapter 0x0135000000000003  Torvik P3700 (1)")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("\n  drive 0x0135000000000004  Torvik P3700 1.6TB (0)"))
      << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("0x0135000000000001")) << "another adapter";
  EXPECT_EQ(std::string::npos, r.out.find("plug-in")) << r.out;
}

TEST(ObjectNames, ASerialNumberKeepsNamingItsDriveWhenTheIdsMove) {
  HarnessRun h(DefaultFleet(3));
  const std::string serial = "CVFT5213001B1P6BGN";  // the second drive
  const Result before = h.Run("get " + serial + " 30022", 0);
  EXPECT_EQ("30022  Serial number            " + serial + "\n", before.out) << before.err;
  EXPECT_NE(std::string::npos, before.err.find("is adapter 0x0135000000000003")) << before.err;
  ASSERT_EQ(0, RunShell("ISDCT_SIM_FLEET='" + h.Fleet() + "' '" + Isdct() +
                        "' sim-remove CVFT5213000A400BGN >/dev/null"));
  // The same ID now belongs to another drive; the serial number follows its own.
  const Result moved = h.Run("get 0x0135000000000003 30022", 0);
  EXPECT_NE(serial + "\n", moved.out.substr(moved.out.size() - serial.size() - 1));
  const Result after = h.Run("get " + serial + " 30022", 0);
  EXPECT_EQ("30022  Serial number            " + serial + "\n", after.out) << after.err;
  EXPECT_NE(std::string::npos, after.err.find("is adapter 0x0135000000000001")) << after.err;
}

}  // namespace
}  // namespace nimbra_test
