// Differential test against PCRE2: a generated corpus of patterns within the
// grammar both engines share, on short subjects over a small alphabet. Match
// or not, and every group's offsets, must agree.
//
// Documented differences the translation to PCRE2 accounts for:
// - "[:name:]" outside brackets is written "[[:name:]]" for PCRE2;
// - flag 8 folds literal text only, so literal letters become "[xX]" for
//   PCRE2 instead of using its caseless mode;
// - "$" is always the end of the text (PCRE2_DOLLAR_ENDONLY) unless multiline;
// - an exact match is PCRE2_ANCHORED | PCRE2_ENDANCHORED;
// - PCRE2 runs with PCRE2_NO_AUTO_POSSESS: its automatic possessification
//   (10.42) misses matches such as "(1A{0,2})(1)?+(?<=b1)" in "aab1Ab".

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::CContext;
using Offsets = std::vector<int64_t>;  // start/end per group from 0; empty: no match

// PCRE2's offsets (-1 for an unset group); nullopt on a PCRE2 error (a limit).
std::optional<Offsets> Theirs(pcre2_code* code, pcre2_match_data* data, const std::string& s,
                              bool exact, int groups) {
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0,
                             exact ? PCRE2_ANCHORED | PCRE2_ENDANCHORED : 0, data, nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return Offsets{};
  if (rc < 0) return std::nullopt;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
  Offsets out;
  for (int g = 0; g <= groups; ++g) {
    const bool set = g < rc && ov[2 * g] != PCRE2_UNSET;
    out.push_back(set ? static_cast<int64_t>(ov[2 * g]) : -1);
    out.push_back(set ? static_cast<int64_t>(ov[2 * g + 1]) : -1);
  }
  return out;
}

// Our offsets; nullopt when the budget of `ctx` ran out. Without a context
// the pre-checks run first.
std::optional<Offsets> Ours(const basic_regex<char>& re, const std::string& s, bool exact,
                            CContext* ctx) {
  const auto r = exact ? re.MatchExact(s.data(), s.size(), ctx) : re.Match(s.data(), s.size(), ctx);
  if (ctx && ctx->BudgetExhausted()) return std::nullopt;
  Offsets out;
  for (int g = 0; r.IsMatched() && g <= re.MaxGroup(); ++g) {
    out.push_back(r.GetGroupStart(g));
    out.push_back(r.GetGroupEnd(g));
  }
  return out;
}

// The PCRE2 spelling of one of our patterns (see the list above).
std::string ForPcre2(const std::string& p, int flags) {
  const bool fold = (flags & 8) && !(flags & 1);
  std::string out;
  int depth = 0;  // inside a set
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '\\' && i + 1 < p.size()) {
      out += p.substr(i++, 2);
    } else if (depth == 0 && p.compare(i, 2, "[:") == 0) {
      const size_t end = p.find(":]", i + 2) + 2;
      out += "[" + p.substr(i, end - i) + "]";
      i = end - 1;
    } else if (depth == 0 && fold && std::isalpha(static_cast<unsigned char>(c))) {
      out += {'[', static_cast<char>(std::tolower(c)), static_cast<char>(std::toupper(c)), ']'};
    } else {
      depth += c == '[' ? 1 : c == ']' && depth > 0 ? -1 : 0;
      out += c;
    }
  }
  return out;
}

// Random patterns within the grammar both engines share, and subjects.
class Generator {
 public:
  explicit Generator(uint32_t seed) : m_Rng(seed) {}

  // `regular`: without a back-reference, atomic group, possessive quantifier
  // or look-around, whether a text matches does not depend on the direction.
  std::string Pattern(bool& regular) {
    m_Groups = 0;
    m_Closed.clear();
    m_Commits = false;
    std::string p = Alternation(3);
    regular = !m_Commits;
    return p;
  }

  std::string Subject(bool newlines) {
    std::string s(Pick(9), ' ');
    for (char& c : s) c = "aabAb1 \n"[Pick(newlines ? 8 : 7)];
    return s;
  }

 private:
  int Pick(int n) { return static_cast<int>(m_Rng() % static_cast<uint32_t>(n)); }

  std::string Alternation(int depth) {
    std::string p;
    for (int b = Pick(4) == 0 ? 2 + Pick(2) : 1; b > 0; --b) {
      for (int items = 1 + Pick(3); items > 0; --items) p += Item(depth);
      if (b > 1) p += "|";
    }
    return p;
  }

  // An atom, at times quantified.
  std::string Item(int depth) {
    static const char* kSets[] = {"[ab]",       "[^a]",         "[a-b1]",      "\\d",
                                  "\\w",        "\\s",          "\\W",         "[:alpha:]",
                                  "[:^digit:]", "[[:upper:] ]", "[^[:lower:]]"};
    static const char* kAnchors[] = {"^", "$", "\\b", "\\B"};
    static const char* kOpen[] = {"(", "(", "(", "(?:", "(?>", "(?=", "(?!"};
    static const char* kQuant[] = {"*", "+", "?", "{2}", "{1,}", "{0,2}", "{1,3}"};
    std::string p;
    const int kind = depth > 0 ? Pick(16) : Pick(6);
    if (kind < 2) {
      p = "aAb1 "[Pick(5)];
    } else if (kind == 2) {
      p = ".";
    } else if (kind == 3) {
      p = kSets[Pick(11)];
    } else if (kind == 4) {
      return kAnchors[Pick(4)];
    } else if (kind == 5 && m_Closed.empty()) {
      p = "a";
    } else if (kind == 5) {  // wrapped, so that a digit that follows does not extend the number
      p = "(?:\\" + std::to_string(m_Closed[Pick(static_cast<int>(m_Closed.size()))]) + ")";
      m_Commits = true;
    } else {
      const int g = Pick(9);
      m_Commits |= g >= 4;
      if (g >= 7) {  // look-behind with a fixed-length literal body
        const char* body = Pick(2) ? "a" : "b1";
        return std::string(Pick(2) ? "(?<=" : "(?<!") + body + ")";
      }
      const int number = g < 3 ? ++m_Groups : 0;
      p = kOpen[g] + Alternation(depth - 1) + ")";
      if (number) m_Closed.push_back(number);
      if (g >= 5) return p;  // no quantifiers on look-ahead
    }
    if (Pick(3) != 0) return p;
    const int q = Pick(7);
    const int mode = q == 3 ? 0 : Pick(4);  // {2} is neither lazy nor possessive
    m_Commits |= mode == 2;
    return p + kQuant[q] + (mode == 1 ? "?" : mode == 2 ? "+" : "");
  }

  std::mt19937 m_Rng;
  int m_Groups = 0;
  std::vector<int> m_Closed;
  bool m_Commits = false;
};

// Compares a pattern on eight subjects, exact and searched, without a context
// and with a memo from the start. A pattern without constructs that commit
// (`regular`) must also match the same texts right to left, which PCRE2 cannot
// compare. Returns whether all agreed; counts the comparisons.
bool Compare(Generator& gen, int flags, int& compared, int& rightToLeft) {
  bool regular = false;
  const std::string pattern = gen.Pattern(regular);
  std::vector<std::string> subjects;
  for (int k = 0; k < 8; ++k) subjects.push_back(gen.Subject(flags & 6));
  const uint32_t options = (flags & 1 ? PCRE2_CASELESS : 0) | (flags & 2 ? PCRE2_MULTILINE : 0) |
                           (flags & 4 ? PCRE2_DOTALL : 0) | PCRE2_DOLLAR_ENDONLY |
                           PCRE2_NO_AUTO_POSSESS;
  const std::string theirs = ForPcre2(pattern, flags);
  int err = 0;
  PCRE2_SIZE off = 0;
  const std::unique_ptr<pcre2_code, void (*)(pcre2_code*)> code(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(theirs.data()), theirs.size(), options, &err, &off,
                    nullptr),
      pcre2_code_free);
  if (code == nullptr) {
    ADD_FAILURE() << "PCRE2 refused " << theirs;
    return false;
  }
  const std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)> data(
      pcre2_match_data_create_from_pattern(code.get(), nullptr), pcre2_match_data_free);
  const basic_regex<char> re(pattern.c_str(), flags);
  const basic_regex<char> rtl(regular ? pattern.c_str() : "", flags | TLX::Regex::kRightToLeft);
  CContext memoFromStart;  // exercises the memo on these short subjects too
  memoFromStart.SetMemoAfter(0);
  int failures = 0;
  for (const std::string& s : subjects) {
    for (bool exact : {true, false}) {
      const auto want = Theirs(code.get(), data.get(), s, exact, re.MaxGroup());
      const auto got = Ours(re, s, exact, nullptr);
      const auto gotMemo = Ours(re, s, exact, &memoFromStart);
      if (!want || !gotMemo) continue;
      ++compared;
      rightToLeft += regular;
      const bool rtlAgrees = !regular || Ours(rtl, s, exact, nullptr)->empty() == want->empty();
      if ((*got != *want || *gotMemo != *want || !rtlAgrees) && ++failures <= 3) {
        using testing::PrintToString;
        ADD_FAILURE() << PrintToString(pattern) << " flags " << flags << " (pcre " << theirs
                      << (exact ? ") exact " : ") search ") << PrintToString(s)
                      << ": ours, with memo, pcre, right to left agrees: "
                      << PrintToString(std::make_tuple(*got, *gotMemo, *want, rtlAgrees));
      }
    }
  }
  return failures == 0;
}

TEST(RegexDiff, GeneratedPatternsAgreeWithPcre2) {
  Generator gen(7321);
  const int kFlags[] = {0, 0, 0, 8, 1, 2, 4};
  int compared = 0, rightToLeft = 0, failures = 0;
  for (int i = 0; i < 6000 && failures <= 20; ++i)
    failures += Compare(gen, kFlags[i % 7], compared, rightToLeft) ? 0 : 1;
  EXPECT_EQ(failures, 0) << "patterns that disagreed";
  EXPECT_GT(compared, 90000);
  EXPECT_GT(rightToLeft, 14000);
}

}  // namespace
