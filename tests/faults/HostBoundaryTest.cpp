// A number the tool prints too large for its field raises a conversion
// exception that the plug-in lets escape: from Execute during Initialize, or
// from the worker's routine (a full scan here; a refresh ends the routine
// the same way). nimbra-host, run as a process, catches it at its boundary,
// traces it, and still answers; the dead worker does not hold up
// DeInitialize (which would wait 25 s for a live one).
#include <gtest/gtest.h>

#include <chrono>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace {

TEST(HostBoundary, AConversionErrorIsCaughtAndTracedByTheHost) {
  struct Case {
    const char* fault;   // out-of-range on this command of the fleet
    const char* args;    // the command, after the common options
    int status;          // the harness's exit status
    const char* trace;   // the end of the host's trace line
    const char* answer;  // what stdout still carries afterwards
  };
  const Case cases[] = {
      {"show", "show --json", 2,
       "host:0 Execute(1) threw: SSD tool value '2147483648' does not fit a 32-bit field",
       R"("initializeException": "SSD tool value '2147483648' does not fit a 32-bit field")"},
      {"log202", "get 0x0135000000000001 30017", 3,  // answered, with the monitoring stopped
       "host:0 thread routine ended by an exception: SSD tool value '18446744073709551616' does "
       "not fit a 64-bit field",
       "good\n"},  // the adapter's status
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    nimbra_test::HarnessRun run(std::string(R"({"drives": [{}], "faults": {")") + c.fault +
                                R"(": "out-of-range"}})");
    const std::string traceFile = run.dir() / "trace.txt";
    const auto start = std::chrono::steady_clock::now();
    const auto r = run.Run("--trace 2 --trace-file '" + traceFile + "' " + c.args, 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(24));
    EXPECT_EQ(c.status, r.status) << r.err;
    const std::string trace = nimbra_test::ReadFile(traceFile);
    EXPECT_NE(std::string::npos, trace.find(std::string(c.trace) + "\n")) << trace;
    EXPECT_NE(std::string::npos, r.out.find(c.answer)) << r.out;
  }
}

}  // namespace
