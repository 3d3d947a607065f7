// Which patterns are refused, with which message and where; what a compiled
// pattern keeps.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::pattern_error;

// One row per error the compiler reports: pattern, message, offset.
const std::tuple<const char*, const char*, size_t> kBad[] = {
    {"ab(c", "missing closing parenthesis", 2},
    {"a)", "unmatched closing parenthesis", 1},
    {"[abc", "missing terminating ] for a set", 0},
    {"a|?", "quantifier does not follow a repeatable item", 2},
    {"^*", "quantifier does not follow a repeatable item", 1},
    {"a{3,2}", "numbers out of order in {} quantifier", 1},
    {"a{70000}", "number too large in {} quantifier", 1},
    {"[z-a]", "range out of order in a set", 2},
    {"[a-\\d]", "invalid range in a set", 2},
    {"[:foo:]", "unknown class name", 0},
    {"[[:digits:]]", "unknown class name", 1},
    {"ab\\", "pattern ends with a backslash", 2},
    {"\\q", "unknown escape sequence", 0},
    {"\\x{100}", "character code too large", 0},
    {"\\x{4", "malformed \\x{...} escape", 0},
    {"(a)\\2", "reference to a non-existent group", 3},
    {"[\\1]", "back-reference not allowed in a set", 1},
    {"(?(2)a|b)", "condition on a non-existent group", 1},
    {"(a)(?(1)a|b|c)", "condition with more than two branches", 3},
    {"(?1)", "recursion is not supported", 1},
    {"(?i)a", "unsupported group syntax", 1},
    {"(?#abc", "missing ) after a comment", 0},
    {"((ab){1000}){1000}", "pattern too large", 0},
};

// Deep nesting is refused too, not overflowed.
TEST(RegexCompile, InvalidPatternsThrowWithMessageAndPosition) {
  for (const auto& [pattern, message, offset] : kBad) {
    SCOPED_TRACE(pattern);
    try {
      basic_regex<char> re(pattern);
      ADD_FAILURE() << "compiled";
    } catch (const pattern_error& e) {
      EXPECT_EQ(e.Message(), message);
      EXPECT_EQ(e.Position(), offset);
      EXPECT_EQ(e.what(), std::string(message) + " at offset " + std::to_string(offset));
    }
  }
  const std::string deep = std::string(100000, '(') + std::string(100000, ')');
  EXPECT_THROW(basic_regex<char>(deep.c_str()), pattern_error);
  const std::string fine = std::string(150, '(') + "a" + std::string(150, ')');
  EXPECT_TRUE(basic_regex<char>(fine.c_str()).match_exact("a").IsMatched());
}

TEST(RegexCompile, PatternFlagsAndGroupsAreKeptThroughCopiesAndMoves) {
  basic_regex<char> a("(x(y))(z)\\2(?(3)z)", 8);
  EXPECT_EQ(a.Pattern(), "(x(y))(z)\\2(?(3)z)");
  EXPECT_EQ(a.Flags(), 8);
  EXPECT_EQ(a.MaxGroup(), 3);
  EXPECT_EQ(a.MinLength(), 3u);  // a back-reference or a condition may be empty
  basic_regex<char> b = a;
  basic_regex<char> c = std::move(a);
  basic_regex<char> d(nullptr);  // the empty pattern
  EXPECT_EQ(d.PatternLength(), 0u);
  EXPECT_TRUE(d.match_exact("").IsMatched());
  EXPECT_FALSE(d.match_exact("x").IsMatched());
  d = b;  // recompiles the source text
  for (const basic_regex<char>* re : {&b, &c, &d}) {
    EXPECT_EQ(re->match_exact("XYzYz").Group(2), "Y");
    EXPECT_FALSE(re->match_exact("XYzY").IsMatched());
  }
  const basic_regex<char> table[] = {"^a(b)$", "c+"};  // converts from text
  EXPECT_EQ(table[0].match_exact("ab").Group1(), "b");
}

}  // namespace
