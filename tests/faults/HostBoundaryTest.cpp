// A number the tool prints too large for its field raises a conversion
// exception that the plug-in lets escape from Execute during Initialize:
// nimbra-host, run as a process, catches it at its boundary, traces it and
// still gives the document that says why. The worker's routine ended the same
// way is the monitoring state's case (tests/harness/HostStateTest.cpp).
#include <gtest/gtest.h>

#include "HarnessRun.h"
#include "JsonDocuments.h"
#include "TestSupport.h"

namespace {

TEST(HostBoundary, AConversionErrorIsCaughtAndTracedByTheHost) {
  nimbra_test::HarnessRun run(R"({"drives": [{}], "faults": {"show": "out-of-range"}})");
  const std::string traceFile = run.dir() / "trace.txt";
  const auto r = run.Run("--trace 2 --trace-file '" + traceFile + "' show --json", 2);
  EXPECT_EQ(2, r.status) << r.err;
  const std::string why = "SSD tool value '2147483648' does not fit a 32-bit field";
  EXPECT_NE(std::string::npos,
            nimbra_test::ReadFile(traceFile).find("host:0 Execute(1) threw: " + why + "\n"));
  EXPECT_EQ(why, nimbra_test::Document(r.out)["initializeException"]) << r.out;
}

}  // namespace
