// Differential test against PCRE2: the tool patterns on generated lines, and
// a generated corpus of patterns within the grammar both engines share, on
// short subjects over a small alphabet. Match or not, and every group's
// offsets, must agree.
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
#include <random>
#include <string>
#include <vector>

#include "Src/NimbraCmdEmuPatterns.h"
#include "TLX/Regex/Regex.h"

namespace {

using TLX::Regex::basic_regex;
using TLX::Regex::CContext;
using TLX::Regex::MatchResultT;

struct Pcre {
  pcre2_code* code = nullptr;
  pcre2_match_data* data = nullptr;
  Pcre(const std::string& pattern, uint32_t options) {
    int err = 0;
    PCRE2_SIZE off = 0;
    code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      options | PCRE2_DOLLAR_ENDONLY | PCRE2_NO_AUTO_POSSESS, &err, &off, nullptr);
    if (code) data = pcre2_match_data_create_from_pattern(code, nullptr);
  }
  ~Pcre() {
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  // Offsets per group from 0 (-1 for unset), empty for no match; false on a PCRE2 error.
  bool Run(const std::string& s, bool exact, int groups, std::vector<int64_t>& out) const {
    out.clear();
    const uint32_t opts = exact ? (PCRE2_ANCHORED | PCRE2_ENDANCHORED) : 0;
    const int rc =
        pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0, opts, data, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) return true;
    if (rc < 0) return false;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    const int pairs = static_cast<int>(pcre2_get_ovector_count(data));
    for (int g = 0; g <= groups; ++g) {
      if (g >= rc || g >= pairs || ov[2 * g] == PCRE2_UNSET) {
        out.push_back(-1);
        out.push_back(-1);
      } else {
        out.push_back(static_cast<int64_t>(ov[2 * g]));
        out.push_back(static_cast<int64_t>(ov[2 * g + 1]));
      }
    }
    return true;
  }
};

std::vector<int64_t> Ours(const basic_regex<char>& re, const std::string& s, bool exact,
                          CContext& ctx, bool& exhausted) {
  const MatchResultT r =
      exact ? re.MatchExact(s.data(), s.size(), &ctx) : re.Match(s.data(), s.size(), &ctx);
  exhausted = ctx.BudgetExhausted();
  std::vector<int64_t> out;
  if (!r.IsMatched()) return out;
  for (int g = 0; g <= re.MaxGroup(); ++g) {
    out.push_back(r.GetGroupStart(g));
    out.push_back(r.GetGroupEnd(g));
  }
  return out;
}

std::string Show(const std::vector<int64_t>& v) {
  if (v.empty()) return "no match";
  std::string out;
  for (int64_t x : v) out += std::to_string(x) + " ";
  return out;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// "[:name:]" outside brackets becomes "[[:name:]]".
std::string BracketClasses(const std::string& p) {
  std::string out;
  int depth = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '\\' && i + 1 < p.size()) {
      out += p.substr(i, 2);
      ++i;
    } else if (p[i] == '[' && depth == 0 && p.compare(i, 2, "[:") == 0) {
      const size_t close = p.find(":]", i + 2);
      out += "[" + p.substr(i, close + 2 - i) + "]";
      i = close + 1;
    } else {
      if (p[i] == '[') ++depth;
      if (p[i] == ']' && depth > 0) --depth;
      out += p[i];
    }
  }
  return out;
}

int Compare(const std::string& ours, int flags, const std::string& theirs, uint32_t pcreOptions,
            const std::vector<std::string>& subjects, int* compared) {
  basic_regex<char> re(ours.c_str(), flags);
  Pcre pcre(theirs, pcreOptions);
  if (pcre.code == nullptr) {
    ADD_FAILURE() << "PCRE2 refused " << theirs;
    return 1;
  }
  CContext ctx;
  CContext memoFromStart;  // exercises the memo on these short subjects too
  memoFromStart.SetMemoAfter(0);
  int failures = 0;
  for (const std::string& s : subjects) {
    for (bool exact : {true, false}) {
      std::vector<int64_t> want;
      if (!pcre.Run(s, exact, re.MaxGroup(), want)) continue;  // PCRE2 hit a limit
      bool exhausted = false, exhaustedMemo = false;
      const std::vector<int64_t> got = Ours(re, s, exact, ctx, exhausted);
      const std::vector<int64_t> gotMemo = Ours(re, s, exact, memoFromStart, exhaustedMemo);
      if (exhausted || exhaustedMemo) continue;
      ++*compared;
      if (got != want || gotMemo != want) {
        ++failures;
        if (failures <= 3) {
          ADD_FAILURE() << "pattern " << Escape(ours) << " flags " << flags << " (pcre "
                        << Escape(theirs) << ") " << (exact ? "exact" : "search") << " \""
                        << Escape(s) << "\": ours " << Show(got) << " with memo " << Show(gotMemo)
                        << " pcre " << Show(want);
        }
      }
    }
  }
  return failures;
}

// ---------------------------------------------------------------------------
// (a) the tool patterns on generated matching and near-miss lines

// Replaces each group and ".*" of a tool pattern by a sample value, dropping
// the anchors: a line that should match.
std::string Skeleton(const std::string& pattern, const std::vector<std::string>& values) {
  std::string out;
  size_t v = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '^' || pattern[i] == '$') continue;
    if (pattern[i] == '(') {
      const size_t close = pattern.find(')', i);
      const std::string body = pattern.substr(i + 1, close - i - 1);
      std::string value = values[v++ % values.size()];
      if (body.rfind("0x", 0) == 0) value = "0x" + value;
      out += value;
      i = close;
      continue;
    }
    if (pattern.compare(i, 2, ".*") == 0) {
      out += " C";
      ++i;
      continue;
    }
    out += pattern[i];
  }
  return out;
}

std::vector<std::string> Lines(const std::string& pattern, std::mt19937& rng) {
  const std::vector<std::vector<std::string>> valueSets = {
      {"0"},   {"42", "7"}, {"18446744073709551615"}, {"1F", "a0"},
      {"abc"}, {""},        {"INTEL SSDPED"},         {"12 "}};
  std::vector<std::string> lines;
  for (const auto& values : valueSets) {
    const std::string line = Skeleton(pattern, values);
    lines.push_back(line);
    std::string lower = line, upper = line;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    lines.push_back(lower);
    lines.push_back(upper);
    lines.push_back(" " + line);
    lines.push_back(line + " ");
    lines.push_back("xx" + line + "yy");
    lines.push_back(line + line);
    for (int k = 0; k < 4 && !line.empty(); ++k) {
      std::string m = line;
      const size_t at = rng() % m.size();
      switch (rng() % 3) {
        case 0:
          m.erase(at, 1);
          break;
        case 1:
          m.insert(at, 1, "x: 9\t"[rng() % 5]);
          break;
        default:
          m[at] = "Z0 :"[rng() % 4];
          break;
      }
      lines.push_back(m);
    }
    if (!line.empty()) lines.push_back(line.substr(0, line.size() / 2));
  }
  return lines;
}

TEST(RegexDiff, ToolPatternsAgreeWithPcre2) {
  namespace P = NAMESPACE_Nimbra::Patterns;
  std::vector<std::pair<std::string, int>> patterns;
  for (const auto& key : P::kInventory) {
    const char* p = key.pattern;
    patterns.emplace_back(p, P::kFlagsExact);
  }
  for (const auto& key : P::kPage2) {
    const char* p = key.pattern;
    patterns.emplace_back(p, P::kFlagsIgnoreCase);
  }
  patterns.emplace_back(P::kInventoryHeader, 0);
  patterns.emplace_back(P::kVersion, 0);
  patterns.emplace_back(P::kPage197, P::kFlagsIgnoreCase);
  patterns.emplace_back(P::kPage202Throttle, P::kFlagsIgnoreCase);
  patterns.emplace_back(P::kPage202Wear, P::kFlagsIgnoreCase);
  std::mt19937 rng(20240601);
  int compared = 0, failures = 0;
  for (const auto& [p, flags] : patterns) {
    // The tool patterns' classes are case-symmetric, so PCRE2's caseless mode equals flag 8 here.
    const uint32_t options = flags & 8 ? PCRE2_CASELESS : 0;
    failures += Compare(p, flags, BracketClasses(p), options, Lines(p, rng), &compared);
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(compared, 2000);
}

// ---------------------------------------------------------------------------
// (b) a generated corpus

class Generator {
 public:
  // `regular`: no back-reference, atomic group, possessive quantifier or
  // look-around, so that whether a text matches does not depend on direction.
  explicit Generator(uint32_t seed, bool regular = false) : m_Rng(seed), m_Regular(regular) {}

  // Returns our pattern and the PCRE2 pattern; flags as given.
  void Pattern(int flags, std::string& ours, std::string& theirs) {
    m_Flags = flags;
    m_Groups = 0;
    m_Closed.clear();
    ours.clear();
    theirs.clear();
    Alternation(3, ours, theirs);
  }

  std::string Subject() {
    static const char kAlphabet[] = "aabAb1 \n";
    std::string s;
    const int n = static_cast<int>(m_Rng() % 9);
    for (int i = 0; i < n; ++i) s += kAlphabet[m_Rng() % (m_Flags & 6 ? 8 : 7)];
    return s;
  }

 private:
  int Pick(int n) { return static_cast<int>(m_Rng() % static_cast<uint32_t>(n)); }

  void Alternation(int depth, std::string& o, std::string& t) {
    const int branches = Pick(4) == 0 ? 2 + Pick(2) : 1;
    for (int b = 0; b < branches; ++b) {
      if (b) {
        o += "|";
        t += "|";
      }
      Sequence(depth, o, t);
    }
  }

  void Sequence(int depth, std::string& o, std::string& t) {
    const int items = 1 + Pick(3);
    for (int i = 0; i < items; ++i) Quantified(depth, o, t);
  }

  void Quantified(int depth, std::string& o, std::string& t) {
    std::string ao, at;
    const bool repeatable = Atom(depth, ao, at);
    o += ao;
    t += at;
    if (!repeatable || Pick(3) != 0) return;
    static const char* kQuant[] = {"*", "+", "?", "{2}", "{1,}", "{0,2}", "{1,3}"};
    std::string q = kQuant[Pick(7)];
    if (q != "{2}") {
      const int mode = Pick(4);
      if (mode == 1) q += "?";
      if (mode == 2 && !m_Regular) q += "+";
    }
    o += q;
    t += q;
  }

  void Literal(char c, std::string& o, std::string& t) {
    o += c;
    if ((m_Flags & 8) && !(m_Flags & 1) && std::isalpha(static_cast<unsigned char>(c))) {
      t += std::string("[") + static_cast<char>(std::tolower(c)) +
           static_cast<char>(std::toupper(c)) + "]";
    } else {
      t += c;
    }
  }

  // Returns whether a quantifier may follow.
  bool Atom(int depth, std::string& o, std::string& t) {
    const int kind = depth > 0 ? Pick(16) : Pick(6);
    switch (kind) {
      case 0:
      case 1:
        Literal("aAb1 "[Pick(5)], o, t);
        return true;
      case 2:
        o += ".";
        t += ".";
        return true;
      case 3: {
        static const char* kSets[][2] = {{"[ab]", "[ab]"},
                                         {"[^a]", "[^a]"},
                                         {"[a-b1]", "[a-b1]"},
                                         {"\\d", "\\d"},
                                         {"\\w", "\\w"},
                                         {"\\s", "\\s"},
                                         {"\\W", "\\W"},
                                         {"[:alpha:]", "[[:alpha:]]"},
                                         {"[:^digit:]", "[[:^digit:]]"},
                                         {"[[:upper:] ]", "[[:upper:] ]"},
                                         {"[^[:lower:]]", "[^[:lower:]]"}};
        const int k = Pick(11);
        o += kSets[k][0];
        t += kSets[k][1];
        return true;
      }
      case 4: {
        static const char* kAnchors[] = {"^", "$", "\\b", "\\B"};
        const char* a = kAnchors[Pick(4)];
        o += a;
        t += a;
        return false;
      }
      case 5:
        if (!m_Closed.empty() && !m_Regular) {
          // Wrapped, so that a digit that follows does not extend the number.
          const std::string r =
              "(?:\\" + std::to_string(m_Closed[Pick(static_cast<int>(m_Closed.size()))]) + ")";
          o += r;
          t += r;
          return true;
        }
        Literal('a', o, t);
        return true;
      default:
        break;
    }
    // Groups.
    static const char* kOpen[] = {"(", "(", "(", "(?:", "(?>", "(?=", "(?!"};
    const int g = m_Regular ? Pick(4) : Pick(9);
    if (g >= 7) {  // look-behind with a fixed-length literal body
      const std::string body = Pick(2) ? "a" : "b1";
      std::string bo, bt;
      for (char c : body) Literal(c, bo, bt);
      const char* open = Pick(2) ? "(?<=" : "(?<!";
      o += open + bo + ")";
      t += open + bt + ")";
      return false;
    }
    const std::string open = kOpen[g];
    const int number = open == "(" ? ++m_Groups : 0;
    o += open;
    t += open;
    Alternation(depth - 1, o, t);
    o += ")";
    t += ")";
    if (number) m_Closed.push_back(number);
    return g < 5;  // no quantifiers on look-ahead
  }

  std::mt19937 m_Rng;
  bool m_Regular;
  int m_Flags = 0;
  int m_Groups = 0;
  std::vector<int> m_Closed;
};

TEST(RegexDiff, GeneratedPatternsAgreeWithPcre2) {
  Generator gen(7321);
  const int kFlags[] = {0, 0, 0, 8, 1, 2, 4};
  int compared = 0, failures = 0, patterns = 0;
  for (int i = 0; i < 3000; ++i) {
    const int flags = kFlags[i % 7];
    std::string ours, theirs;
    gen.Pattern(flags, ours, theirs);
    uint32_t options = 0;
    if (flags & 1) options |= PCRE2_CASELESS;
    if (flags & 2) options |= PCRE2_MULTILINE;
    if (flags & 4) options |= PCRE2_DOTALL;
    std::vector<std::string> subjects;
    for (int k = 0; k < 8; ++k) subjects.push_back(gen.Subject());
    ++patterns;
    failures += Compare(ours, flags, theirs, options, subjects, &compared) ? 1 : 0;
    if (failures > 20) break;
  }
  EXPECT_EQ(failures, 0) << "patterns that disagreed, out of " << patterns;
  EXPECT_GT(compared, 30000);
}

// Right to left has no PCRE2 counterpart; without constructs that commit,
// whether a text matches must not depend on the direction.
TEST(RegexDiff, RightToLeftAgreesWithLeftToRightOnWhetherTextsMatch) {
  Generator gen(99, true);
  int compared = 0, failures = 0;
  for (int i = 0; i < 2000 && failures < 5; ++i) {
    std::string ours, unused;
    gen.Pattern(i % 3 == 0 ? 4 : 0, ours, unused);
    const int flags = i % 3 == 0 ? 4 : 0;
    basic_regex<char> ltr(ours.c_str(), flags);
    basic_regex<char> rtl(ours.c_str(), flags | TLX::Regex::kRightToLeft);
    for (int k = 0; k < 8; ++k) {
      const std::string s = gen.Subject();
      for (bool exact : {true, false}) {
        const bool a = exact ? ltr.MatchExact(s.data(), s.size()).IsMatched()
                             : ltr.Match(s.data(), s.size()).IsMatched();
        const bool b = exact ? rtl.MatchExact(s.data(), s.size()).IsMatched()
                             : rtl.Match(s.data(), s.size()).IsMatched();
        ++compared;
        if (a != b) {
          ++failures;
          ADD_FAILURE() << Escape(ours) << (exact ? " exact" : " search") << " \"" << Escape(s)
                        << "\": left to right " << a << ", right to left " << b;
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(compared, 30000);
}

}  // namespace
