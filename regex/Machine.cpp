#include "Machine.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TLX {
namespace Regex {
namespace detail {
namespace {

enum FrameKind : int32_t {
  kFrameAlt,          // resume at pc, pos
  kFrameRepGreedy,    // pc = repetition, pos = end of run, a = count
  kFrameRepLazy,      // pc = repetition, pos = end of run, a = count
  kFrameUndoCapture,  // pc = group, a / b = previous offsets
  kFrameUndoPending,  // pc = group, a = previous start
  kFrameUndoReg,      // pc = register, a = previous value
  kFrameMarker,       // pc = kOpAtomic / kOpAssert, pos = position there
};

bool IsUndo(int32_t kind) {
  return kind == kFrameUndoCapture || kind == kFrameUndoPending || kind == kFrameUndoReg;
}

constexpr uint64_t kMemoBitsCap = uint64_t{1} << 28;  // 32 MiB of memo at most

// Next offset >= from where the upper-cased text starts with `prefix` (upper
// case), or -1. Candidates are found by the first two prefix bytes.
int64_t FindFolded(const unsigned char* s, int64_t len, int64_t from, int64_t last,
                   const std::string& prefix) {
  const int64_t n = static_cast<int64_t>(prefix.size());
  const unsigned char* lit = reinterpret_cast<const unsigned char*>(prefix.data());
  auto verify = [&](int64_t i) {
    for (int64_t k = 0; k < n; ++k)
      if (kUpper[s[i + k]] != lit[k]) return false;
    return true;
  };
  int64_t i = from;
#if defined(__SSE2__)
  if (n >= 2) {
    // A byte b equals an upper-case letter L after folding exactly when
    // (b | 0x20) == (L | 0x20); other bytes must be equal.
    auto lane = [](unsigned char c) {
      const bool letter = c >= 'A' && c <= 'Z';
      return std::make_pair(static_cast<char>(letter ? 0x20 : 0),
                            static_cast<char>(letter ? c | 0x20 : c));
    };
    const auto l0 = lane(lit[0]);
    const auto l1 = lane(lit[1]);
    const __m128i or0 = _mm_set1_epi8(l0.first), want0 = _mm_set1_epi8(l0.second);
    const __m128i or1 = _mm_set1_epi8(l1.first), want1 = _mm_set1_epi8(l1.second);
    while (i + 17 <= len && i <= last) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
      const __m128i eq = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, or0), want0),
                                       _mm_cmpeq_epi8(_mm_or_si128(b, or1), want1));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(eq));
      while (mask != 0) {
        const int64_t at = i + __builtin_ctz(mask);
        if (at > last) return -1;
        if (verify(at)) return at;
        mask &= mask - 1;
      }
      i += 16;
    }
  }
#endif
  for (; i <= last; ++i)
    if (kUpper[s[i]] == lit[0] && verify(i)) return i;
  return -1;
}

}  // namespace

CContext& Machine::ThreadContext() {
  static thread_local CContext context;
  return context;
}

Machine::Machine(const Program& p, CContext& c, const unsigned char* s, int64_t len)
    : m_P(p), m_C(c), m_S(s), m_Len(len) {
  const uint64_t perChar = c.m_StepsPerChar;
  const uint64_t chars = static_cast<uint64_t>(len) + 1;
  uint64_t budget = c.m_StepBase;
  const uint64_t cap = static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 2);
  if (perChar != 0 && chars > (cap - budget) / perChar) {
    budget = cap;
  } else {
    budget = std::min(cap, budget + perChar * chars);
  }
  m_Budget = budget;
  m_Left = static_cast<int64_t>(budget);
  m_MemoAfter = c.m_MemoAfter == CContext::kMemoAfterDefault ? 1024 + 2 * chars : c.m_MemoAfter;
  c.m_Exhausted = false;
  const size_t groups = static_cast<size_t>(p.groups) + 1;
  c.m_Slots.resize(2 * groups);
  c.m_Pending.resize(groups);
  c.m_Regs.resize(static_cast<size_t>(p.registers));
}

Machine::~Machine() {
  m_C.m_StepsUsed = m_Budget - static_cast<uint64_t>(std::max<int64_t>(m_Left, 0));
  m_C.m_Exhausted = m_Exhausted;
  // Keep a warm context small after an unusually large match.
  constexpr size_t kKeepFrames = 1 << 16;
  if (m_C.m_Stack.capacity() > kKeepFrames) {
    m_C.m_Stack.clear();
    m_C.m_Stack.shrink_to_fit();
  }
  if (m_MemoOn && m_C.m_Memo.capacity() > (1 << 16)) {
    m_C.m_Memo.clear();
    m_C.m_Memo.shrink_to_fit();
  }
}

bool Machine::PushFrame(int32_t kind, int32_t pc, int64_t pos, int64_t a, int64_t b) {
  auto& st = m_C.m_Stack;
  if (st.size() >= m_C.m_MaxFrames) return false;
  st.push_back(Frame{kind, pc, pos, a, b});
  return true;
}

void Machine::ActivateMemo(const Code& code) {
  if (!m_P.memoOk || code.memoRows == 0) return;
  const uint64_t bits = static_cast<uint64_t>(code.memoRows) * static_cast<uint64_t>(m_Len + 1);
  if (bits > kMemoBitsCap) return;
  m_C.m_Memo.assign((bits + 63) / 64, 0);
  m_MemoOn = true;
}

bool Machine::Seen(const Code& code, int32_t pc, int64_t pos) {
  if (!m_MemoOn) return false;
  const int32_t row = code.memoSlot[pc];
  if (row < 0) return false;
  for (int32_t g = code.memoGuardStart[row]; g < code.memoGuardStart[row + 1]; ++g) {
    if (m_C.m_Regs[code.memoGuard[g]] == pos) return false;
  }
  const uint64_t bit =
      static_cast<uint64_t>(row) * static_cast<uint64_t>(m_Len + 1) + static_cast<uint64_t>(pos);
  uint64_t& word = m_C.m_Memo[bit >> 6];
  const uint64_t mask = uint64_t{1} << (bit & 63);
  if (word & mask) return true;
  word |= mask;
  return false;
}

int64_t Machine::ScanForward(const ByteSet& set, int64_t pos, int64_t max) const {
  int64_t limit = m_Len - pos;
  if (max >= 0 && max < limit) limit = max;
  switch (set.special) {
    case ByteSet::kAll:
      return limit;
    case ByteSet::kAllButNewline: {
      const void* nl = std::memchr(m_S + pos, '\n', static_cast<size_t>(limit));
      return nl ? static_cast<const unsigned char*>(nl) - (m_S + pos) : limit;
    }
    default: {
      const unsigned char* p = m_S + pos;
      int64_t n = 0;
      while (n < limit && set.has[p[n]]) ++n;
      return n;
    }
  }
}

int64_t Machine::ScanBackward(const ByteSet& set, int64_t pos, int64_t max) const {
  int64_t limit = pos;
  if (max >= 0 && max < limit) limit = max;
  int64_t n = 0;
  while (n < limit && set.has[m_S[pos - 1 - n]]) ++n;
  return n;
}

size_t Machine::FindMarker() const {
  const auto& st = m_C.m_Stack;
  size_t i = st.size();
  while (i > 0 && st[i - 1].kind != kFrameMarker) --i;
  return i - 1;  // an open marker always exists here
}

void Machine::Fill(MatchResultT& out, int64_t start, int64_t end) const {
  out.Reset(m_P.groups);
  int64_t* w = out.MutableData();
  w[2] = std::min(start, end);
  w[3] = std::max(start, end);
  for (int g = 1; g <= m_P.groups; ++g) {
    w[2 + 2 * g] = m_C.m_Slots[2 * g];
    w[3 + 2 * g] = m_C.m_Slots[2 * g + 1];
  }
}

// Pops frames until one offers another way; false when none is left or the
// budget ran out.
bool Machine::Backtrack(const Code& code, int32_t& pc, int64_t& pos) {
  auto& st = m_C.m_Stack;
  const Inst* insts = code.insts.data();
  if (++m_Backtracks == m_MemoAfter) ActivateMemo(code);
  while (!st.empty()) {
    if (--m_Left < 0) {
      m_Exhausted = true;
      return false;
    }
    Frame& f = st.back();
    switch (f.kind) {
      case kFrameAlt:
        pc = f.pc;
        pos = f.pos;
        st.pop_back();
        return true;
      case kFrameUndoCapture:
        m_C.m_Slots[2 * f.pc] = f.a;
        m_C.m_Slots[2 * f.pc + 1] = f.b;
        st.pop_back();
        break;
      case kFrameUndoPending:
        m_C.m_Pending[f.pc] = f.a;
        st.pop_back();
        break;
      case kFrameUndoReg:
        m_C.m_Regs[f.pc] = f.a;
        st.pop_back();
        break;
      case kFrameMarker: {
        const Inst& at = insts[f.pc];
        const bool negative = at.op == kOpAssert && at.kind == 1;
        const int64_t saved = f.pos;
        st.pop_back();
        if (negative) {  // the body failed: the assertion holds
          pc = at.a;
          pos = saved;
          return true;
        }
        break;
      }
      case kFrameRepGreedy: {
        const int32_t rep = f.pc;
        const Inst& in = insts[rep];
        int64_t count = f.a - 1;
        int64_t p = in.back ? f.pos + 1 : f.pos - 1;
        const Inst& next = insts[rep + 1];
        if (next.op == kOpChar && next.back == in.back) {
          // Only positions where the literal that follows can match.
          const unsigned char want = static_cast<unsigned char>(next.a);
          if (!in.back) {
            while (count > in.b && m_S[p] != want) --count, --p, --m_Left;
          } else {
            while (count > in.b && m_S[p - 1] != want) --count, ++p, --m_Left;
          }
        }
        if (count <= in.b) {
          st.pop_back();
        } else {
          f.a = count;
          f.pos = p;
        }
        if (Seen(code, rep, p)) break;
        pc = rep + 1;
        pos = p;
        return true;
      }
      case kFrameRepLazy: {
        const int32_t rep = f.pc;
        const Inst& in = insts[rep];
        const ByteSet& set = m_P.sets[in.a];
        const int64_t p = f.pos;
        const bool more = in.c < 0 || f.a < in.c;
        const bool ok = in.back ? (p > 0 && set.has[m_S[p - 1]]) : (p < m_Len && set.has[m_S[p]]);
        if (!more || !ok) {
          st.pop_back();
          break;
        }
        f.a += 1;
        f.pos = in.back ? p - 1 : p + 1;
        if (Seen(code, rep, f.pos)) break;
        pc = rep + 1;
        pos = f.pos;
        return true;
      }
    }
  }
  return false;
}

Machine::Outcome Machine::Run(const Code& code, int64_t start, int64_t* end) {
  auto& st = m_C.m_Stack;
  st.clear();
  std::fill(m_C.m_Slots.begin(), m_C.m_Slots.end(), -1);
  std::fill(m_C.m_Pending.begin(), m_C.m_Pending.end(), -1);
  std::fill(m_C.m_Regs.begin(), m_C.m_Regs.end(), -1);
  const Inst* insts = code.insts.data();
  const unsigned char* s = m_S;
  const int64_t len = m_Len;
  int32_t pc = 0;
  int64_t pos = start;
  if (m_MemoAfter == 0 && !m_MemoOn) ActivateMemo(code);

#define TLX_FAIL                                                               \
  do {                                                                         \
    if (!Backtrack(code, pc, pos)) return m_Exhausted ? kExhausted : kNoMatch; \
    goto next;                                                                 \
  } while (0)
#define TLX_PUSH(...)              \
  do {                             \
    if (!PushFrame(__VA_ARGS__)) { \
      m_Exhausted = true;          \
      return kExhausted;           \
    }                              \
  } while (0)

  for (;;) {
  next:
    if (--m_Left < 0) {
      m_Exhausted = true;
      return kExhausted;
    }
    const Inst& in = insts[pc];
    switch (in.op) {
      case kOpChar:
        if (in.back) {
          if (pos > 0 && s[pos - 1] == static_cast<unsigned char>(in.a)) {
            --pos;
            ++pc;
            continue;
          }
        } else if (pos < len && s[pos] == static_cast<unsigned char>(in.a)) {
          ++pos;
          ++pc;
          continue;
        }
        TLX_FAIL;
      case kOpCharFold:
        if (in.back) {
          if (pos > 0 && kUpper[s[pos - 1]] == in.a) {
            --pos;
            ++pc;
            continue;
          }
        } else if (pos < len && kUpper[s[pos]] == in.a) {
          ++pos;
          ++pc;
          continue;
        }
        TLX_FAIL;
      case kOpString:
      case kOpStringFold: {
        const int64_t n = in.b;
        const unsigned char* lit =
            reinterpret_cast<const unsigned char*>(m_P.strings.data()) + in.a;
        const int64_t from = in.back ? pos - n : pos;
        if (from < 0 || from + n > len) TLX_FAIL;
        if (in.op == kOpString) {
          if (std::memcmp(s + from, lit, static_cast<size_t>(n)) != 0) TLX_FAIL;
        } else {
          for (int64_t k = 0; k < n; ++k)
            if (kUpper[s[from + k]] != lit[k]) TLX_FAIL;
        }
        m_Left -= n;
        pos = in.back ? from : from + n;
        ++pc;
        continue;
      }
      case kOpSet: {
        const ByteSet& set = m_P.sets[in.a];
        if (in.back) {
          if (pos > 0 && set.has[s[pos - 1]]) {
            --pos;
            ++pc;
            continue;
          }
        } else if (pos < len && set.has[s[pos]]) {
          ++pos;
          ++pc;
          continue;
        }
        TLX_FAIL;
      }
      case kOpRep: {
        const ByteSet& set = m_P.sets[in.a];
        const int64_t min = in.b;
        if (in.kind == kRepLazy) {
          const int64_t n = in.back ? ScanBackward(set, pos, min) : ScanForward(set, pos, min);
          m_Left -= n;
          if (n < min) TLX_FAIL;
          pos = in.back ? pos - n : pos + n;
          if (in.c < 0 || in.c > min) TLX_PUSH(kFrameRepLazy, pc, pos, min);
          if (Seen(code, pc, pos)) TLX_FAIL;
          ++pc;
          continue;
        }
        const int64_t n = in.back ? ScanBackward(set, pos, in.c) : ScanForward(set, pos, in.c);
        m_Left -= n;
        if (n < min) TLX_FAIL;
        pos = in.back ? pos - n : pos + n;
        if (in.kind == kRepGreedy && n > min) {
          TLX_PUSH(kFrameRepGreedy, pc, pos, n);
          if (Seen(code, pc, pos)) TLX_FAIL;
        }
        ++pc;
        continue;
      }
      case kOpSplit:
        if (Seen(code, pc, pos)) TLX_FAIL;
        TLX_PUSH(kFrameAlt, in.b, pos);
        pc = in.a;
        continue;
      case kOpJmp:
        pc = in.a;
        continue;
      case kOpOpen:
        TLX_PUSH(kFrameUndoPending, in.a, 0, m_C.m_Pending[in.a]);
        m_C.m_Pending[in.a] = pos;
        ++pc;
        continue;
      case kOpClose: {
        int64_t* slot = &m_C.m_Slots[2 * in.a];
        TLX_PUSH(kFrameUndoCapture, in.a, 0, slot[0], slot[1]);
        const int64_t other = m_C.m_Pending[in.a];
        slot[0] = std::min(other, pos);
        slot[1] = std::max(other, pos);
        ++pc;
        continue;
      }
      case kOpLineStart:
        if (pos != 0) TLX_FAIL;
        ++pc;
        continue;
      case kOpLineStartM:  // not after a newline that ends the text
        if (pos != 0 && (s[pos - 1] != '\n' || pos == len)) TLX_FAIL;
        ++pc;
        continue;
      case kOpLineEnd:
      case kOpTextEnd:
        if (pos != len) TLX_FAIL;
        ++pc;
        continue;
      case kOpLineEndM:
        if (pos != len && s[pos] != '\n') TLX_FAIL;
        ++pc;
        continue;
      case kOpTextStart:
        if (pos != 0) TLX_FAIL;
        ++pc;
        continue;
      case kOpTextEndNl:
        if (pos != len && !(pos == len - 1 && s[pos] == '\n')) TLX_FAIL;
        ++pc;
        continue;
      case kOpWord:
      case kOpNotWord: {
        const bool before = pos > 0 && IsWordChar(s[pos - 1]);
        const bool after = pos < len && IsWordChar(s[pos]);
        if ((before != after) != (in.op == kOpWord)) TLX_FAIL;
        ++pc;
        continue;
      }
      case kOpBackref:
      case kOpBackrefFold: {
        const int64_t from = m_C.m_Slots[2 * in.a];
        if (from < 0) TLX_FAIL;
        const int64_t n = m_C.m_Slots[2 * in.a + 1] - from;
        const int64_t at = in.back ? pos - n : pos;
        if (at < 0 || at + n > len) TLX_FAIL;
        if (in.op == kOpBackref) {
          if (std::memcmp(s + from, s + at, static_cast<size_t>(n)) != 0) TLX_FAIL;
        } else {
          for (int64_t k = 0; k < n; ++k)
            if (kUpper[s[from + k]] != kUpper[s[at + k]]) TLX_FAIL;
        }
        m_Left -= n;
        pos = in.back ? at : at + n;
        ++pc;
        continue;
      }
      case kOpCond:
        pc = m_C.m_Slots[2 * in.a] >= 0 ? pc + 1 : in.b;
        continue;
      case kOpAtomic:
      case kOpAssert:
        TLX_PUSH(kFrameMarker, pc, pos);
        ++pc;
        continue;
      case kOpAtomicEnd:
      case kOpAssertEnd: {
        const size_t m = FindMarker();
        const Frame marker = st[m];
        const Inst& at = insts[marker.pc];
        if (at.op == kOpAssert && at.kind == 1) {
          // The body of a negative assertion matched: undo it and fail.
          for (size_t i = st.size(); i > m + 1; --i) {
            const Frame& f = st[i - 1];
            if (f.kind == kFrameUndoCapture) {
              m_C.m_Slots[2 * f.pc] = f.a;
              m_C.m_Slots[2 * f.pc + 1] = f.b;
            } else if (f.kind == kFrameUndoPending) {
              m_C.m_Pending[f.pc] = f.a;
            } else if (f.kind == kFrameUndoReg) {
              m_C.m_Regs[f.pc] = f.a;
            }
          }
          st.resize(m);
          TLX_FAIL;
        }
        // Commit: drop the body's alternatives, keep what undoes its captures.
        size_t w = m;
        for (size_t i = m + 1; i < st.size(); ++i)
          if (IsUndo(st[i].kind)) st[w++] = st[i];
        st.resize(w);
        if (at.op == kOpAssert) {
          pos = marker.pos;
          pc = at.a;
        } else {
          ++pc;
        }
        continue;
      }
      case kOpMark:
        TLX_PUSH(kFrameUndoReg, in.a, 0, m_C.m_Regs[in.a]);
        m_C.m_Regs[in.a] = pos;
        ++pc;
        continue;
      case kOpCheck:
        pc = pos != m_C.m_Regs[in.a] ? in.b : pc + 1;
        continue;
      case kOpMatch:
        *end = pos;
        return kMatched;
      default:
        TLX_FAIL;
    }
  }
#undef TLX_FAIL
#undef TLX_PUSH
}

bool Machine::RunLinear(const Program& p, const unsigned char* s, int64_t len, int64_t start,
                        bool exact, MatchResultT& out, RunCache* cache) {
  int64_t pos = start;
  int cached = 0;  // index of the next repetition in the cache
  int64_t* w = nullptr;
  const unsigned char* strings = reinterpret_cast<const unsigned char*>(p.strings.data());
  for (const LinOp& op : p.linear) {
    switch (op.kind) {
      case LinOp::kLit: {
        const int64_t n = op.b;
        if (len - pos < n) goto fail;
        const unsigned char* lit = strings + op.a;
        const unsigned char* t = s + pos;
        if (op.fold) {
          for (int64_t k = 0; k < n; ++k)
            if (kUpper[t[k]] != lit[k]) goto fail;
        } else if (t[0] != lit[0] || std::memcmp(t, lit, static_cast<size_t>(n)) != 0) {
          goto fail;
        }
        pos += n;
        break;
      }
      case LinOp::kSet:
        if (pos >= len || !p.sets[op.a].has[s[pos]]) goto fail;
        ++pos;
        break;
      case LinOp::kRun: {
        const ByteSet& set = p.sets[op.a];
        int64_t limit = len - pos;
        if (op.c >= 0 && op.c < limit) limit = op.c;
        int64_t n = 0;
        RunCache::Entry* entry = nullptr;
        if (cache && op.c < 0 && cached < RunCache::kEntries) entry = &cache->entries[cached++];
        if (entry && entry->from >= 0 && pos >= entry->from && pos <= entry->to) {
          // A later start inside a run seen before: the run ends where it did.
          n = entry->to - pos;
        } else if (set.special == ByteSet::kAll) {
          n = limit;
        } else if (set.special == ByteSet::kAllButNewline) {
          const void* nl = std::memchr(s + pos, '\n', static_cast<size_t>(limit));
          n = nl ? static_cast<const unsigned char*>(nl) - (s + pos) : limit;
        } else {
          while (n < limit && set.has[s[pos + n]]) ++n;
        }
        if (entry) {
          entry->from = pos;
          entry->to = pos + n;
        }
        if (n < op.b) goto fail;
        pos += n;
        break;
      }
      case LinOp::kOpen:
        if (w == nullptr) {
          out.Reset(p.groups);
          w = out.MutableData();
        }
        w[2 + 2 * op.a] = pos;
        break;
      case LinOp::kClose:
        if (w == nullptr) {  // a program always opens before it closes; stay safe anyway
          out.Reset(p.groups);
          w = out.MutableData();
        }
        w[3 + 2 * op.a] = pos;
        break;
      case LinOp::kLineStart:
        if (pos != 0) goto fail;
        break;
      case LinOp::kLineEnd:
        if (pos != len) goto fail;
        break;
    }
  }
  if (exact && pos != len) goto fail;
  if (w == nullptr) {
    out.Reset(p.groups);
    w = out.MutableData();
  }
  w[2] = start;
  w[3] = pos;
  return true;
fail:
  out.Clear();
  return false;
}

void Machine::Exact(const Program& p, const unsigned char* s, size_t length, CContext* ctx,
                    MatchResultT& out) {
  out.Clear();
  const int64_t len = static_cast<int64_t>(length);
  if (length < p.minLength) return;
  if (p.hasLinear) {
    if (RunLinear(p, s, len, 0, true, out, nullptr) || p.onePassExact) {
      if (ctx) {
        ctx->m_Exhausted = false;
        ctx->m_StepsUsed = 0;
      }
      return;
    }
  }
  CContext& c = ctx ? *ctx : ThreadContext();
  Machine m(p, c, s, len);
  const int64_t start = p.rightToLeft ? len : 0;
  int64_t end = 0;
  if (m.Run(p.exact, start, &end) == kMatched) m.Fill(out, start, end);
}

void Machine::Search(const Program& p, const unsigned char* s, size_t length, CContext* ctx,
                     MatchResultT& out) {
  out.Clear();
  const int64_t len = static_cast<int64_t>(length);
  if (length < p.minLength) return;
  const int64_t minLen = static_cast<int64_t>(p.minLength);
  CContext& c = ctx ? *ctx : ThreadContext();
  int64_t end = 0;
  if (p.rightToLeft) {
    Machine m(p, c, s, len);
    for (int64_t start = len; start >= minLen; --start) {
      const Outcome r = m.Run(p.search, start, &end);
      if (r == kMatched) {
        m.Fill(out, start, end);
        return;
      }
      if (r == kExhausted) return;
    }
    return;
  }
  if (ctx) {
    ctx->m_Exhausted = false;
    ctx->m_StepsUsed = 0;
  }
  const int64_t last = len - minLen;
  const int64_t plen = static_cast<int64_t>(p.prefix.size());
  std::optional<Machine> m;
  RunCache cache;
  for (int64_t start = 0; start <= last; ++start) {
    if (p.anchoredStart && start > 0) break;
    if (plen > 0) {
      if (p.prefixFold) {
        start = FindFolded(s, len, start, last, p.prefix);
      } else {
        const void* hit = memmem(s + start, static_cast<size_t>(len - start), p.prefix.data(),
                                 static_cast<size_t>(plen));
        start = hit ? static_cast<const unsigned char*>(hit) - s : -1;
      }
      if (start < 0 || start > last) break;
    } else if (p.firstUseful) {
      while (start <= last && !p.first.has[s[start]]) ++start;
      if (start > last) break;
    }
    if (p.hasLinear) {
      if (RunLinear(p, s, len, start, false, out, &cache)) return;
      if (p.onePassSearch) continue;
    }
    if (!m) m.emplace(p, c, s, len);
    const Outcome r = m->Run(p.search, start, &end);
    if (r == kMatched) {
      m->Fill(out, start, end);
      return;
    }
    if (r == kExhausted) return;
  }
}

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
