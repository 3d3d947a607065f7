// Bounded stack and bounded time on hostile subjects and patterns.

#include <gtest/gtest.h>

#include <string>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::CContext;
using TLX::Regex::MatchResultT;

constexpr size_t k16MiB = size_t{16} << 20;

TEST(RegexSafety, SixteenMiBLineOfDigits) {
  std::string line = "Index: " + std::string(k16MiB, '7');
  basic_regex<char> re("^Index: ([:digit:]+)$");
  MatchResultT r = re.MatchExact(line.data(), line.size());
  ASSERT_TRUE(r.IsMatched());
  EXPECT_EQ(r.GetGroupStart(1), 7);
  EXPECT_EQ(r.GetGroupEnd(1), static_cast<int64_t>(line.size()));
  line.back() = 'x';
  EXPECT_FALSE(re.MatchExact(line.data(), line.size()).IsMatched());
  // Not one-pass: the machine runs, its stack stays flat.
  basic_regex<char> twice("^Index: ([:digit:]+)([:digit:])$");
  line.back() = '7';
  CContext ctx;
  r = twice.MatchExact(line.data(), line.size(), &ctx);
  ASSERT_TRUE(r.IsMatched());
  EXPECT_EQ(r.GetGroupEnd(1), static_cast<int64_t>(line.size()) - 1);
  EXPECT_FALSE(ctx.BudgetExhausted());
}

TEST(RegexSafety, DotStarOverSixteenMiB) {
  const std::string text(k16MiB, 'q');
  for (const char* p : {".*", "(.*)", "(.*)$", "^.*q$", "(.)*?$"}) {
    SCOPED_TRACE(p);
    basic_regex<char> re(p);
    CContext ctx;
    const MatchResultT exact = re.MatchExact(text.data(), text.size(), &ctx);
    if (ctx.BudgetExhausted()) {
      // Only the lazy form keeps one frame per character; it may run out of stack
      // frames, and then ends as no match instead of crashing.
      EXPECT_STREQ(p, "(.)*?$");
      EXPECT_FALSE(exact.IsMatched());
    } else {
      ASSERT_TRUE(exact.IsMatched());
      EXPECT_EQ(exact.GetEnd(), static_cast<int64_t>(text.size()));
    }
    const MatchResultT found = re.Match(text.data(), text.size(), &ctx);
    EXPECT_EQ(found.IsMatched(), !ctx.BudgetExhausted());
    if (found.IsMatched()) {
      EXPECT_EQ(found.GetStart(), 0);
    }
  }
}

TEST(RegexSafety, NestedQuantifiersEndAtOnce) {
  const std::string text(30, 'a');
  for (const char* p :
       {"(a+)+b", "(a*)*b", "(a|aa)+b", "(a|a)*b", "((a+)*)+b", "(?:a?){30}a{30}b"}) {
    SCOPED_TRACE(p);
    basic_regex<char> re(p);
    CContext ctx;
    EXPECT_FALSE(re.MatchExact(text.data(), text.size(), &ctx).IsMatched());
    EXPECT_FALSE(ctx.BudgetExhausted());  // the memo makes it polynomial
    EXPECT_LT(ctx.StepsUsed(), 200000u);
    EXPECT_FALSE(re.Match(text.data(), text.size(), &ctx).IsMatched());
    EXPECT_FALSE(ctx.BudgetExhausted());
  }
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

  CContext frames;
  const std::string many(1 << 16, 'a');
  basic_regex<char> loop("(a|b)*c");
  frames.SetMaxStackFrames(1000);
  EXPECT_FALSE(loop.MatchExact(many.data(), many.size(), &frames).IsMatched());
  EXPECT_TRUE(frames.BudgetExhausted());
  frames.SetMaxStackFrames(CContext::kDefaultMaxStackFrames);
  const std::string ok = std::string(1000, 'a') + "c";
  EXPECT_TRUE(loop.MatchExact(ok.data(), ok.size(), &frames).IsMatched());
}

TEST(RegexSafety, UnanchoredSearchOverALongTextStaysBounded) {
  const std::string text(1 << 20, 'a');
  basic_regex<char> re("a*b");
  CContext ctx;
  EXPECT_FALSE(re.Match(text.data(), text.size(), &ctx).IsMatched());
  const std::string hit = text + "b";
  const MatchResultT r = re.Match(hit.data(), hit.size(), &ctx);
  ASSERT_TRUE(r.IsMatched());
  EXPECT_EQ(r.GetStart(), 0);
}

}  // namespace

// A memo switched on from the start keeps an exponential pattern within its
// budget from the first step; switched off, the same call runs out of steps.
TEST(RegexSafety, MemoFromTheStartBoundsAnExponentialPattern) {
  const std::string text = std::string(40, 'a') + "b";
  basic_regex<char> re("^(a|aa)*$");
  CContext ctx;
  ctx.SetMemoAfter(0);
  EXPECT_FALSE(re.MatchExact(text.data(), text.size(), &ctx).IsMatched());
  EXPECT_FALSE(ctx.BudgetExhausted());
  ctx.SetMemoAfter(~uint64_t{0} - 1);  // never reached: no memo
  EXPECT_FALSE(re.MatchExact(text.data(), text.size(), &ctx).IsMatched());
  EXPECT_TRUE(ctx.BudgetExhausted());
}
