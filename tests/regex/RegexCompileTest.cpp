// What tree a pattern builds, and which patterns are refused and where.

#include <gtest/gtest.h>

#include <string>

#include "Src/NimbraCmdEmuPatterns.h"
#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::pattern_error;

struct TreeCase {
  const char* pattern;
  int flags;
  const char* tree;
  int groups;
};

const TreeCase kTrees[] = {
    // A class name outside brackets is one element; the group holds a greedy repetition of it.
    {"([:digit:]+)", 0, "List[Group1[Greedy{1,}(Posix(digit))]]", 1},
    {"^Index: ([:digit:]+)$", 0,
     "List[Boundary(^), \"Index: \", Group1[Greedy{1,}(Posix(digit))], Boundary($)]", 1},
    {"(0x[:xdigit:]+)", 8, "List[Group1[\"0x\"i, Greedy{1,}(Posix(xdigit))]]", 1},
    {"[:^digit:]", 0, "List[Posix(^digit)]", 0},
    {"[[:digit:]a-f]", 0, "List[Range([[:digit:]a-f])]", 0},
    // The last character of a run belongs to the quantifier that follows.
    {"abc+", 0, "List[\"ab\", Greedy{1,}(\"c\")]", 0},
    {"a b", 32, "List[\"ab\"]", 0},
    {"a b # comment\n c", 32, "List[\"abc\"]", 0},
    {"a b", 0, "List[\"a b\"]", 0},
    {"a|b|", 0, "Alt[List[\"a\"] | List[\"b\"] | List[]]", 0},
    {"(a)(?:b)((c))", 0, "List[Group1[\"a\"], List[\"b\"], Group2[Group3[\"c\"]]]", 3},
    {"a{2}b{2,}c{2,3}?d*+", 0,
     "List[Repeat{2}(\"a\"), Greedy{2,}(\"b\"), Reluctant{2,3}(\"c\"), Possessive{0,}(\"d\")]", 0},
    {"a{,2}x{", 0, "List[\"a{,2}x{\"]", 0},
    {"(?=a)(?!b)(?<=c)(?<!d)(?>e)", 0,
     "List[Assert(?=, List[\"a\"]), Assert(?!, List[\"b\"]), Assert(?<=, List[\"c\"]), "
     "Assert(?<!, List[\"d\"]), Atomic(List[\"e\"])]",
     0},
    {"(a)?(?(1)b|c)\\1", 0,
     "List[Greedy{0,1}(Group1[\"a\"]), Cond(1, List[\"b\"], List[\"c\"]), Backref(1)]", 1},
    {"\\d\\W.\\b\\B\\A\\z\\Z", 0,
     "List[Range(\\d), Range(\\W), Range(.), Boundary(\\b), Boundary(\\B), Boundary(\\A), "
     "Boundary(\\z), Boundary(\\Z)]",
     0},
    {"\\t\\x41\\x{42}\\.\\[\\0", 0, "List[\"\\x09AB.[\\x00\"]", 0},
    {"[]a]", 0, "List[Range([]a])]", 0},
    {"[^]a-]", 0, "List[Range([^]a-])]", 0},
    {"[a[b]", 0, "List[Range([a[b])]", 0},
    {"a(?#note)b", 0, "List[\"a\", Empty, \"b\"]", 0},
    {"^a$", 2, "List[Boundary(^,m), \"a\", Boundary($,m)]", 0},
};

TEST(RegexCompile, BuildsTheExpectedTree) {
  for (const TreeCase& c : kTrees) {
    SCOPED_TRACE(c.pattern);
    basic_regex<char> re(c.pattern, c.flags);
    EXPECT_EQ(re.Dump(), c.tree);
    EXPECT_EQ(re.MaxGroup(), c.groups);
  }
}

TEST(RegexCompile, NullAndEmptyPatternsBuildNothing) {
  basic_regex<char> fromNull(nullptr);
  basic_regex<char> fromEmpty("");
  EXPECT_EQ(fromNull.Root(), nullptr);
  EXPECT_EQ(fromEmpty.Root(), nullptr);
  EXPECT_EQ(fromNull.PatternLength(), 0u);
  EXPECT_TRUE(fromNull.match_exact("").IsMatched());
  EXPECT_FALSE(fromNull.match_exact("x").IsMatched());
}

TEST(RegexCompile, GroupTablesAndFlagsAreKept) {
  basic_regex<char> re("(a(b))(c)\\2", 8);
  EXPECT_EQ(re.Pattern(), "(a(b))(c)\\2");
  EXPECT_EQ(re.Flags(), 8);
  ASSERT_EQ(re.Groups().size(), 4u);
  EXPECT_EQ(re.Groups()[0], re.Root());
  std::string g2;
  re.Groups()[2]->Dump(g2);
  EXPECT_EQ(g2, "Group2[\"b\"i]");
  EXPECT_EQ(re.Backrefs().size(), 1u);
  EXPECT_EQ(re.MinLength(), 3u);
}

TEST(RegexCompile, EveryToolPatternCompiles) {
  namespace P = NAMESPACE_Nimbra::Patterns;
  for (const auto& key : P::kInventory) {
    const char* p = key.pattern;
    EXPECT_EQ(basic_regex<char>(p).MaxGroup(), 1) << p;
  }
  for (const auto& key : P::kPage2) {
    const char* p = key.pattern;
    EXPECT_EQ(basic_regex<char>(p, P::kFlagsIgnoreCase).MaxGroup(), 1) << p;
  }
  EXPECT_EQ(basic_regex<char>(P::kInventoryHeader).MaxGroup(), 0);
  EXPECT_EQ(basic_regex<char>(P::kVersion).MaxGroup(), 1);
  EXPECT_EQ(basic_regex<char>(P::kPage197, 8).MaxGroup(), 1);
  EXPECT_EQ(basic_regex<char>(P::kPage202Throttle, 8).MaxGroup(), 2);
  EXPECT_EQ(basic_regex<char>(P::kPage202Wear, 8).MaxGroup(), 2);
}

TEST(RegexCompile, TablesOfPatternsConvertFromText) {
  const basic_regex<char> table[] = {"^a(b)$", "c+"};
  EXPECT_EQ(table[0].match_exact("ab").Group1(), "b");
  EXPECT_TRUE(table[1].match_exact("ccc").IsMatched());
}

TEST(RegexCompile, CopiesRecompileAndMovesTransfer) {
  basic_regex<char> a("(x+)y");
  basic_regex<char> b = a;
  basic_regex<char> c = std::move(a);
  EXPECT_EQ(b.Dump(), c.Dump());
  EXPECT_EQ(b.match_exact("xxy").Group1(), "xx");
  EXPECT_EQ(c.match_exact("xxy").Group1(), "xx");
}

struct BadCase {
  const char* pattern;
  int flags;
  const char* message;
  size_t offset;
};

const BadCase kBad[] = {
    {"(", 0, "missing closing parenthesis", 0},
    {"ab(c", 0, "missing closing parenthesis", 2},
    {"a)", 0, "unmatched closing parenthesis", 1},
    {"[abc", 0, "missing terminating ] for a set", 0},
    {"*a", 0, "quantifier does not follow a repeatable item", 0},
    {"a**", 0, "quantifier does not follow a repeatable item", 2},
    {"a|?", 0, "quantifier does not follow a repeatable item", 2},
    {"^*", 0, "quantifier does not follow a repeatable item", 1},
    {"a{3,2}", 0, "numbers out of order in {} quantifier", 1},
    {"a{70000}", 0, "number too large in {} quantifier", 1},
    {"[z-a]", 0, "range out of order in a set", 2},
    {"[a-\\d]", 0, "invalid range in a set", 2},
    {"[:foo:]", 0, "unknown class name", 0},
    {"[[:digits:]]", 0, "unknown class name", 1},
    {"ab\\", 0, "pattern ends with a backslash", 2},
    {"\\q", 0, "unknown escape sequence", 0},
    {"\\x{100}", 0, "character code too large", 0},
    {"\\x{4", 0, "malformed \\x{...} escape", 0},
    {"(a)\\2", 0, "reference to a non-existent group", 3},
    {"[\\1]", 0, "back-reference not allowed in a set", 1},
    {"(?(2)a|b)", 0, "condition on a non-existent group", 1},
    {"(a)(?(1)a|b|c)", 0, "condition with more than two branches", 3},
    {"(?R)", 0, "recursion is not supported", 1},
    {"(?1)", 0, "recursion is not supported", 1},
    {"(?i)a", 0, "unsupported group syntax", 1},
    {"(?#abc", 0, "missing ) after a comment", 0},
};

TEST(RegexCompile, InvalidPatternsThrowWithThePosition) {
  for (const BadCase& c : kBad) {
    SCOPED_TRACE(c.pattern);
    try {
      basic_regex<char> re(c.pattern, c.flags);
      ADD_FAILURE() << "compiled";
    } catch (const pattern_error& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.Position(), c.offset);
      EXPECT_EQ(std::string(e.what()),
                std::string(c.message) + " at offset " + std::to_string(c.offset));
    }
  }
}

TEST(RegexCompile, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep = std::string(100000, '(') + std::string(100000, ')');
  EXPECT_THROW(basic_regex<char>(deep.c_str()), pattern_error);
  const std::string fine = std::string(150, '(') + "a" + std::string(150, ')');
  EXPECT_TRUE(basic_regex<char>(fine.c_str()).match_exact("a").IsMatched());
}

TEST(RegexCompile, HugeRepetitionIsRefusedAsTooLarge) {
  try {
    basic_regex<char> re("((ab){1000}){1000}");
    ADD_FAILURE() << "compiled";
  } catch (const pattern_error& e) {
    EXPECT_EQ(e.Message(), "pattern too large");
  }
}

}  // namespace
