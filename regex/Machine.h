// The matcher: runs a Program against a text.
//
// Two engines share one entry point. The straight-line form (Program.h) runs
// first when a pattern has one: it needs no context and no stack. Otherwise,
// or when the straight-line attempt fails on a pattern that is not one-pass,
// the back-tracking machine runs the program with an explicit stack kept in
// the CContext, so its native stack use does not depend on the text.
#pragma once

#include <cstddef>

#include "Program.h"
#include "TLX/Regex/Context.h"
#include "TLX/Regex/MatchResult.h"

namespace TLX {
namespace Regex {
namespace detail {

class Machine {
 public:
  // The whole of text[0, length) must be covered.
  static void Exact(const Program& p, const unsigned char* text, size_t length, CContext* ctx,
                    MatchResultT& out);
  // The first match scanning start positions (from the end with right to left).
  static void Search(const Program& p, const unsigned char* text, size_t length, CContext* ctx,
                     MatchResultT& out);

  // One call's state over one text; use through Exact and Search.
  Machine(const Program& p, CContext& c, const unsigned char* s, int64_t len);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

 private:
  enum Outcome { kNoMatch, kMatched, kExhausted };

  Outcome Run(const Code& code, int64_t start, int64_t* end);
  bool Backtrack(const Code& code, int32_t& pc, int64_t& pos);
  bool Seen(const Code& code, int32_t pc, int64_t pos);
  void ActivateMemo(const Code& code);
  bool PushFrame(int32_t kind, int32_t pc, int64_t pos, int64_t a = 0, int64_t b = 0);
  int64_t ScanForward(const ByteSet& set, int64_t pos, int64_t max) const;
  int64_t ScanBackward(const ByteSet& set, int64_t pos, int64_t max) const;
  size_t FindMarker() const;
  void Fill(MatchResultT& out, int64_t start, int64_t end) const;

  // Where the unbounded repetitions of the straight-line form ended during
  // a search, so that later start positions do not scan the same run again.
  struct RunCache {
    static constexpr int kEntries = 8;
    struct Entry {
      int64_t from = -1;
      int64_t to = -1;
    } entries[kEntries];
  };

  static CContext& ThreadContext();
  static bool RunLinear(const Program& p, const unsigned char* s, int64_t len, int64_t start,
                        bool exact, MatchResultT& out, RunCache* cache);

  const Program& m_P;
  CContext& m_C;
  const unsigned char* m_S;
  int64_t m_Len;
  int64_t m_Left;     // steps left
  uint64_t m_Budget;  // steps granted
  uint64_t m_Backtracks = 0;
  uint64_t m_MemoAfter;  // back-tracks before the memo is switched on
  bool m_MemoOn = false;
  bool m_Exhausted = false;
};

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
