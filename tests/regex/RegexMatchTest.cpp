// Match and search results, word by word, for the constructs of the tool
// patterns and for the wider grammar.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Src/NimbraCmdEmuPatterns.h"
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
    // The tool patterns and the edge cases around them.
    {"^Index: ([:digit:]+)$", 0, 'E', "Index: 3", {0, 8, 7, 8}},
    {"^Index: ([:digit:]+)$", 0, 'E', "Index: 3 ", {}},
    {"^Index: ([:digit:]+)$", 0, 'E', "Index:3", {}},
    {"^Index: ([:digit:]+)$", 0, 'E', "index: 3", {}},
    {"^Percentage Used: ([:digit:]+)", 8, 'S', "Percentage Used: 12", {0, 19, 17, 19}},
    {"^Percentage Used: ([:digit:]+)", 8, 'E', "PERCENTAGE used: 12", {0, 19, 17, 19}},
    {"^Percentage Used: ([:digit:]+)", 8, 'E', "Percentage Used: 12%", {}},
    {"^Critical Warnings: (0x[:xdigit:]+)", 8, 'E', "critical warnings: 0X1f", {0, 23, 19, 23}},
    {"^Bootloader: (.+)$", 0, 'E', "Bootloader: ", {}},
    {"^DevicePath: (.*)$", 0, 'E', "DevicePath: ", {0, 12, 12, 12}},
    {"^TempThreshold: ([:digit:]+).*$", 0, 'E', "TempThreshold: 85 C", {0, 19, 15, 17}},
    {"^TempThreshold: ([:digit:]+).*$", 0, 'E', "TempThreshold: 85", {0, 17, 15, 17}},
    {"^- IntelSSD", 0, 'S', "- IntelSSD BTPY - ", {0, 10}},
    {"^- IntelSSD", 0, 'S', " - IntelSSD", {}},
    {"Normalized: ([:digit:]+)Raw: (0x[:xdigit:]+)",
     8,
     'S',
     "xNORMALIZED: 98raw: 0x0Ay",
     {1, 24, 13, 15, 20, 24}},
    {"[:^digit:]", 0, 'E', "x", {0, 1}},
    {"[:^digit:]", 0, 'E', "7", {}},
    {"a b", 32, 'E', "ab", {0, 2}},
    {"a b", 32, 'E', "a b", {}},
    {"a b", 0, 'E', "a b", {0, 3}},
    {"a\\ b[ ]c", 32, 'E', "a b c", {0, 5}},
    {"abc", 0, 'E', "abc", {0, 3}},
    {"abc", 0, 'S', "xxabcxx", {2, 5}},
    {"", 0, 'E', "", {0, 0}},
    {"", 0, 'S', "abc", {0, 0}},
    // Groups numbered by opening parenthesis; unset groups are -1.
    {"((a)|(b))+", 0, 'E', "ab", {0, 2, 1, 2, 0, 1, 1, 2}},
    {"(a)|(b)", 0, 'E', "b", {0, 1, N, N, 0, 1}},
    {"(a(b(c)))", 0, 'E', "abc", {0, 3, 0, 3, 1, 3, 2, 3}},
    {"(a|ab)(c|bcd)(d*)", 0, 'E', "abcd", {0, 4, 0, 1, 1, 4, 4, 4}},
    {"(a|ab)(c|bcd)(d*)", 0, 'S', "abcd", {0, 4, 0, 1, 1, 4, 4, 4}},
    {"(a*)*", 0, 'E', "aa", {0, 2, 2, 2}},
    {"(a*)+b", 0, 'E', "aab", {0, 3, 2, 2}},
    {"(a|)*b", 0, 'E', "aab", {0, 3, 2, 2}},
    // Alternation, quantifiers, laziness, possessiveness.
    {"cat|dog|bird", 0, 'S', "a bird", {2, 6}},
    {"x?y{2}z{1,}w{0,2}", 0, 'E', "yyzzzww", {0, 7}},
    {"a{2,3}", 0, 'E', "aaaa", {}},
    {"a{2,3}", 0, 'S', "aaaa", {0, 3}},
    {"a{2,3}?", 0, 'S', "aaaa", {0, 2}},
    {"(a+?)(a*)", 0, 'E', "aaa", {0, 3, 0, 1, 1, 3}},
    {"<(.+)>", 0, 'S', "<a><b>", {0, 6, 1, 5}},
    {"<(.+?)>", 0, 'S', "<a><b>", {0, 3, 1, 2}},
    {"(ab)*?c", 0, 'S', "ababc", {0, 5, 2, 4}},
    {"(ab){2,}?(.*)", 0, 'E', "ababab", {0, 6, 2, 4, 4, 6}},
    {"a++a", 0, 'S', "aaa", {}},
    {"a*+b", 0, 'S', "aab", {0, 3}},
    {"(ab)++ab", 0, 'S', "ababab", {}},
    {"(?>a+)b", 0, 'S', "aab", {0, 3}},
    {"(?>a|ab)c", 0, 'S', "abc", {}},
    // Sets and classes.
    {"[a-c]+", 0, 'S', "xxbcaz", {2, 5}},
    {"[^a-c]+", 0, 'S', "abxy", {2, 4}},
    {"[[:upper:][:digit:]]+", 0, 'S', "abC9d", {2, 4}},
    {"[[:^alpha:]]+", 0, 'S', "ab12c", {2, 4}},
    {"[\\d\\s]+", 0, 'S', "x1 2y", {1, 4}},
    {"[]]", 0, 'E', "]", {0, 1}},
    {"[a-]+", 0, 'E', "a-a", {0, 3}},
    {"[:alnum:][:alpha:][:ascii:][:cntrl:]", 0, 'E', "1a~\t", {0, 4}},
    {"[:graph:][:lower:][:print:][:punct:]", 0, 'E', "!x !", {0, 4}},
    {"[:space:][:upper:][:xdigit:][:blank:]", 0, 'E', "\nQf\t", {0, 4}},
    {"[:print:]", 0, 'E', "\x7f", {}},
    {"[:alpha:]", 0, 'E', "\xe9", {}},
    {"\\w+", 0, 'S', "-ab_9-", {1, 5}},
    {"\\W\\D\\S", 0, 'E', "-ax", {0, 3}},
    {"a.c", 0, 'E', "a\nc", {}},
    {"a.c", 4, 'E', "a\nc", {0, 3}},
    {"\\x41\\t\\n", 0, 'E', "A\t\n", {0, 3}},
    {"a\\.b\\*\\(", 0, 'E', "a.b*(", {0, 5}},
    // Case: flag 8 for literal text only, flag 1 for everything.
    {"abc", 8, 'E', "AbC", {0, 3}},
    {"[a-c]+", 8, 'E', "ABC", {}},
    {"[a-c]+", 1, 'E', "ABC", {0, 3}},
    {"[:lower:]", 1, 'E', "Q", {0, 1}},
    {"(a)\\1", 8, 'E', "aA", {}},
    {"(a)\\1", 1, 'E', "aA", {0, 2, 0, 1}},
    {"\xe9", 8, 'E', "\xc9", {}},
    // Anchors and boundaries.
    {"^a", 0, 'S', "ba", {}},
    {"a$", 0, 'S', "ab", {}},
    {"a$", 0, 'S', "a\n", {}},
    {"a$", 2, 'S', "a\nb", {0, 1}},
    {"^b", 2, 'S', "a\nb", {2, 3}},
    {"a\\Z", 0, 'S', "a\n", {0, 1}},
    {"a\\z", 0, 'S', "a\n", {}},
    {"\\Aa", 2, 'S', "b\na", {}},
    {"\\bfoo\\b", 0, 'S', "afoo foo", {5, 8}},
    {"\\Boo\\B", 0, 'S', "foo fooo", {5, 7}},
    // Back-references, conditions, look-around.
    {"(a+)b\\1", 0, 'S', "aaabaa", {1, 6, 1, 3}},
    {"(a|b)\\1+", 0, 'E', "bbb", {0, 3, 0, 1}},
    {"(a)?\\1", 0, 'E', "", {}},
    {"(a)?(?(1)b|c)", 0, 'E', "ab", {0, 2, 0, 1}},
    {"(a)?(?(1)b|c)", 0, 'E', "c", {0, 1, N, N}},
    {"(a)?(?(1)b)", 0, 'E', "", {0, 0, N, N}},
    {"foo(?=bar)", 0, 'S', "foobaz foobar", {7, 10}},
    {"foo(?!bar)", 0, 'S', "foobar foobaz", {7, 10}},
    {"(?<=\\$)\\d+", 0, 'S', "a1 $42", {4, 6}},
    {"(?<!\\$)\\b\\d+", 0, 'S', "$42 17", {4, 6}},
    {"(?<=a+)b", 0, 'S', "aaab", {3, 4}},
    {"(?=(a+))a", 0, 'S', "aaa", {0, 1, 0, 3}},
    {"(?!(a))b", 0, 'S', "b", {0, 1, N, N}},
    {"(?<=(a))b", 0, 'S', "ab", {1, 2, 0, 1}},
    // Right to left.
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

TEST(RegexMatch, ResultWordsAreExact) {
  for (const MatchCase& c : kCases) {
    SCOPED_TRACE(std::string(c.pattern) + " / flags " + std::to_string(c.flags) + " / " + c.mode +
                 " / \"" + c.text + "\"");
    basic_regex<char> re(c.pattern, c.flags);
    const size_t n = std::strlen(c.text);
    const MatchResultT r = c.mode == 'E' ? re.MatchExact(c.text, n) : re.Match(c.text, n);
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
    EXPECT_EQ(r.GetHighestGroup(), g);
    for (int i = 0; i <= g; ++i) {
      EXPECT_EQ(r.GetGroupStart(i), c.groups[2 * i]) << "group " << i;
      EXPECT_EQ(r.GetGroupEnd(i), c.groups[2 * i + 1]) << "group " << i;
      EXPECT_EQ(r[2 + 2 * i], c.groups[2 * i]);
      EXPECT_EQ(r[3 + 2 * i], c.groups[2 * i + 1]);
    }
    EXPECT_EQ(r.GetGroupStart(g + 1), -1);
  }
}

TEST(RegexMatch, ExplicitContextWithMemoFromTheStartGivesTheSameResults) {
  TLX::Regex::CContext ctx;
  ctx.SetMemoAfter(0);
  for (const MatchCase& c : kCases) {
    basic_regex<char> re(c.pattern, c.flags);
    const size_t n = std::strlen(c.text);
    const MatchResultT a =
        c.mode == 'E' ? re.MatchExact(c.text, n, &ctx) : re.Match(c.text, n, &ctx);
    const MatchResultT b = c.mode == 'E' ? re.MatchExact(c.text, n) : re.Match(c.text, n);
    EXPECT_EQ(Describe(a), Describe(b)) << c.pattern;
    EXPECT_FALSE(ctx.BudgetExhausted());
  }
  // Loops whose body can match nothing: inside them a failure depends on where
  // the iteration began, so the memo must not record it (found by fuzzing).
  const std::pair<const char*, const char*> kNullableLoops[] = {
      {"(a*)*aaaaa",
       "a\xf8"
       "D\\b|1b4\r aaaaaaa@ aaqa]aaa a"},
      {"(a*)*aaaaa", "xaaaaaaa"},
      {"(a|b?)*ab", "aabbab"},
      {"((a*)*b)*c", "aabaabc"},
  };
  for (const auto& [pattern, text] : kNullableLoops) {
    basic_regex<char> re(pattern);
    const size_t n = std::strlen(text);
    EXPECT_EQ(Describe(re.Match(text, n, &ctx)), Describe(re.Match(text, n))) << pattern;
  }
}

TEST(RegexMatch, Group1TextAndOutOfRange) {
  basic_regex<char> index("^Index: ([:digit:]+)$");
  std::string line = "Index: 42";
  auto r = index.match_exact(line.c_str());
  line.assign("changed");  // the result keeps its own copy
  ASSERT_TRUE(r.IsMatched());
  EXPECT_EQ(r.Group1(), "42");
  EXPECT_EQ(r.Group(0), "Index: 42");
  EXPECT_EQ(r.Text(), "Index: 42");

  auto miss = index.match_exact("Index: x");
  EXPECT_FALSE(miss.IsMatched());
  try {
    miss.Group1();
    ADD_FAILURE() << "no exception";
  } catch (const std::range_error& e) {
    EXPECT_STREQ(e.what(), "Out of range");
  }

  basic_regex<char> header("^- IntelSSD");
  auto h = header.search("- IntelSSD X");
  ASSERT_TRUE(h.IsMatched());
  EXPECT_EQ(h.Result().GetHighestGroup(), 0);
  EXPECT_THROW(h.Group1(), TLX::Regex::range_error);
  EXPECT_THROW(index.match_exact("Index: 1").Group(2), TLX::Regex::range_error);
  EXPECT_THROW(index.match_exact("Index: 1").Group(-1), TLX::Regex::range_error);

  basic_regex<char> optional("(a)|b");
  EXPECT_EQ(optional.match_exact("b").Group1(), "");
}

TEST(RegexMatch, NullAndCountedTexts) {
  basic_regex<char> re("(x*)");
  EXPECT_TRUE(re.match_exact(nullptr).IsMatched());
  EXPECT_EQ(re.match_exact(nullptr).Group1(), "");
  const std::string s("xx\0yy", 5);
  EXPECT_FALSE(re.match_exact(s.data(), s.size()).IsMatched());
  EXPECT_EQ(re.match_exact(s.data(), 2).Group1(), "xx");
  basic_regex<char> nul("a\\0b");
  EXPECT_TRUE(nul.match_exact(std::string("a\0b", 3).data(), 3).IsMatched());
  EXPECT_TRUE(re.MatchExact(nullptr, 5).IsMatched());  // a null text counts as empty
}

TEST(RegexMatch, ResultsCopyAndMove) {
  basic_regex<char> many("(a)(b)(c)(d)(e)(f)(g)(h)");
  MatchResultT big = many.MatchExact("abcdefgh", 8);
  ASSERT_TRUE(big.IsMatched());
  MatchResultT copy = big;
  MatchResultT moved = std::move(big);
  EXPECT_EQ(copy.size(), 19u);
  EXPECT_EQ(copy.GetGroupStart(8), 7);
  EXPECT_EQ(copy.GetGroupEnd(8), 8);
  EXPECT_EQ(moved.GetGroupEnd(8), 8);
  MatchResultT small = basic_regex<char>("(a)").MatchExact("a", 1);
  copy = small;
  EXPECT_EQ(copy.size(), 5u);
  EXPECT_EQ(copy[5], 1);
}

// Matching lines of every tool pattern yield their value; near misses do not match.
TEST(RegexMatch, ToolPatternsReadTheirValues) {
  namespace P = NAMESPACE_Nimbra::Patterns;
  struct Line {
    const char* pattern;
    int flags;
    const char* line;
    const char* value;  // null: no match
  };
  const Line lines[] = {
      {P::kInventory[0].pattern, 0, "Index: 0", "0"},
      {P::kInventory[1].pattern, 0, "Bootloader: 8B1B0131", "8B1B0131"},
      {P::kInventory[2].pattern, 0, "ControllerDescription: NVMe Controller", "NVMe Controller"},
      {P::kInventory[9].pattern, 0, "DriverMajorVersion: 1", "1"},
      {P::kInventory[9].pattern, 0, "DriverMajorVersion: 1a", nullptr},
      {P::kInventory[17].pattern, 0, "ModelNumber: INTEL SSDPEDMD400G4", "INTEL SSDPEDMD400G4"},
      {P::kInventory[25].pattern, 0, "TempThreshold: 85 degree C", "85"},
      {P::kInventory[25].pattern, 0, "TempThreshold: C", nullptr},
      {P::kVersion, 0, "Version: 3.0.2", "3.0.2"},
      {P::kPage2[0].pattern, 8, "Critical Warnings: 0x00", "0x00"},
      {P::kPage2[6].pattern, 8,
       "Available Spare Normalized percentage of the remaining spare capacity available: 100",
       "100"},
      {P::kPage2[9].pattern, 8, "DATA UNITS READ: 0x1A2b", "0x1A2b"},
      {P::kPage2[9].pattern, 8, "Data Units Read: 1A2b", nullptr},
      {P::kPage197, 8, "Current Temperature: 31", "31"},
  };
  for (const Line& l : lines) {
    SCOPED_TRACE(l.line);
    basic_regex<char> re(l.pattern, l.flags);
    auto r = re.match_exact(l.line);
    ASSERT_EQ(r.IsMatched(), l.value != nullptr);
    if (l.value) {
      EXPECT_EQ(r.Group1(), l.value);
    }
  }
}

// The pre-check compares up to 16 prefix bytes with word loads; every prefix
// length, text length and mismatch position must give what the matcher gives.
TEST(RegexMatch, PrefixPreCheckAtEveryLength) {
  const std::string letters = "abcdefghij:lmnopqrst";
  TLX::Regex::CContext ctx;
  int checked = 0;
  for (size_t n = 1; n <= 18; ++n) {
    const std::string prefix = letters.substr(0, n);
    for (int flags : {0, 8}) {
      basic_regex<char> re(("^" + prefix + ".*").c_str(), flags);
      for (size_t len = n; len <= 20; ++len) {
        std::string text = prefix + std::string(len - n, '.');
        std::string upper = text;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(re.MatchExact(text.data(), text.size()).IsMatched()) << text;
        EXPECT_EQ(re.MatchExact(upper.data(), upper.size()).IsMatched(), flags == 8) << upper;
        EXPECT_EQ(re.Match(upper.data(), upper.size()).IsMatched(), flags == 8) << upper;
        for (size_t i = 0; i < n; ++i) {
          std::string bad = upper;
          bad[i] = '#';
          EXPECT_FALSE(re.MatchExact(bad.data(), bad.size()).IsMatched()) << bad;
          EXPECT_FALSE(re.MatchExact(bad.data(), bad.size(), &ctx).IsMatched()) << bad;
          ++checked;
        }
      }
      const std::string shorter = prefix.substr(0, n - 1);
      EXPECT_FALSE(re.MatchExact(shorter.data(), shorter.size()).IsMatched());
    }
  }
  EXPECT_EQ(checked, 2964);
}

}  // namespace
