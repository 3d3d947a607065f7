// What the host stand-in keeps for a host to report (run counters, thread
// endings) and the memory an output flood may take.
#include <gtest/gtest.h>
#include <malloc.h>

#include <fstream>

#include "TLX/Misc.h"
#include "TLX/Thread.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using TLXX::CSystem;
namespace T = TLX::Threading;

long StatusKiB(const std::string& field) {  // VmRSS, VmHWM
  const std::string status = nimbra_test::ReadFile("/proc/self/status");
  const size_t at = status.find("\n" + field + ":");
  return at == std::string::npos ? -1 : std::stol(status.substr(at + field.size() + 2));
}

// 16-byte lines are the worst for the line form, bytes without a line end
// fill the text form to the byte cap. The sanitizers' allocators keep freed
// memory: no bound holds there.
TEST(HostRecord, FloodsStayWithinTheMemoryBoundAndRunsAreCounted) {
  const TLXX::CommandCounters before = CSystem::Counters();
  for (const bool asLines : {true, false}) {
    malloc_trim(0);  // so that the peak is this run's: freed heap goes back, the mark is reset
    std::ofstream("/proc/self/clear_refs") << "5";
    [[maybe_unused]] const bool reset = StatusKiB("VmHWM") - StatusKiB("VmRSS") < 1024;
    const long base = StatusKiB("VmRSS");
    std::vector<std::string> lines;
    std::string text;
    EXPECT_EQ(asLines ? CSystem::ExecuteCommand(
                            "/bin/sh", "-c 'yes 0123456789abcdef | head -c 200000000'", lines)
                      : CSystem::ExecuteCommand("/bin/cat", "/dev/zero", text),
              TLXX::EXEC_OUTPUT_TOO_LARGE);
    [[maybe_unused]] const long peak = StatusKiB("VmHWM") - base;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    if (reset) {
      EXPECT_LE(peak, (asLines ? 4 : 1) * long(CSystem::kMaxOutputBytes >> 10) + 4096);
    }
#endif
  }
  EXPECT_EQ(CSystem::Counters().runs, before.runs + 2);
  EXPECT_EQ(CSystem::Counters().failed, before.failed + 2);
}

// Routines return, are cancelled, throw: each end is logged with how, and
// the log keeps the last kKeptEndings.
TEST(HostRecord, ThreadEndingsAreLoggedAndTheLastOnesKept) {
  const uint64_t count = T::EndingCount();
  for (size_t i = 0; i < T::kKeptEndings + 3; ++i) {
    T::CThread thread;
    ASSERT_TRUE(thread.Create(
        [i] {
          while (i % 3 == 1) TLX::Misc::msleep(1);  // until cancelled
          if (i % 3 == 2) throw 42;
        },
        false));
    EXPECT_TRUE(i % 3 != 1 || thread.Cancel());
    ASSERT_EQ(thread.Wait(5000), 0);
  }
  const std::vector<T::ThreadEnding> endings = T::RecentEndings();
  ASSERT_EQ(endings.size(), T::kKeptEndings);
  EXPECT_EQ(endings.back().sequence, count + T::kKeptEndings + 3);
  std::string last;
  for (auto e = endings.end() - 3; e != endings.end(); ++e) last += T::Describe(*e) + "; ";
  EXPECT_EQ(last, "ended by an exception: unknown exception; returned; cancelled; ");
}

}  // namespace
