// One compiled pattern matched from many threads at once (run under TSan).

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Src/NimbraCmdEmuPatterns.h"
#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;

TEST(RegexThreads, SharedPatternsGiveTheSameResultsOnEveryThread) {
  namespace P = NAMESPACE_Nimbra::Patterns;
  const basic_regex<char> index(P::kInventory[0].pattern);
  const basic_regex<char> temp(P::kInventory[25].pattern);
  const basic_regex<char> throttle(P::kPage202Throttle, P::kFlagsIgnoreCase);
  const basic_regex<char> backtracking("(a|ab)(c|bcd)(d*)");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const std::string n = std::to_string(i * 4 + t);
        if (index.match_exact(("Index: " + n).c_str()).Group1() != n) ++failures;
        if (temp.match_exact(("TempThreshold: " + n + " C").c_str()).Group1() != n) ++failures;
        const std::string page =
            "ID: EADescription: Thermal Throttle StatusNormalized: " + n + "Raw: 0x0";
        if (throttle.search(page.c_str()).Group1() != n) ++failures;
        if (backtracking.match_exact("abcd").Group(2) != "bcd") ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
