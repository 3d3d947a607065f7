// A number the tool prints too large for its field raises a conversion
// exception that the plug-in lets escape: from Execute during Initialize, from
// the worker's routine during a full scan or a refresh. nimbra-host, run as a
// process, catches it at its boundary, traces it, and still answers.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace {

using nimbra_test::HarnessRun;

using nimbra_test::ReadFile;

struct Boundary {
  const char* moment;
  const char* fleet;
  const char* args;        // the command, after the common options
  const char* laterFault;  // set once the first full scan is done ("" none)
  int status;              // the harness's exit status
  const char* trace;       // the end of the host's trace line
  const char* answer;      // what stdout still carries afterwards
};

const Boundary kBoundaries[] = {
    {"Initialize", R"({"drives": [{}], "faults": {"show": "out-of-range"}})", "show --json", "", 2,
     "host:0 Execute(1) threw: SSD tool value '2147483648' does not fit a 32-bit field",
     R"("initialize": null,
  "initializeException": "SSD tool value '2147483648' does not fit a 32-bit field")"},
    {"full scan", R"({"drives": [{}], "faults": {"log202": "out-of-range"}})",
     "get 0x0135000000000001 30017", "", 0,
     "host:0 thread routine ended by an exception: SSD tool value '18446744073709551616' does "
     "not fit a 64-bit field",
     "good\n"},  // the adapter's status
    {"refresh", R"({"drives": [{}]})", "watch --seconds 5", "faults.log197=out-of-range", 0,
     "host:0 thread routine ended by an exception: SSD tool value '4294967296' does not fit a "
     "32-bit field",
     "31.0 °C"},  // the tree after the first full scan
};

TEST(HostBoundary, AConversionErrorIsCaughtAndTracedByTheHost) {
  for (const Boundary& b : kBoundaries) {
    SCOPED_TRACE(b.moment);
    HarnessRun run(b.fleet);
    run.dir().Write("Nimbra.ini", "PollInterval=2\n");  // a refresh 2 s after the full scan
    const std::string traceFile = run.dir() / "trace.txt";
    std::thread editor;
    if (*b.laterFault != '\0') {
      editor = std::thread([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ReadFile(traceFile).find("Worker() after bscan") == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(0, run.Sim(std::string("sim-set --fleet ") + b.laterFault));
      });
    }
    const auto start = std::chrono::steady_clock::now();
    const auto r = run.Run("--trace 4 --trace-file '" + traceFile + "' " + b.args, 2);
    const auto took = std::chrono::steady_clock::now() - start;
    if (editor.joinable()) editor.join();

    EXPECT_EQ(b.status, r.status) << r.err;
    const std::string trace = ReadFile(traceFile);
    EXPECT_NE(std::string::npos, trace.find(std::string(b.trace) + "\n")) << trace;
    EXPECT_NE(std::string::npos, r.out.find(b.answer)) << r.out;
    // DeInitialize would wait 25 s for a worker that still ran.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 24)
        << "a dead worker does not hold up DeInitialize";
  }
}

}  // namespace
