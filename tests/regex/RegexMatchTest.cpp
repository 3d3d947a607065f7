// Match and search results, word by word, for what the differential test
// against PCRE2 cannot compare: right to left, the extended and comment
// syntax, conditions, variable look-behind, the classes and escapes outside
// its corpus; then the result object and the prefix pre-check.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::MatchResultT;

constexpr int64_t N = -1;  // a group that took no part

struct MatchCase {
  const char* pattern;
  int flags;
  char mode;  // 'E' exact, 'S' search
  const char* text;
  std::vector<int64_t> groups;  // start/end per group from group 0; empty: no match
};

const MatchCase kCases[] = {
    {"", 0, 'S', "abc", {0, 0}},
    // Extended mode (32) drops blanks and comments; escaped or bracketed blanks stay.
    {"a b", 32, 'E', "ab", {0, 2}},
    {"a b", 32, 'E', "a b", {}},
    {"a\\ b[ ]c", 32, 'E', "a b c", {0, 5}},
    {"a b # comment\n c", 32, 'E', "abc", {0, 3}},
    {"a(?#note)b", 0, 'E', "ab", {0, 2}},
    // Braces that are no quantifier are text; escapes, also of a class inside a set.
    {"a{,2}x{", 0, 'E', "a{,2}x{", {0, 7}},
    {"\\t\\n\\x41\\x{42}\\.\\[\\*\\(", 0, 'E', "\t\nAB.[*(", {0, 8}},
    {"[\\d][\\w-]+[^\\s]", 0, 'E', "7a-_b", {0, 5}},
    // Sets with a leading ], a trailing -, a [ inside; every class name.
    {"[]]", 0, 'E', "]", {0, 1}},
    {"[^]a-]+", 0, 'S', "a-]bc", {3, 5}},
    {"[a[b]+", 0, 'E', "[ab", {0, 3}},
    {"[a-]+", 0, 'E', "a-a", {0, 3}},
    {"[:alnum:][:alpha:][:ascii:][:cntrl:]", 0, 'E', "1a~\t", {0, 4}},
    {"[:graph:][:lower:][:print:][:punct:]", 0, 'E', "!x !", {0, 4}},
    {"[:space:][:upper:][:xdigit:][:blank:]", 0, 'E', "\nQf\t", {0, 4}},
    {"[:print:]", 0, 'E', "\x7f", {}},
    {"[:alpha:]", 0, 'E', "\xe9", {}},
    {"\xe9", 8, 'E', "\xc9", {}},  // folding is ASCII only
    // Anchors PCRE2's corpus lacks.
    {"a\\Z", 0, 'S', "a\n", {0, 1}},
    {"a\\z", 0, 'S', "a\n", {}},
    {"\\Aa", 2, 'S', "b\na", {}},
    // Conditions, variable look-behind, groups inside look-behind.
    {"(a)?(?(1)b|c)", 0, 'E', "ab", {0, 2, 0, 1}},
    {"(a)?(?(1)b|c)", 0, 'E', "c", {0, 1, N, N}},
    {"(a)?(?(1)b)", 0, 'E', "", {0, 0, N, N}},
    {"(?<=a+)b", 0, 'S', "aaab", {3, 4}},
    {"(?<=(a))b", 0, 'S', "ab", {1, 2, 0, 1}},
    // Loops whose body can match nothing: inside them a failure depends on where
    // the iteration began, so the memo must not record it (found by fuzzing).
    {"(a*)*aaaaa", 0, 'S', "a\xf8\x44\\b|1b4\r aaaaaaa@ aaqa]aaa a", {11, 18, 13, 13}},
    {"(a*)*aaaaa", 0, 'S', "xaaaaaaa", {1, 8, 3, 3}},
    {"(a|b?)*ab", 0, 'S', "aabbab", {0, 6, 4, 4}},
    {"((a*)*b)*c", 0, 'S', "aabaabc", {0, 7, 3, 6, 5, 5}},
    // A run before a line start is not one-pass; folded literal scans with a
    // candidate that fails, one past the last start, a last block past it.
    {"a*^b", 0, 'E', "b", {0, 1}},
    {"XYabcdefgh", 8, 'S', "..xy........xy....", {}},
    {"ABCDEFGHIJKLMNOPQRST", 8, 'S', "..................................", {}},
    // Right to left: the last match, groups filled from the end.
    {"abc", 16, 'S', "abcabc", {3, 6}},
    {"a+", 16, 'S', "aabaa", {3, 5}},
    {"(a+)(a+)", 16, 'E', "aaaa", {0, 4, 0, 1, 1, 4}},
    {"(\\d+)-(\\d+)", 16, 'S', "1-22 333-4444", {5, 13, 5, 8, 9, 13}},
    {"^ab", 16, 'S', "abab", {0, 2}},
    {"b(?=c)", 16, 'S', "bcbd", {0, 1}},
    {"(?<=a)b", 16, 'S', "abcb", {1, 2}},
    {"\\1(a)", 16, 'E', "aa", {0, 2, 1, 2}},
};

std::string Describe(const MatchResultT& r) {
  std::string out;
  for (size_t i = 0; i < r.size(); ++i) out += std::to_string(r[i]) + " ";
  return out;
}

MatchResultT MatchOf(const basic_regex<char>& re, const MatchCase& c,
                     TLX::Regex::CContext* ctx = nullptr) {
  const size_t n = std::strlen(c.text);
  return c.mode == 'E' ? re.MatchExact(c.text, n, ctx) : re.Match(c.text, n, ctx);
}

// Each row also runs with a memo from the start (and so without the
// pre-checks), which must not change a result.
TEST(RegexMatch, ResultWordsAreExact) {
  TLX::Regex::CContext memo;
  memo.SetMemoAfter(0);
  for (const MatchCase& c : kCases) {
    SCOPED_TRACE(std::string(c.pattern) + " / flags " + std::to_string(c.flags) + " / " + c.mode +
                 " / \"" + c.text + "\"");
    basic_regex<char> re(c.pattern, c.flags);
    const MatchResultT r = MatchOf(re, c);
    EXPECT_EQ(Describe(MatchOf(re, c, &memo)), Describe(r));
    EXPECT_FALSE(memo.BudgetExhausted());
    if (c.groups.empty()) {
      EXPECT_FALSE(r.IsMatched()) << Describe(r);
      EXPECT_EQ(r.size(), 0u);
      continue;
    }
    ASSERT_TRUE(r.IsMatched());
    const int g = re.MaxGroup();
    ASSERT_EQ(c.groups.size(), 2u * (g + 1)) << "bad table row";
    EXPECT_EQ(r.size(), 2u * g + 3);
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], g);
    for (int i = 0; i <= g; ++i) {
      EXPECT_EQ(r.GetGroupStart(i), c.groups[2 * i]) << "group " << i;
      EXPECT_EQ(r.GetGroupEnd(i), c.groups[2 * i + 1]) << "group " << i;
    }
    EXPECT_EQ(r.GetGroupStart(g + 1), -1);
  }
}

TEST(RegexMatch, ResultTextsOwnTheirCopyAndRefuseMissingGroups) {
  basic_regex<char> index("^Index: ([:digit:]+)$");
  std::string line = "Index: 42";
  auto r = index.match_exact(line.c_str());
  line.assign("changed");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.Group1(), "42");
  EXPECT_EQ(r.Group(0), "Index: 42");
  EXPECT_EQ(r.Text(), "Index: 42");
  EXPECT_EQ(r.Result().GetGroupStart(1), 7);
  EXPECT_THROW(index.match_exact("Index: x").Group1(), std::range_error);
  EXPECT_THROW(basic_regex<char>("^- X").search("- X").Group1(), TLX::Regex::range_error);
  EXPECT_THROW(r.Group(2), TLX::Regex::range_error);
  EXPECT_THROW(r.Group(-1), TLX::Regex::range_error);
  EXPECT_EQ(basic_regex<char>("(a)|b").match_exact("b").Group1(), "");
}

TEST(RegexMatch, NullAndCountedTexts) {
  basic_regex<char> re("(x*)");
  EXPECT_EQ(re.match_exact(nullptr).Group1(), "");
  EXPECT_TRUE(re.MatchExact(nullptr, 5).IsMatched());  // a null text counts as empty
  const std::string s("xx\0yy", 5);
  EXPECT_FALSE(re.match_exact(s.data(), s.size()).IsMatched());
  EXPECT_EQ(re.match_exact(s.data(), 2).Group1(), "xx");
  EXPECT_TRUE(basic_regex<char>("a\\0b").match_exact(std::string("a\0b", 3).data(), 3).IsMatched());
}

TEST(RegexMatch, ResultsCopyAndMove) {
  MatchResultT big = basic_regex<char>("(a)(b)(c)(d)(e)(f)(g)(h)").MatchExact("abcdefgh", 8);
  const MatchResultT small = basic_regex<char>("(a)").MatchExact("a", 1);
  MatchResultT copy = big;
  MatchResultT moved = std::move(big);
  EXPECT_EQ(copy.size(), 19u);
  EXPECT_EQ(copy.GetGroupStart(8), 7);
  EXPECT_EQ(moved.GetGroupEnd(8), 8);
  for (MatchResultT* into : {&copy, &moved}) {
    *into = small;  // from inline words, over heap words
    EXPECT_EQ(into->size(), 5u);
    EXPECT_EQ((*into)[5], 1);
  }
}

// The pre-check compares up to 16 prefix bytes with word loads; every prefix
// length and mismatch position must give what the matcher gives.
TEST(RegexMatch, PrefixPreCheckAtEveryLength) {
  const std::string letters = "abcdefghij:lmnopqrst";
  TLX::Regex::CContext ctx;
  for (size_t n = 1; n <= 18; ++n) {
    const std::string prefix = letters.substr(0, n);
    for (int flags : {0, 8}) {
      basic_regex<char> re(("^" + prefix + ".*").c_str(), flags);
      for (size_t len : {n, n + 1, size_t{20}}) {
        std::string upper = prefix + std::string(len - n, '.');
        EXPECT_TRUE(re.MatchExact(upper.data(), upper.size()).IsMatched()) << upper;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(re.MatchExact(upper.data(), upper.size()).IsMatched(), flags == 8) << upper;
        EXPECT_EQ(re.Match(upper.data(), upper.size()).IsMatched(), flags == 8) << upper;
        for (size_t i = 0; i < n; ++i) {
          std::string bad = upper;
          bad[i] = '#';
          EXPECT_FALSE(re.MatchExact(bad.data(), bad.size()).IsMatched()) << bad;
          EXPECT_FALSE(re.MatchExact(bad.data(), bad.size(), &ctx).IsMatched()) << bad;
        }
      }
      EXPECT_FALSE(re.MatchExact(prefix.data(), n - 1).IsMatched());
    }
  }
}

}  // namespace
