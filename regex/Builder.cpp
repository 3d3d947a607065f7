// CBuilderT: pattern text to element tree.
//
// The tokenizer keeps a window of three tokens (previous, current, next). A
// bracket-depth counter decides what "[" means: outside a bracket expression,
// and inside one when it opens a class name "[:name:]", it is a meta token
// that raises the depth; inside a bracket expression otherwise it is an
// ordinary character. "]" closes (lowers the depth) except as the first
// character of a set. A backslash makes the next character ordinary or forms
// an escape. With kExtended, blanks and "#" comments outside sets are dropped.
//
// The parser is recursive descent over the tokens; its depth follows the
// pattern's nesting of groups, which is limited to kMaxNesting.

#include <cstring>
#include <string>
#include <utility>

#include "CharClass.h"
#include "Program.h"
#include "TLX/Regex/Regex.h"

namespace TLX {
namespace Regex {

namespace {

constexpr int kMaxNesting = 200;
constexpr int kMaxCount = 65535;  // largest number in a {n,m} quantifier
constexpr int kMaxGroupNumber = 65535;

bool IsBlank(int c) { return (c >= 9 && c <= 13) || c == ' '; }
bool IsDigitChar(int c) { return c >= '0' && c <= '9'; }
bool IsAlnumChar(int c) {
  return IsDigitChar(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PrintableChar(int c) {
  static const char* kHex = "0123456789abcdef";
  std::string out;
  if (c == '\\' || c == '"') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c >= 32 && c < 127) {
    out += static_cast<char>(c);
  } else {
    out += "\\x";
    out += kHex[(c >> 4) & 15];
    out += kHex[c & 15];
  }
  return out;
}

std::string CountText(int min, int max) {
  std::string out = "{" + std::to_string(min);
  if (max != min) {
    out += ",";
    if (max >= 0) out += std::to_string(max);
  }
  return out + "}";
}

}  // namespace

pattern_error::pattern_error(const std::string& message, size_t position)
    : std::invalid_argument(message + " at offset " + std::to_string(position)),
      m_Message(message),
      m_Position(position) {}

// ---------------------------------------------------------------------------
// Dump

template <class CharT>
void CListElxT<CharT>::Dump(std::string& out) const {
  out += m_Group > 0 ? "Group" + std::to_string(m_Group) + "[" : "List[";
  bool first = true;
  for (const ElxInterface* e : m_Items) {
    if (e->Kind() == ElxKind::kBracket) continue;
    // A group's body list prints inline: Group1[a, b] rather than Group1[List[a, b]].
    auto* body =
        m_Group > 0 && e->Kind() == ElxKind::kList ? static_cast<const CListElxT*>(e) : nullptr;
    if (body && body->Group() == 0) {
      for (const ElxInterface* i : body->Items()) {
        if (!first) out += ", ";
        first = false;
        i->Dump(out);
      }
      continue;
    }
    if (!first) out += ", ";
    first = false;
    e->Dump(out);
  }
  out += "]";
}

template <class CharT>
void CAlternativeElxT<CharT>::Dump(std::string& out) const {
  out += "Alt[";
  for (size_t i = 0; i < m_Branches.size(); ++i) {
    if (i) out += " | ";
    m_Branches[i]->Dump(out);
  }
  out += "]";
}

template <class CharT>
void CRepeatBaseT<CharT>::Dump(std::string& out) const {
  switch (this->Kind()) {
    case ElxKind::kRepeat:
      out += "Repeat";
      break;
    case ElxKind::kGreedy:
      out += "Greedy";
      break;
    case ElxKind::kReluctant:
      out += "Reluctant";
      break;
    default:
      out += "Possessive";
      break;
  }
  out += CountText(m_Min, m_Max) + "(";
  m_Item->Dump(out);
  out += ")";
}

template <class CharT>
void CStringElxT<CharT>::Dump(std::string& out) const {
  out += "\"";
  for (CharT c : m_Text) out += PrintableChar(static_cast<unsigned char>(c));
  out += m_FoldCase ? "\"i" : "\"";
}

template <class CharT>
void CRangeElxT<CharT>::Dump(std::string& out) const {
  out += "Range(" + m_Label + ")";
}

template <class CharT>
void CBracketElxT<CharT>::Dump(std::string& out) const {
  out += (m_Open ? "Open" : "Close") + std::to_string(m_Group);
}

template <class CharT>
void CPosixElxT<CharT>::Dump(std::string& out) const {
  out += "Posix(" + std::string(m_Negated ? "^" : "") + m_Name + ")";
}

template <class CharT>
void CBoundaryElxT<CharT>::Dump(std::string& out) const {
  static const char* kNames[] = {"^", "$", "\\A", "\\z", "\\Z", "\\b", "\\B"};
  out += "Boundary(";
  out += kNames[static_cast<int>(m_Kind)];
  out += m_Multiline ? ",m)" : ")";
}

template <class CharT>
void CBackrefElxT<CharT>::Dump(std::string& out) const {
  out += "Backref(" + std::to_string(m_Group) + (m_FoldCase ? ",i)" : ")");
}

template <class CharT>
void CConditionElxT<CharT>::Dump(std::string& out) const {
  out += "Cond(" + std::to_string(m_Group) + ", ";
  m_Yes->Dump(out);
  out += ", ";
  if (m_No) {
    m_No->Dump(out);
  } else {
    out += "Empty";
  }
  out += ")";
}

template <class CharT>
void CAssertElxT<CharT>::Dump(std::string& out) const {
  out += "Assert(";
  out += m_Behind ? "?<" : "?";
  out += m_Negative ? "!, " : "=, ";
  m_Item->Dump(out);
  out += ")";
}

template <class CharT>
void CIndependentElxT<CharT>::Dump(std::string& out) const {
  out += "Atomic(";
  m_Item->Dump(out);
  out += ")";
}

// ---------------------------------------------------------------------------
// Parser

template <class CharT>
class CBuilderT<CharT>::Parser {
 public:
  Parser(CBuilderT& b, const CharT* p, size_t n, int flags)
      : m_B(b), m_P(p), m_N(n), m_Flags(flags) {}

  ElxInterface* Run() {
    m_Cur = ReadToken();
    m_Next = ReadToken();
    ElxInterface* root = BuildAlternative(0);
    if (m_Cur.kind != Token::kEnd) Fail("unmatched closing parenthesis", m_Cur.pos);
    for (const ElxInterface* e : m_B.m_Backrefs) {
      auto* r = static_cast<const CBackrefElxT<CharT>*>(e);
      if (r->Group() > m_GroupCount) Fail("reference to a non-existent group", r->Position());
    }
    for (const ElxInterface* e : m_B.m_Conditions) {
      auto* c = static_cast<const CConditionElxT<CharT>*>(e);
      if (c->Group() > m_GroupCount) Fail("condition on a non-existent group", c->Position());
    }
    m_B.m_MaxGroup = m_GroupCount;
    return root;
  }

 private:
  struct Token {
    enum Kind { kEnd, kChar, kMeta, kClassEscape, kAssertEscape, kBackref };
    Kind kind = kEnd;
    int ch = -1;    // character, meta character or escape letter
    int value = 0;  // back-reference number
    size_t pos = 0;
    bool IsMeta(int c) const { return kind == kMeta && ch == c; }
    bool IsChar(int c) const { return kind == kChar && ch == c; }
  };

  [[noreturn]] void Fail(const char* message, size_t pos) { throw pattern_error(message, pos); }

  int Raw(size_t i) const { return i < m_N ? static_cast<unsigned char>(m_P[i]) : -1; }

  // ---- tokenizer ----

  void MoveNext() {
    m_Prev = m_Cur;
    m_Cur = m_Next;
    m_Next = ReadToken();
  }

  // Restarts tokenizing at raw offset i, outside any set.
  void ResyncAt(size_t i) {
    m_I = i;
    m_Depth = 0;
    m_ClassColon = m_SetStart = m_AfterOpener = false;
    m_Cur = ReadToken();
    m_Next = ReadToken();
  }

  // "[:" optional "^", letters, ":]" at raw offset i.
  bool IsClassForm(size_t i) const {
    if (Raw(i) != '[' || Raw(i + 1) != ':') return false;
    size_t j = i + 2;
    if (Raw(j) == '^') ++j;
    while (j < m_N && ((Raw(j) | 0x20) >= 'a' && (Raw(j) | 0x20) <= 'z')) ++j;
    return Raw(j) == ':' && Raw(j + 1) == ']';
  }

  Token Make(typename Token::Kind kind, int ch, size_t pos) {
    Token t;
    t.kind = kind;
    t.ch = ch;
    t.pos = pos;
    return t;
  }

  Token ReadToken() {
    if (m_Depth == 0 && (m_Flags & kExtended)) {
      for (;;) {
        if (m_I < m_N && IsBlank(Raw(m_I))) {
          ++m_I;
        } else if (Raw(m_I) == '#') {
          while (m_I < m_N && Raw(m_I) != '\n') ++m_I;
        } else {
          break;
        }
      }
    }
    if (m_I >= m_N) return Make(Token::kEnd, -1, m_N);
    const size_t start = m_I;
    const int c = Raw(m_I);
    if (c == '\\') return ReadEscape();
    ++m_I;
    if (m_Depth > 0) {
      const bool setStart = m_SetStart;
      const bool afterOpener = m_AfterOpener;
      m_SetStart = m_AfterOpener = false;
      if (m_ClassColon) {
        m_ClassColon = false;
        return Make(Token::kMeta, ':', start);
      }
      if (c == '[' && IsClassForm(start)) {
        ++m_Depth;
        m_ClassColon = true;
        return Make(Token::kMeta, '[', start);
      }
      if (c == ']' && !setStart) {
        --m_Depth;
        return Make(Token::kMeta, ']', start);
      }
      if (c == '^' && afterOpener) {
        m_SetStart = true;
        return Make(Token::kMeta, '^', start);
      }
      return Make(Token::kChar, c, start);
    }
    if (c == '[') {
      ++m_Depth;
      if (IsClassForm(start)) {
        m_ClassColon = true;
      } else {
        m_SetStart = m_AfterOpener = true;
      }
      return Make(Token::kMeta, '[', start);
    }
    if (std::strchr("()|^$.*+?{", c) != nullptr) return Make(Token::kMeta, c, start);
    return Make(Token::kChar, c, start);
  }

  Token ReadEscape() {
    const size_t start = m_I;
    if (m_I + 1 >= m_N) Fail("pattern ends with a backslash", start);
    const int d = Raw(m_I + 1);
    m_I += 2;
    const bool inSet = m_Depth > 0;
    m_ClassColon = m_SetStart = m_AfterOpener = false;
    switch (d) {
      case 'd':
      case 'D':
      case 'w':
      case 'W':
      case 's':
      case 'S':
        return Make(Token::kClassEscape, d, start);
      case 'b':
        return inSet ? Make(Token::kChar, 8, start) : Make(Token::kAssertEscape, d, start);
      case 'B':
      case 'A':
      case 'z':
      case 'Z':
        if (inSet) Fail("escape not allowed in a set", start);
        return Make(Token::kAssertEscape, d, start);
      case 't':
        return Make(Token::kChar, 9, start);
      case 'n':
        return Make(Token::kChar, 10, start);
      case 'r':
        return Make(Token::kChar, 13, start);
      case 'f':
        return Make(Token::kChar, 12, start);
      case 'v':
        return Make(Token::kChar, 11, start);
      case 'e':
        return Make(Token::kChar, 27, start);
      case 'a':
        return Make(Token::kChar, 7, start);
      case 'x':
        return Make(Token::kChar, Hex2Int(start), start);
      case '0': {
        int v = 0;
        for (int k = 0; k < 2 && Raw(m_I) >= '0' && Raw(m_I) <= '7'; ++k)
          v = v * 8 + (Raw(m_I++) - '0');
        return Make(Token::kChar, v, start);
      }
      default:
        break;
    }
    if (d >= '1' && d <= '9') {
      if (inSet) Fail("back-reference not allowed in a set", start);
      --m_I;
      Token t = Make(Token::kBackref, d, start);
      t.value = ReadDec(kMaxGroupNumber, start);
      return t;
    }
    if (IsAlnumChar(d)) Fail("unknown escape sequence", start);
    return Make(Token::kChar, d, start);
  }

  // After "\x": "{h...}" or up to two hex digits (none gives 0).
  int Hex2Int(size_t start) {
    int v = 0;
    if (Raw(m_I) == '{') {
      size_t j = m_I + 1;
      int digits = 0;
      while (HexValue(Raw(j)) >= 0) {
        v = v * 16 + HexValue(Raw(j++));
        if (v > 255) Fail("character code too large", start);
        ++digits;
      }
      if (digits == 0 || Raw(j) != '}') Fail("malformed \\x{...} escape", start);
      m_I = j + 1;
      return v;
    }
    for (int k = 0; k < 2 && HexValue(Raw(m_I)) >= 0; ++k) v = v * 16 + HexValue(Raw(m_I++));
    return v;
  }

  // Decimal digits at the raw position; fails when the number exceeds limit.
  int ReadDec(int limit, size_t errorPos) {
    long v = 0;
    while (IsDigitChar(Raw(m_I))) {
      v = v * 10 + (Raw(m_I++) - '0');
      if (v > limit) Fail("number too large", errorPos);
    }
    return static_cast<int>(v);
  }

  // ---- quantifiers ----

  // A "{n}", "{n,}" or "{n,m}" at raw offset i; fills min/max when valid.
  bool ParseBraces(size_t i, int& min, int& max, size_t& end) const {
    if (Raw(i) != '{') return false;
    size_t j = i + 1;
    long lo = 0, hi = 0;
    int digits = 0;
    while (IsDigitChar(Raw(j))) {
      lo = std::min(lo * 10 + (Raw(j++) - '0'), 1L << 40);
      ++digits;
    }
    if (digits == 0) return false;
    if (Raw(j) == '}') {
      hi = lo;
    } else if (Raw(j) == ',') {
      ++j;
      int hiDigits = 0;
      while (IsDigitChar(Raw(j))) {
        hi = std::min(hi * 10 + (Raw(j++) - '0'), 1L << 40);
        ++hiDigits;
      }
      if (hiDigits == 0) hi = -1;
      if (Raw(j) != '}') return false;
    } else {
      return false;
    }
    min = static_cast<int>(std::min(lo, 1L << 30));
    max = hi < 0 ? -1 : static_cast<int>(std::min(hi, 1L << 30));
    end = j;
    return true;
  }

  bool IsQuantifier(const Token& t) const {
    if (t.kind != Token::kMeta) return false;
    if (t.ch == '*' || t.ch == '+' || t.ch == '?') return true;
    int a, b;
    size_t e;
    return t.ch == '{' && ParseBraces(t.pos, a, b, e);
  }

  // ---- building ----

  template <class E, class... Args>
  E* New(Args&&... args) {
    return m_B.template Make<E>(std::forward<Args>(args)...);
  }

  ElxInterface* BuildAlternative(int depth) {
    if (depth > kMaxNesting) Fail("groups nest too deeply", m_Cur.pos);
    ElxInterface* first = BuildList(depth);
    if (!m_Cur.IsMeta('|')) return first;
    auto* alt = New<CAlternativeElxT<CharT>>();
    alt->Append(first);
    while (m_Cur.IsMeta('|')) {
      MoveNext();
      alt->Append(BuildList(depth));
    }
    return alt;
  }

  ElxInterface* BuildList(int depth) {
    auto* list = New<CListElxT<CharT>>();
    while (m_Cur.kind != Token::kEnd && !m_Cur.IsMeta(')') && !m_Cur.IsMeta('|')) {
      list->Append(BuildRepeat(depth));
    }
    return list;
  }

  ElxInterface* BuildRepeat(int depth) {
    const Token at = m_Cur;
    ElxInterface* item = BuildAtom(depth);
    if (!IsQuantifier(m_Cur)) return item;
    if (item->Kind() == ElxKind::kBoundary)
      Fail("quantifier does not follow a repeatable item", m_Cur.pos);
    int min = 0, max = -1;
    bool fixed = false;
    switch (m_Cur.ch) {
      case '*':
        break;
      case '+':
        min = 1;
        break;
      case '?':
        max = 1;
        break;
      default: {
        size_t end = 0;
        ParseBraces(m_Cur.pos, min, max, end);
        if (min > kMaxCount || max > kMaxCount)
          Fail("number too large in {} quantifier", m_Cur.pos);
        if (max >= 0 && min > max) Fail("numbers out of order in {} quantifier", m_Cur.pos);
        fixed = min == max;
        while (m_Cur.kind != Token::kEnd && m_Cur.pos < end) MoveNext();
        break;
      }
    }
    MoveNext();
    char mode = 'g';
    if (m_Cur.IsMeta('?')) {
      mode = 'r';
      MoveNext();
    } else if (m_Cur.IsMeta('+')) {
      mode = 'p';
      MoveNext();
    }
    if (IsQuantifier(m_Cur)) Fail("quantifier does not follow a repeatable item", m_Cur.pos);
    (void)at;
    if (fixed) return New<CRepeatElxT<CharT>>(item, min);
    if (mode == 'r') return New<CReluctantElxT<CharT>>(item, min, max);
    if (mode == 'p') return New<CPossessiveElxT<CharT>>(item, min, max);
    return New<CGreedyElxT<CharT>>(item, min, max);
  }

  ElxInterface* BuildAtom(int depth) {
    const Token t = m_Cur;
    switch (t.kind) {
      case Token::kChar:
        return BuildSimple();
      case Token::kClassEscape:
        MoveNext();
        return GetStockElx(t);
      case Token::kAssertEscape:
      case Token::kBackref:
        return t.kind == Token::kBackref ? BuildBackref() : BuildBoundary();
      case Token::kMeta:
        break;
      case Token::kEnd:
        Fail("unexpected end of pattern", t.pos);
    }
    switch (t.ch) {
      case '(':
        return BuildRecursive(depth);
      case '[':
        return BuildCharset();
      case '.': {
        MoveNext();
        CharSet all;
        all.set();
        if (!(m_Flags & kSingleLine)) all['\n'] = false;
        return New<CRangeElxT<CharT>>(all, ".");
      }
      case '^':
      case '$':
        return BuildBoundary();
      case '{':
        if (!IsQuantifier(t)) return BuildSimple();
        break;
      default:
        break;
    }
    Fail("quantifier does not follow a repeatable item", t.pos);
  }

  bool IsLiteral(const Token& t) const {
    return t.kind == Token::kChar || (t.IsMeta('{') && !IsQuantifier(t));
  }

  // A run of literal characters; the last one stays for a quantifier that
  // follows it.
  ElxInterface* BuildSimple() {
    std::basic_string<CharT> text;
    while (IsLiteral(m_Cur)) {
      if (!text.empty() && IsQuantifier(m_Next)) break;
      text += static_cast<CharT>(m_Cur.ch);
      MoveNext();
    }
    return New<CStringElxT<CharT>>(std::move(text),
                                   (m_Flags & (kIgnoreCase | kLiteralIgnoreCase)) != 0);
  }

  ElxInterface* GetStockElx(const Token& t) {
    std::string label = "\\";
    label += static_cast<char>(t.ch);
    return New<CRangeElxT<CharT>>(detail::StockClass(static_cast<char>(t.ch)), label);
  }

  ElxInterface* BuildBoundary() {
    const Token t = m_Cur;
    MoveNext();
    const bool multi = (m_Flags & kMultiline) != 0;
    BoundaryKind kind = BoundaryKind::kLineStart;
    if (t.kind == Token::kMeta) {
      kind = t.ch == '^' ? BoundaryKind::kLineStart : BoundaryKind::kLineEnd;
    } else {
      switch (t.ch) {
        case 'b':
          kind = BoundaryKind::kWord;
          break;
        case 'B':
          kind = BoundaryKind::kNotWord;
          break;
        case 'A':
          kind = BoundaryKind::kTextStart;
          break;
        case 'z':
          kind = BoundaryKind::kTextEnd;
          break;
        default:
          kind = BoundaryKind::kTextEndNl;
          break;
      }
    }
    return New<CBoundaryElxT<CharT>>(kind, multi);
  }

  ElxInterface* BuildBackref() {
    const Token t = m_Cur;
    MoveNext();
    auto* e = New<CBackrefElxT<CharT>>(t.value, (m_Flags & kIgnoreCase) != 0, t.pos);
    m_B.m_Backrefs.push_back(e);
    return e;
  }

  // At "[:" (meta "[" then meta ":"): the class name through ":]".
  void ReadClassName(std::string& name, bool& negated, CharSet& set) {
    const size_t pos = m_Cur.pos;
    MoveNext();  // "["
    MoveNext();  // ":"
    negated = false;
    if (m_Cur.IsChar('^')) {
      negated = true;
      MoveNext();
    }
    name.clear();
    while (m_Cur.kind == Token::kChar && m_Cur.ch != ':') {
      name += static_cast<char>(m_Cur.ch);
      MoveNext();
    }
    if (!m_Cur.IsChar(':')) Fail("malformed class name", pos);
    MoveNext();
    if (!m_Cur.IsMeta(']')) Fail("malformed class name", pos);
    MoveNext();
    if (!detail::LookupNamedClass(name + ":", set)) Fail("unknown class name", pos);
    if (m_Flags & kIgnoreCase) detail::AddOtherCase(set);
    if (negated) set.flip();
  }

  ElxInterface* BuildCharset() {
    const size_t open = m_Cur.pos;
    if (m_Next.IsMeta(':')) {
      std::string name;
      bool negated = false;
      CharSet set;
      ReadClassName(name, negated, set);
      return New<CPosixElxT<CharT>>(name, negated, set);
    }
    MoveNext();
    bool negated = false;
    if (m_Cur.IsMeta('^')) {
      negated = true;
      MoveNext();
    }
    CharSet set;
    for (;;) {
      if (m_Cur.kind == Token::kEnd) Fail("missing terminating ] for a set", open);
      if (m_Cur.IsMeta(']')) break;
      if (m_Cur.IsMeta('[')) {
        std::string name;
        bool neg = false;
        CharSet cls;
        ReadClassName(name, neg, cls);
        set |= cls;
        continue;
      }
      if (m_Cur.kind == Token::kClassEscape) {
        set |= detail::StockClass(static_cast<char>(m_Cur.ch));
        MoveNext();
        continue;
      }
      if (m_Cur.kind != Token::kChar && m_Cur.kind != Token::kMeta)
        Fail("invalid item in a set", m_Cur.pos);
      const int lo = m_Cur.ch;
      if (m_Next.IsChar('-')) {
        MoveNext();  // now at "-"
        if (m_Next.IsMeta(']')) {
          set[lo] = true;
          set['-'] = true;
          MoveNext();
          continue;
        }
        if (m_Next.kind != Token::kChar) Fail("invalid range in a set", m_Cur.pos);
        const int hi = m_Next.ch;
        if (hi < lo) Fail("range out of order in a set", m_Cur.pos);
        for (int c = lo; c <= hi; ++c) set[c] = true;
        MoveNext();
        MoveNext();
        continue;
      }
      set[lo] = true;
      MoveNext();
    }
    const size_t close = m_Cur.pos;
    MoveNext();
    if (m_Flags & kIgnoreCase) detail::AddOtherCase(set);
    if (negated) set.flip();
    std::string label;
    for (size_t i = open; i <= close; ++i) label += static_cast<char>(m_P[i]);
    return New<CRangeElxT<CharT>>(set, label);
  }

  void Expect(int meta, const char* message, size_t pos) {
    if (!m_Cur.IsMeta(meta)) Fail(message, pos);
    MoveNext();
  }

  // Groups and every "(?" form.
  ElxInterface* BuildRecursive(int depth) {
    const size_t open = m_Cur.pos;
    MoveNext();
    if (!m_Cur.IsMeta('?')) {
      if (m_GroupCount >= kMaxGroupNumber) Fail("too many groups", open);
      const int n = ++m_GroupCount;
      auto* group = New<CListElxT<CharT>>(n);
      if (static_cast<int>(m_B.m_Groups.size()) <= n) m_B.m_Groups.resize(n + 1, nullptr);
      m_B.m_Groups[n] = group;
      group->Append(New<CBracketElxT<CharT>>(n, true));
      group->Append(BuildAlternative(depth + 1));
      group->Append(New<CBracketElxT<CharT>>(n, false));
      Expect(')', "missing closing parenthesis", open);
      return group;
    }
    const size_t q = m_Cur.pos;  // the "?"
    const int c1 = Raw(q + 1);
    const int c2 = Raw(q + 2);
    ElxInterface* result = nullptr;
    if (c1 == '#') {
      size_t j = q + 2;
      while (j < m_N && Raw(j) != ')') ++j;
      if (j >= m_N) Fail("missing ) after a comment", open);
      ResyncAt(j + 1);
      return New<CEmptyElxT<CharT>>();
    }
    if (c1 == ':' || c1 == '=' || c1 == '!' || c1 == '>' ||
        (c1 == '<' && (c2 == '=' || c2 == '!'))) {
      MoveNext();  // "?"
      MoveNext();  // the form character
      if (c1 == '<') MoveNext();
      ElxInterface* body = BuildAlternative(depth + 1);
      if (c1 == ':') {
        result = body;
      } else if (c1 == '>') {
        result = New<CIndependentElxT<CharT>>(body);
      } else {
        const bool behind = c1 == '<';
        const bool negative = (behind ? c2 : c1) == '!';
        result = New<CAssertElxT<CharT>>(body, behind, negative);
      }
      Expect(')', "missing closing parenthesis", open);
      return result;
    }
    if (c1 == '(') {
      MoveNext();  // "?"
      MoveNext();  // "("
      if (m_Cur.kind != Token::kChar || !IsDigitChar(m_Cur.ch)) Fail("unsupported condition", q);
      long group = 0;
      while (m_Cur.kind == Token::kChar && IsDigitChar(m_Cur.ch)) {
        group = group * 10 + (m_Cur.ch - '0');
        if (group > kMaxGroupNumber) Fail("number too large", q);
        MoveNext();
      }
      Expect(')', "malformed condition", q);
      ElxInterface* body = BuildAlternative(depth + 1);
      ElxInterface* yes = body;
      ElxInterface* no = nullptr;
      if (body->Kind() == ElxKind::kAlternative) {
        auto* alt = static_cast<CAlternativeElxT<CharT>*>(body);
        if (alt->Branches().size() > 2) Fail("condition with more than two branches", open);
        yes = alt->Branches()[0];
        no = alt->Branches()[1];
      }
      auto* cond = New<CConditionElxT<CharT>>(static_cast<int>(group), yes, no, q);
      m_B.m_Conditions.push_back(cond);
      Expect(')', "missing closing parenthesis", open);
      return cond;
    }
    if (c1 == 'R' || c1 == '&' || IsDigitChar(c1) ||
        ((c1 == '+' || c1 == '-') && IsDigitChar(c2))) {
      Fail("recursion is not supported", q);
    }
    Fail("unsupported group syntax", q);
  }

  CBuilderT& m_B;
  const CharT* m_P;
  size_t m_N;
  int m_Flags;

  size_t m_I = 0;
  int m_Depth = 0;
  bool m_ClassColon = false;   // the next ":" opens a class name
  bool m_SetStart = false;     // a "]" now is an ordinary character
  bool m_AfterOpener = false;  // a "^" now negates the set
  Token m_Prev, m_Cur, m_Next;
  int m_GroupCount = 0;
};

// ---------------------------------------------------------------------------
// CBuilderT

template <class CharT>
template <class E, class... Args>
E* CBuilderT<CharT>::Make(Args&&... args) {
  auto owned = std::make_unique<E>(std::forward<Args>(args)...);
  E* raw = owned.get();
  m_Elements.push_back(std::move(owned));
  return raw;
}

template <class CharT>
CBuilderT<CharT>::CBuilderT() {
  Build(CBufferRefT<CharT>{nullptr, 0}, 0);
}

template <class CharT>
CBuilderT<CharT>::CBuilderT(CBufferRefT<CharT> pattern, int flags) {
  Build(pattern, flags);
}

template <class CharT>
CBuilderT<CharT>::CBuilderT(const CBuilderT& other) {
  Build(CBufferRefT<CharT>{other.m_Pattern.data(), other.m_Pattern.size()}, other.m_Flags);
}

template <class CharT>
CBuilderT<CharT>& CBuilderT<CharT>::operator=(const CBuilderT& other) {
  if (this != &other) {
    const std::basic_string<CharT> pattern = other.m_Pattern;
    Build(CBufferRefT<CharT>{pattern.data(), pattern.size()}, other.m_Flags);
  }
  return *this;
}

template <class CharT>
CBuilderT<CharT>::CBuilderT(CBuilderT&&) noexcept = default;
template <class CharT>
CBuilderT<CharT>& CBuilderT<CharT>::operator=(CBuilderT&&) noexcept = default;
template <class CharT>
CBuilderT<CharT>::~CBuilderT() = default;

template <class CharT>
void CBuilderT<CharT>::Reset() {
  m_Root = nullptr;
  m_Pattern.clear();
  m_Flags = 0;
  m_MaxGroup = 0;
  m_Groups.clear();
  m_Backrefs.clear();
  m_Conditions.clear();
  m_Elements.clear();
  m_Program.reset();
  m_QuickExact = detail::QuickReject();
  m_QuickSearch = detail::QuickReject();
}

template <class CharT>
void CBuilderT<CharT>::Build(CBufferRefT<CharT> pattern, int flags) {
  static_assert(sizeof(CharT) == 1, "the matcher works on 8-bit characters");
  Reset();
  if (pattern.data != nullptr) m_Pattern.assign(pattern.data, pattern.size);
  m_Flags = flags;
  m_Groups.push_back(nullptr);
  auto program = std::make_unique<detail::Program>();
  try {
    if (!m_Pattern.empty()) {
      Parser parser(*this, m_Pattern.data(), m_Pattern.size(), flags);
      m_Root = parser.Run();
    }
    m_Groups[0] = m_Root;
    detail::Compile(m_Root, flags, m_MaxGroup, *program);
  } catch (...) {
    Reset();
    throw;
  }
  m_QuickExact = detail::MakeQuickReject(*program, !program->rightToLeft);
  m_QuickSearch = detail::MakeQuickReject(*program, program->anchoredStart);
  m_Program = std::move(program);
}

template <class CharT>
std::string CBuilderT<CharT>::Dump() const {
  std::string out;
  if (m_Root == nullptr) return "Empty";
  m_Root->Dump(out);
  return out;
}

template <class CharT>
size_t CBuilderT<CharT>::MinLength() const {
  return m_Program ? m_Program->minLength : 0;
}

template class CListElxT<char>;
template class CAlternativeElxT<char>;
template class CRepeatBaseT<char>;
template class CStringElxT<char>;
template class CRangeElxT<char>;
template class CBracketElxT<char>;
template class CPosixElxT<char>;
template class CBoundaryElxT<char>;
template class CBackrefElxT<char>;
template class CConditionElxT<char>;
template class CAssertElxT<char>;
template class CIndependentElxT<char>;
template class CBuilderT<char>;

}  // namespace Regex
}  // namespace TLX
