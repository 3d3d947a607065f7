// Bounded stack and bounded time on hostile subjects and patterns.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::CContext;

// A 16 MiB subject, one-pass and through the machine, exact and searched: the
// machine's stack stays flat on greedy loops. Only the lazy loop keeps one
// frame per character; it may run out of frames, and then ends as no match.
TEST(RegexSafety, SixteenMiBSubjects) {
  std::string text = "Index: " + std::string(size_t{16} << 20, '7');
  const int64_t n = static_cast<int64_t>(text.size());
  // A pattern, and where its group 1 ends.
  const std::pair<const char*, int64_t> cases[] = {
      {"^Index: ([:digit:]+)$", n}, {".*", -1}, {"(.*)$", n}, {"^(.*)7$", n - 1}, {"(.)*?$", n}};
  for (const auto& [pattern, groupOneEnd] : cases) {
    SCOPED_TRACE(pattern);
    const basic_regex<char> re(pattern);
    CContext ctx;
    for (bool exact : {true, false}) {
      const auto r = exact ? re.MatchExact(text.data(), text.size(), &ctx)
                           : re.Match(text.data(), text.size(), &ctx);
      if (ctx.BudgetExhausted()) {
        EXPECT_STREQ(pattern, "(.)*?$");
        EXPECT_FALSE(r.IsMatched());
        continue;
      }
      ASSERT_TRUE(r.IsMatched());
      EXPECT_EQ(r.GetStart(), 0);
      EXPECT_EQ(r.GetEnd(), n);
      EXPECT_EQ(r.GetGroupEnd(1), groupOneEnd);
    }
  }
  text.back() = 'x';
  EXPECT_FALSE(basic_regex<char>(cases[0].first).MatchExact(text.data(), n).IsMatched());
}

// The memo makes these polynomial: switched on from the start, it bounds an
// exponential pattern from the first step, which without it runs out of
// steps. A search that fails at every start of a long text stays linear.
TEST(RegexSafety, NestedQuantifiersEndAtOnce) {
  const std::string text(30, 'a');
  for (const char* p :
       {"(a+)+b", "(a*)*b", "(a|aa)+b", "(a|a)*b", "((a+)*)+b", "(?:a?){30}a{30}b"}) {
    SCOPED_TRACE(p);
    basic_regex<char> re(p);
    CContext ctx;
    EXPECT_FALSE(re.MatchExact(text.data(), text.size(), &ctx).IsMatched());
    EXPECT_FALSE(ctx.BudgetExhausted());
    EXPECT_LT(ctx.StepsUsed(), 200000u);
    EXPECT_FALSE(re.Match(text.data(), text.size(), &ctx).IsMatched());
    EXPECT_FALSE(ctx.BudgetExhausted());
  }
  const std::string aab = std::string(40, 'a') + "b";
  CContext memo;
  for (uint64_t after : {uint64_t{0}, ~uint64_t{0} - 1}) {  // from the start; never
    memo.SetMemoAfter(after);
    EXPECT_FALSE(basic_regex<char>("^(a|aa)*$").MatchExact(aab.data(), 41, &memo).IsMatched());
    EXPECT_EQ(memo.BudgetExhausted(), after != 0);
  }
  const std::string mib = std::string(1 << 20, 'a') + "b";
  const basic_regex<char> re("a*b");
  EXPECT_FALSE(re.Match(mib.data(), mib.size() - 1).IsMatched());
  EXPECT_EQ(re.Match(mib.data(), mib.size()).GetStart(), 0);
}

// A back-reference disables the memo; the budget ends the exponential search,
// the default one within StepBase() + StepsPerChar() * (length + 1) steps. A
// call that ends so, or on the stack frame limit, leaves the context usable.
TEST(RegexSafety, BudgetAndStackLimitEndSearchesAsNoMatch) {
  CContext ctx;
  const std::string text(25, 'a');
  EXPECT_FALSE(basic_regex<char>("(a*)*\\1b").MatchExact(text.data(), 25, &ctx).IsMatched());
  EXPECT_LE(ctx.StepsUsed(), ctx.StepBase() + ctx.StepsPerChar() * 26);
  basic_regex<char> re("(a|aa)+(\\1)b");
  ctx.SetStepBudget(100000, 0);
  EXPECT_FALSE(re.MatchExact(text.data(), text.size(), &ctx).IsMatched());
  EXPECT_TRUE(ctx.BudgetExhausted());
  EXPECT_LE(ctx.StepsUsed(), 100000u);
  EXPECT_TRUE(re.MatchExact("aab", 3, &ctx).IsMatched());
  EXPECT_FALSE(ctx.BudgetExhausted());
  const std::string ok = std::string(1000, 'a') + "c";
  basic_regex<char> loop("(a|b)*c");
  ctx.SetMaxStackFrames(100);
  EXPECT_FALSE(loop.MatchExact(ok.data(), ok.size(), &ctx).IsMatched());
  EXPECT_TRUE(ctx.BudgetExhausted());
  ctx.SetMaxStackFrames(CContext::kDefaultMaxStackFrames);
  EXPECT_TRUE(loop.MatchExact(ok.data(), ok.size(), &ctx).IsMatched());
}

}  // namespace
