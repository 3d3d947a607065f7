// Element tree to machine program, plus the facts used to reject texts early
// (minimum length, anchoring, literal prefix, first characters) and the
// straight-line form of simple sequences.
//
// Right-to-left code is the same tree emitted with sequences reversed and
// every consuming instruction reading leftwards; look-behind bodies are
// emitted that way inside left-to-right code.

#include <algorithm>
#include <cstring>

#include "CharClass.h"
#include "Program.h"
#include "TLX/Regex/Regex.h"

namespace TLX {
namespace Regex {
namespace detail {

const std::array<uint8_t, 256> kUpper = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return t;
}();

bool IsWordChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

namespace {

constexpr size_t kMaxInstructions = 100000;
constexpr size_t kLengthCap = size_t{1} << 40;

using List = CListElxT<char>;
using Alt = CAlternativeElxT<char>;
using RepeatBase = CRepeatBaseT<char>;
using String = CStringElxT<char>;
using Range = CRangeElxT<char>;
using Bracket = CBracketElxT<char>;
using Posix = CPosixElxT<char>;
using Boundary = CBoundaryElxT<char>;
using Backref = CBackrefElxT<char>;
using Condition = CConditionElxT<char>;
using Assert = CAssertElxT<char>;
using Independent = CIndependentElxT<char>;

bool IsRepeat(ElxKind k) {
  return k == ElxKind::kRepeat || k == ElxKind::kGreedy || k == ElxKind::kReluctant ||
         k == ElxKind::kPossessive;
}

size_t AddCap(size_t a, size_t b) { return std::min(a + b, kLengthCap); }

size_t MinLen(const ElxInterface* e) {
  if (e == nullptr) return 0;
  switch (e->Kind()) {
    case ElxKind::kList: {
      size_t n = 0;
      for (auto* i : static_cast<const List*>(e)->Items()) n = AddCap(n, MinLen(i));
      return n;
    }
    case ElxKind::kAlternative: {
      size_t n = kLengthCap;
      for (auto* b : static_cast<const Alt*>(e)->Branches()) n = std::min(n, MinLen(b));
      return n;
    }
    case ElxKind::kString:
      return static_cast<const String*>(e)->Text().size();
    case ElxKind::kRange:
    case ElxKind::kPosix:
      return 1;
    case ElxKind::kCondition: {
      auto* c = static_cast<const Condition*>(e);
      return std::min(MinLen(c->Yes()), MinLen(c->No()));
    }
    case ElxKind::kIndependent:
      return MinLen(static_cast<const Independent*>(e)->Item());
    default:
      break;
  }
  if (IsRepeat(e->Kind())) {
    auto* r = static_cast<const RepeatBase*>(e);
    const size_t one = MinLen(r->Item());
    if (one == 0 || r->Min() == 0) return 0;
    return std::min(kLengthCap, one * static_cast<size_t>(r->Min()));
  }
  return 0;
}

bool Nullable(const ElxInterface* e) { return MinLen(e) == 0; }

bool UsesCaptureState(const ElxInterface* e) {
  if (e == nullptr) return false;
  switch (e->Kind()) {
    case ElxKind::kBackref:
    case ElxKind::kCondition:
      return true;
    case ElxKind::kList:
      for (auto* i : static_cast<const List*>(e)->Items())
        if (UsesCaptureState(i)) return true;
      return false;
    case ElxKind::kAlternative:
      for (auto* b : static_cast<const Alt*>(e)->Branches())
        if (UsesCaptureState(b)) return true;
      return false;
    case ElxKind::kAssert:
      return UsesCaptureState(static_cast<const Assert*>(e)->Item());
    case ElxKind::kIndependent:
      return UsesCaptureState(static_cast<const Independent*>(e)->Item());
    default:
      break;
  }
  if (IsRepeat(e->Kind())) return UsesCaptureState(static_cast<const RepeatBase*>(e)->Item());
  return false;
}

// The set of one-character elements; false for anything else.
bool SingleChar(const ElxInterface* e, CharSet& set) {
  switch (e->Kind()) {
    case ElxKind::kRange:
      set = static_cast<const Range*>(e)->Set();
      return true;
    case ElxKind::kPosix:
      set = static_cast<const Posix*>(e)->Set();
      return true;
    case ElxKind::kString: {
      auto* s = static_cast<const String*>(e);
      if (s->Text().size() != 1) return false;
      set.reset();
      set[static_cast<unsigned char>(s->Text()[0])] = true;
      if (s->FoldCase()) AddOtherCase(set);
      return true;
    }
    case ElxKind::kList: {
      auto* l = static_cast<const List*>(e);
      if (l->Group() != 0 || l->Items().size() != 1) return false;
      return SingleChar(l->Items()[0], set);
    }
    default:
      return false;
  }
}

// Adds the characters a match of e can start with; returns whether e can
// match the empty text (then what follows e may supply the first character).
bool First(const ElxInterface* e, CharSet& set) {
  if (e == nullptr) return true;
  switch (e->Kind()) {
    case ElxKind::kList:
      for (auto* i : static_cast<const List*>(e)->Items())
        if (!First(i, set)) return false;
      return true;
    case ElxKind::kAlternative: {
      bool nullable = false;
      for (auto* b : static_cast<const Alt*>(e)->Branches()) nullable |= First(b, set);
      return nullable;
    }
    case ElxKind::kString: {
      auto* s = static_cast<const String*>(e);
      if (s->Text().empty()) return true;
      CharSet one;
      one[static_cast<unsigned char>(s->Text()[0])] = true;
      if (s->FoldCase()) AddOtherCase(one);
      set |= one;
      return false;
    }
    case ElxKind::kRange:
    case ElxKind::kPosix: {
      CharSet one;
      SingleChar(e, one);
      set |= one;
      return false;
    }
    case ElxKind::kBackref:
      set.set();
      return true;
    case ElxKind::kCondition: {
      auto* c = static_cast<const Condition*>(e);
      const bool a = First(c->Yes(), set);
      const bool b = First(c->No(), set);
      return a || b;
    }
    case ElxKind::kIndependent:
      return First(static_cast<const Independent*>(e)->Item(), set);
    default:
      break;
  }
  if (IsRepeat(e->Kind())) {
    auto* r = static_cast<const RepeatBase*>(e);
    const bool nullable = First(r->Item(), set);
    return nullable || r->Min() == 0;
  }
  return true;  // brackets, boundaries, assertions, empty
}

bool StartsAnchored(const ElxInterface* e) {
  if (e == nullptr) return false;
  switch (e->Kind()) {
    case ElxKind::kList:
      for (auto* i : static_cast<const List*>(e)->Items()) {
        if (i->Kind() == ElxKind::kBracket) continue;
        return StartsAnchored(i);
      }
      return false;
    case ElxKind::kAlternative:
      for (auto* b : static_cast<const Alt*>(e)->Branches())
        if (!StartsAnchored(b)) return false;
      return true;
    case ElxKind::kBoundary: {
      auto* b = static_cast<const Boundary*>(e);
      return b->Boundary() == BoundaryKind::kTextStart ||
             (b->Boundary() == BoundaryKind::kLineStart && !b->Multiline());
    }
    default:
      return false;
  }
}

// Appends the literal text every match starts with; returns true when e was
// consumed entirely (so that what follows may extend the prefix).
bool Prefix(const ElxInterface* e, std::string& out) {
  switch (e->Kind()) {
    case ElxKind::kList:
      for (auto* i : static_cast<const List*>(e)->Items())
        if (!Prefix(i, out)) return false;
      return true;
    case ElxKind::kBracket:
      return true;
    case ElxKind::kBoundary: {
      auto* b = static_cast<const Boundary*>(e);
      return out.empty() && (b->Boundary() == BoundaryKind::kTextStart ||
                             (b->Boundary() == BoundaryKind::kLineStart && !b->Multiline()));
    }
    case ElxKind::kString:
      out += static_cast<const String*>(e)->Text();
      return true;
    default:
      return false;
  }
}

class Compiler {
 public:
  explicit Compiler(Program& p) : m_P(p) {}

  void EmitRoot(const ElxInterface* root, bool exact, Code& code) {
    m_Code = &code;
    m_Region = 0;
    const bool back = m_P.rightToLeft;
    if (root) Emit(root, back);
    if (exact) Push(Inst{back ? kOpTextStart : kOpTextEnd, 0, 0});
    Push(Inst{kOpMatch, 0, 0});
    code.memoSlot.assign(code.insts.size(), -1);
    code.memoGuardStart.assign(1, 0);
    for (size_t pc = 0; pc < code.insts.size(); ++pc) {
      if (m_MemoPoint.size() > pc && m_MemoPoint[pc]) {
        code.memoSlot[pc] = code.memoRows++;
        const std::vector<int32_t>& guards = m_MemoGuards[pc];
        code.memoGuard.insert(code.memoGuard.end(), guards.begin(), guards.end());
        code.memoGuardStart.push_back(static_cast<int32_t>(code.memoGuard.size()));
      }
    }
    m_MemoPoint.clear();
    m_MemoGuards.clear();
  }

  int SetIndex(const CharSet& set) {
    ByteSet b;
    for (int c = 0; c < 256; ++c) b.has[c] = set[c];
    CharSet all;
    all.set();
    CharSet dot = all;
    dot['\n'] = false;
    if (set == all) b.special = ByteSet::kAll;
    if (set == dot) b.special = ByteSet::kAllButNewline;
    for (size_t i = 0; i < m_P.sets.size(); ++i) {
      if (m_P.sets[i].has == b.has) return static_cast<int>(i);
    }
    m_P.sets.push_back(b);
    return static_cast<int>(m_P.sets.size() - 1);
  }

  int StringIndex(const std::string& s, bool fold) {
    std::string stored = s;
    if (fold)
      for (char& c : stored) c = static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
    const size_t at = m_P.strings.size();
    m_P.strings += stored;
    return static_cast<int>(at);
  }

 private:
  size_t Pc() const { return m_Code->insts.size(); }

  size_t Push(Inst in, bool memoPoint = false) {
    if (m_Code->insts.size() >= kMaxInstructions) throw pattern_error("pattern too large", 0);
    m_Code->insts.push_back(in);
    m_MemoPoint.resize(m_Code->insts.size(), false);
    m_MemoPoint.back() = memoPoint && m_Region == 0;
    m_MemoGuards.resize(m_Code->insts.size());
    if (m_MemoPoint.back()) m_MemoGuards.back() = m_Nullable;
    return m_Code->insts.size() - 1;
  }

  static Inst I(uint8_t op, bool back = false, int32_t a = 0, int32_t b = 0, int32_t c = 0,
                uint8_t kind = 0) {
    Inst in{op, static_cast<uint8_t>(back), kind};
    in.a = a;
    in.b = b;
    in.c = c;
    return in;
  }

  void Emit(const ElxInterface* e, bool back) {
    switch (e->Kind()) {
      case ElxKind::kList: {
        const auto& items = static_cast<const List*>(e)->Items();
        if (back) {
          for (auto it = items.rbegin(); it != items.rend(); ++it) Emit(*it, back);
        } else {
          for (auto* i : items) Emit(i, back);
        }
        return;
      }
      case ElxKind::kBracket: {
        auto* b = static_cast<const Bracket*>(e);
        Push(I(b->IsOpen() != back ? kOpOpen : kOpClose, back, b->Group()));
        return;
      }
      case ElxKind::kString: {
        auto* s = static_cast<const String*>(e);
        const std::string& t = s->Text();
        if (t.empty()) return;
        if (t.size() == 1) {
          const unsigned char c = static_cast<unsigned char>(t[0]);
          const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
          if (s->FoldCase() && letter) {
            Push(I(kOpCharFold, back, kUpper[c]));
          } else {
            Push(I(kOpChar, back, c));
          }
          return;
        }
        Push(I(s->FoldCase() ? kOpStringFold : kOpString, back, StringIndex(t, s->FoldCase()),
               static_cast<int32_t>(t.size())));
        return;
      }
      case ElxKind::kRange:
      case ElxKind::kPosix: {
        CharSet set;
        SingleChar(e, set);
        Push(I(kOpSet, back, SetIndex(set)));
        return;
      }
      case ElxKind::kBoundary:
        EmitBoundary(static_cast<const Boundary*>(e));
        return;
      case ElxKind::kBackref: {
        auto* r = static_cast<const Backref*>(e);
        Push(I(r->FoldCase() ? kOpBackrefFold : kOpBackref, back, r->Group()));
        return;
      }
      case ElxKind::kAlternative:
        EmitAlternative(static_cast<const Alt*>(e)->Branches(), back);
        return;
      case ElxKind::kCondition: {
        auto* c = static_cast<const Condition*>(e);
        const size_t cond = Push(I(kOpCond, back, c->Group()));
        Emit(c->Yes(), back);
        const size_t jmp = Push(I(kOpJmp, back));
        m_Code->insts[cond].b = static_cast<int32_t>(Pc());
        if (c->No()) Emit(c->No(), back);
        m_Code->insts[jmp].a = static_cast<int32_t>(Pc());
        return;
      }
      case ElxKind::kAssert: {
        auto* a = static_cast<const Assert*>(e);
        const size_t at = Push(I(kOpAssert, back, 0, 0, 0, a->Negative() ? 1 : 0));
        ++m_Region;
        Emit(a->Item(), a->Behind());
        Push(I(kOpAssertEnd, back));
        --m_Region;
        m_Code->insts[at].a = static_cast<int32_t>(Pc());
        return;
      }
      case ElxKind::kIndependent:
        Push(I(kOpAtomic, back));
        ++m_Region;
        Emit(static_cast<const Independent*>(e)->Item(), back);
        --m_Region;
        Push(I(kOpAtomicEnd, back));
        return;
      case ElxKind::kEmpty:
        return;
      default:
        break;
    }
    EmitRepeat(static_cast<const RepeatBase*>(e), back);
  }

  void EmitBoundary(const Boundary* b) {
    const bool m = b->Multiline();
    uint8_t op = kOpLineStart;
    switch (b->Boundary()) {
      case BoundaryKind::kLineStart:
        op = m ? kOpLineStartM : kOpLineStart;
        break;
      case BoundaryKind::kLineEnd:
        op = m ? kOpLineEndM : kOpLineEnd;
        break;
      case BoundaryKind::kTextStart:
        op = kOpTextStart;
        break;
      case BoundaryKind::kTextEnd:
        op = kOpTextEnd;
        break;
      case BoundaryKind::kTextEndNl:
        op = kOpTextEndNl;
        break;
      case BoundaryKind::kWord:
        op = kOpWord;
        break;
      case BoundaryKind::kNotWord:
        op = kOpNotWord;
        break;
    }
    Push(I(op));
  }

  void EmitAlternative(const std::vector<ElxInterface*>& branches, bool back) {
    std::vector<size_t> jumps;
    for (size_t i = 0; i + 1 < branches.size(); ++i) {
      const size_t split = Push(I(kOpSplit, back), true);
      m_Code->insts[split].a = static_cast<int32_t>(Pc());
      Emit(branches[i], back);
      jumps.push_back(Push(I(kOpJmp, back)));
      m_Code->insts[split].b = static_cast<int32_t>(Pc());
    }
    Emit(branches.back(), back);
    for (size_t j : jumps) m_Code->insts[j].a = static_cast<int32_t>(Pc());
  }

  void EmitRepeat(const RepeatBase* r, bool back) {
    const ElxKind kind = r->Kind();
    const int min = r->Min();
    const int max = r->Max();
    CharSet set;
    if (SingleChar(r->Item(), set)) {
      uint8_t rk = kRepGreedy;
      if (kind == ElxKind::kReluctant) rk = kRepLazy;
      if (kind == ElxKind::kPossessive) rk = kRepPossessive;
      const bool variable = max != min && rk != kRepPossessive;
      Push(I(kOpRep, back, SetIndex(set), min, max, rk), variable);
      return;
    }
    if (kind == ElxKind::kPossessive) {
      Push(I(kOpAtomic, back));
      ++m_Region;
      EmitLoop(r->Item(), min, max, false, back);
      --m_Region;
      Push(I(kOpAtomicEnd, back));
      return;
    }
    EmitLoop(r->Item(), min, max, kind == ElxKind::kReluctant, back);
  }

  void EmitLoop(const ElxInterface* item, int min, int max, bool lazy, bool back) {
    for (int i = 0; i < min; ++i) Emit(item, back);
    if (max == min) return;
    if (max < 0) {
      const bool nullable = Nullable(item);
      const size_t head = Push(I(kOpSplit, back), true);
      const size_t body = Pc();
      int reg = -1;
      if (nullable) {
        reg = m_P.registers++;
        Push(I(kOpMark, back, reg));
        m_Nullable.push_back(reg);  // guards the memo points of the body
      }
      Emit(item, back);
      if (nullable) {
        m_Nullable.pop_back();
        Push(I(kOpCheck, back, reg, static_cast<int32_t>(head)));
      } else {
        Push(I(kOpJmp, back, static_cast<int32_t>(head)));
      }
      const size_t exit = Pc();
      m_Code->insts[head].a = static_cast<int32_t>(lazy ? exit : body);
      m_Code->insts[head].b = static_cast<int32_t>(lazy ? body : exit);
      return;
    }
    std::vector<size_t> splits;
    for (int i = min; i < max; ++i) {
      const size_t split = Push(I(kOpSplit, back), true);
      splits.push_back(split);
      m_Code->insts[split].a = static_cast<int32_t>(Pc());  // body (patched for lazy below)
      Emit(item, back);
    }
    const size_t exit = Pc();
    for (size_t s : splits) {
      Inst& in = m_Code->insts[s];
      const int32_t body = in.a;
      in.a = static_cast<int32_t>(lazy ? exit : body);
      in.b = static_cast<int32_t>(lazy ? body : exit);
    }
  }

  Program& m_P;
  Code* m_Code = nullptr;
  int m_Region = 0;
  std::vector<bool> m_MemoPoint;
  // Registers of the loops with a body that can match nothing around the
  // point being emitted, and for each memo point those around it.
  std::vector<int32_t> m_Nullable;
  std::vector<std::vector<int32_t>> m_MemoGuards;
};

// ---- straight-line form ----

bool Flatten(const ElxInterface* e, Compiler& c, std::vector<LinOp>& ops) {
  switch (e->Kind()) {
    case ElxKind::kList:
      for (auto* i : static_cast<const List*>(e)->Items())
        if (!Flatten(i, c, ops)) return false;
      return true;
    case ElxKind::kBracket: {
      auto* b = static_cast<const Bracket*>(e);
      LinOp op{b->IsOpen() ? LinOp::kOpen : LinOp::kClose};
      op.a = b->Group();
      ops.push_back(op);
      return true;
    }
    case ElxKind::kString: {
      auto* s = static_cast<const String*>(e);
      if (s->Text().empty()) return true;
      LinOp op{LinOp::kLit};
      op.fold = s->FoldCase();
      op.a = c.StringIndex(s->Text(), s->FoldCase());
      op.b = static_cast<int32_t>(s->Text().size());
      ops.push_back(op);
      return true;
    }
    case ElxKind::kRange:
    case ElxKind::kPosix: {
      CharSet set;
      SingleChar(e, set);
      LinOp op{LinOp::kSet};
      op.a = c.SetIndex(set);
      ops.push_back(op);
      return true;
    }
    case ElxKind::kBoundary: {
      auto* b = static_cast<const Boundary*>(e);
      LinOp op{LinOp::kLineStart};
      if (b->Boundary() == BoundaryKind::kTextStart ||
          (b->Boundary() == BoundaryKind::kLineStart && !b->Multiline())) {
        op.kind = LinOp::kLineStart;
      } else if (b->Boundary() == BoundaryKind::kTextEnd ||
                 (b->Boundary() == BoundaryKind::kLineEnd && !b->Multiline())) {
        op.kind = LinOp::kLineEnd;
      } else {
        return false;
      }
      ops.push_back(op);
      return true;
    }
    case ElxKind::kEmpty:
      return true;
    case ElxKind::kRepeat:
    case ElxKind::kGreedy:
    case ElxKind::kPossessive: {
      auto* r = static_cast<const RepeatBase*>(e);
      CharSet set;
      if (!SingleChar(r->Item(), set)) return false;
      LinOp op{LinOp::kRun};
      op.fold = e->Kind() == ElxKind::kPossessive;  // no giving back
      op.a = c.SetIndex(set);
      op.b = r->Min();
      op.c = r->Max();
      ops.push_back(op);
      return true;
    }
    default:
      return false;
  }
}

// Whether the first path is the only path that can succeed.
bool OnePass(const Program& p, bool exact) {
  const auto& ops = p.linear;
  for (size_t i = 0; i < ops.size(); ++i) {
    const LinOp& run = ops[i];
    if (run.kind != LinOp::kRun || run.fold || run.b == run.c) continue;
    CharSet follow;
    bool reachedEnd = true;
    for (size_t j = i + 1; j < ops.size() && reachedEnd; ++j) {
      const LinOp& op = ops[j];
      switch (op.kind) {
        case LinOp::kLit: {
          const unsigned char ch = static_cast<unsigned char>(p.strings[op.a]);
          follow[ch] = true;
          if (op.fold) follow[ch >= 'A' && ch <= 'Z' ? ch + 32 : ch] = true;
          reachedEnd = false;
          break;
        }
        case LinOp::kSet:
          for (int ch = 0; ch < 256; ++ch) follow[ch] = follow[ch] || p.sets[op.a].has[ch];
          reachedEnd = false;
          break;
        case LinOp::kRun:
          for (int ch = 0; ch < 256; ++ch) follow[ch] = follow[ch] || p.sets[op.a].has[ch];
          if (op.b > 0) reachedEnd = false;
          break;
        case LinOp::kOpen:
        case LinOp::kClose:
          break;
        case LinOp::kLineStart:
          return false;
        case LinOp::kLineEnd:
          reachedEnd = false;
          break;
      }
    }
    if (reachedEnd && !exact) continue;  // the rest matches empty: first path succeeds
    for (int ch = 0; ch < 256; ++ch)
      if (follow[ch] && p.sets[run.a].has[ch]) return false;
  }
  return true;
}

}  // namespace

QuickReject MakeQuickReject(const Program& p, bool atStart) {
  QuickReject q;
  q.minLength = p.minLength;
  if (!atStart || p.rightToLeft) return q;
  const size_t n = std::min<size_t>(p.prefix.size(), 16);
  unsigned char orBytes[16] = {}, cmpBytes[16] = {}, valueBytes[16] = {};
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p.prefix[i]);  // upper case when folded
    const bool letter = c >= 'A' && c <= 'Z';
    cmpBytes[i] = 0xff;
    if (p.prefixFold && letter) {
      orBytes[i] = 0x20;
      valueBytes[i] = static_cast<unsigned char>(c | 0x20);
    } else {
      valueBytes[i] = c;
    }
  }
  std::memcpy(q.orMask, orBytes, 16);
  std::memcpy(q.cmpMask, cmpBytes, 16);
  std::memcpy(q.value, valueBytes, 16);
  q.prefixBytes = n;
  return q;
}

void Compile(const ElxInterface* root, int flags, int maxGroup, Program& p) {
  p = Program();
  p.groups = maxGroup;
  p.rightToLeft = (flags & kRightToLeft) != 0;
  p.memoOk = !UsesCaptureState(root);
  p.minLength = MinLen(root);
  Compiler c(p);
  c.EmitRoot(root, false, p.search);
  c.EmitRoot(root, true, p.exact);
  if (p.rightToLeft || root == nullptr) return;

  p.anchoredStart = StartsAnchored(root);
  std::string prefix;
  Prefix(root, prefix);
  p.prefixFold = (flags & (kIgnoreCase | kLiteralIgnoreCase)) != 0;
  if (p.prefixFold)
    for (char& ch : prefix) ch = static_cast<char>(kUpper[static_cast<unsigned char>(ch)]);
  p.prefix = prefix;
  CharSet first;
  if (!First(root, first) && !first.all()) {
    p.firstUseful = true;
    for (int ch = 0; ch < 256; ++ch) p.first.has[ch] = first[ch];
  }

  std::vector<LinOp> ops;
  if (Flatten(root, c, ops)) {
    p.hasLinear = true;
    p.linear = std::move(ops);
    p.onePassExact = OnePass(p, true);
    p.onePassSearch = OnePass(p, false);
  }
}

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
