// Match and search results, word by word, for what the differential test
// against PCRE2 cannot compare: right to left, the extended and comment
// syntax, conditions, variable look-behind, the classes and escapes outside
// its corpus; then the result object and the prefix pre-check.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::MatchResultT;

// A pattern, its flags, 'E' exact or 'S' search, a text, and the start and end
// of each group from 0 (-1: took no part; "": no match).
const std::tuple<const char*, int, char, const char*, const char*> kCases[] = {
    {"", 0, 'S', "abc", "0 0"},
    // Extended mode (32) drops blanks and comments; escaped or bracketed blanks stay.
    {"a\\ b[ ]c # comment\n d", 32, 'E', "a b cd", "0 6"},
    {"a(?#note)b", 0, 'E', "ab", "0 2"},
    // Braces that are no quantifier are text; escapes, also of a class inside a set.
    {"a{,2}x{", 0, 'E', "a{,2}x{", "0 7"},
    {"\\t\\n\\r\\f\\v\\e\\a\\012", 0, 'E', "\t\n\r\f\v\x1b\a\n", "0 8"},
    {"\\x41\\x{42}\\.\\[\\*\\(", 0, 'E', "AB.[*(", "0 6"},
    {"[\\d][\\w-]+[^\\s]", 0, 'E', "7a-_b", "0 5"},
    // Sets with a leading ] (also negated), a [ inside, a trailing -; every class name.
    {"[]][^]a-]+[a[b]+[a-]+", 0, 'E', "]xya[b-a", "0 8"},
    {"[:alnum:][:alpha:][:ascii:][:cntrl:]", 0, 'E', "1a~\t", "0 4"},
    {"[:graph:][:lower:][:print:][:punct:]", 0, 'E', "!x !", "0 4"},
    {"[:space:][:upper:][:xdigit:][:blank:]", 0, 'E', "\nQf\t", "0 4"},
    {"[[:print:][:alpha:]]", 0, 'S', "\x7f\xe9", ""},
    {"\xe9", 8, 'E', "\xc9", ""},  // folding is ASCII only
    // Anchors PCRE2's corpus lacks.
    {"a\\Z", 0, 'S', "a\n", "0 1"},
    {"a\\z", 0, 'S', "a\n", ""},
    {"\\Aa", 2, 'S', "b\na", ""},
    // Conditions, variable look-behind, groups inside look-behind.
    {"(a)?(?(1)b|c)", 0, 'E', "ab", "0 2 0 1"},
    {"(a)?(?(1)b|c)", 0, 'E', "c", "0 1 -1 -1"},
    {"(a)?(?(1)b)", 0, 'E', "", "0 0 -1 -1"},
    {"(?<=a+)b", 0, 'S', "aaab", "3 4"},
    {"(?<=(a))b", 0, 'S', "ab", "1 2 0 1"},
    // Loops whose body can match nothing: inside them a failure depends on where
    // the iteration began, so the memo must not record it (found by fuzzing).
    {"(a*)*aaaaa", 0, 'S', "xaaaaaaa", "1 8 3 3"},
    {"(a|b?)*ab", 0, 'S', "aabbab", "0 6 4 4"},
    {"((a*)*b)*c", 0, 'S', "aabaabc", "0 7 3 6 5 5"},
    {"a*^b", 0, 'E', "b", "0 1"},  // a run before a line start is not one-pass
    // More than six groups: the words live on the heap.
    {"(a)(b)(c)(d)(e)(f)(g)(h)", 0, 'E', "abcdefgh", "0 8 0 1 1 2 2 3 3 4 4 5 5 6 6 7 7 8"},
    // Right to left: the last match, groups filled from the end.
    {"a+", 16, 'S', "aabaa", "3 5"},
    {"(a+)(a+)", 16, 'E', "aaaa", "0 4 0 1 1 4"},
    {"(\\d+)-(\\d+)", 16, 'S', "1-22 333-4444", "5 13 5 8 9 13"},
    {"^ab", 16, 'S', "abab", "0 2"},
    {"b(?=c)", 16, 'S', "bcbd", "0 1"},
    {"(?<=a)b", 16, 'S', "abcb", "1 2"},
    {"\\1(a)", 16, 'E', "aa", "0 2 1 2"},
};

// The offset words of a result, from word 2 to word size() ("" when empty).
std::string Words(const MatchResultT& r) {
  std::string out;
  for (size_t i = 2; r.size() && i <= r.size(); ++i)
    out += (i > 2 ? " " : "") + std::to_string(r[i]);
  return out;
}

// Each row also runs with a memo from the start (and so without the pre-checks),
// which must not change a result; each result survives a copy, a move and an
// assignment over the last row's (heap words over inline ones and back).
TEST(RegexMatch, ResultWordsAreExact) {
  TLX::Regex::CContext memo;
  memo.SetMemoAfter(0);
  MatchResultT last;
  for (const auto& [pattern, flags, mode, text, groups] : kCases) {
    SCOPED_TRACE(testing::Message() << pattern << " / flags " << flags << mode << " / " << text);
    const basic_regex<char> re(pattern, flags);
    const auto run = [&re, mode = mode, text = text](TLX::Regex::CContext* ctx) {
      const size_t n = std::strlen(text);
      return mode == 'E' ? re.MatchExact(text, n, ctx) : re.Match(text, n, ctx);
    };
    const MatchResultT r = run(nullptr);
    EXPECT_EQ(Words(r), groups);
    EXPECT_EQ(r.GetHighestGroup(), r.IsMatched() ? re.MaxGroup() : -1);
    EXPECT_EQ(Words(run(&memo)), Words(r));
    EXPECT_FALSE(memo.BudgetExhausted());
    EXPECT_EQ(r.GetGroupStart(re.MaxGroup() + 1), -1);
    MatchResultT copy(r);
    const MatchResultT moved(std::move(copy));
    last = moved;
    EXPECT_EQ(Words(last), groups);
  }
}

// A match_result owns a copy of the subject; null and counted texts.
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
  EXPECT_THROW(r.Group(2), TLX::Regex::range_error);
  EXPECT_THROW(r.Group(-1), TLX::Regex::range_error);
  EXPECT_EQ(basic_regex<char>("(a)|b").match_exact("b").Group1(), "");

  basic_regex<char> re("(x*)");
  EXPECT_EQ(re.match_exact(nullptr).Group1(), "");
  EXPECT_TRUE(re.MatchExact(nullptr, 5).IsMatched());  // a null text counts as empty
  const std::string s("xx\0yy", 5);
  EXPECT_FALSE(re.match_exact(s.data(), s.size()).IsMatched());
  EXPECT_EQ(re.match_exact(s.data(), 2).Group1(), "xx");
  EXPECT_TRUE(basic_regex<char>("a\\0b").match_exact(std::string("a\0b", 3).data(), 3).IsMatched());
}

// The pre-check loads the text in words: a text that matches must pass it at
// every prefix and text length, in either case where case is folded.
TEST(RegexMatch, PrefixPreCheckAtEveryLength) {
  const std::string letters = "abcdefghij:lmnopqrst";
  for (size_t n = 1; n <= 18; ++n) {
    for (int flags : {0, 8}) {
      const basic_regex<char> re(("^" + letters.substr(0, n) + ".*").c_str(), flags);
      for (size_t len = n; len <= letters.size(); ++len) {
        std::string s = letters.substr(0, len);
        EXPECT_TRUE(re.MatchExact(s.data(), len).IsMatched()) << s;
        for (char& c : s) c = static_cast<char>(std::toupper(c));
        EXPECT_EQ(re.MatchExact(s.data(), len).IsMatched(), flags == 8) << s;
        EXPECT_EQ(re.Match(s.data(), len).IsMatched(), flags == 8) << s;
      }
      EXPECT_FALSE(re.MatchExact(letters.data(), n - 1).IsMatched());
    }
  }
}

}  // namespace
