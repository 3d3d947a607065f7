// Compiles any pattern with any flags, then matches and searches any subject.
// Input layout: byte 0 = flags, byte 1 = where the pattern ends (as a share of
// the rest), then the pattern bytes and the subject bytes. Invalid patterns
// must throw pattern_error; nothing else may escape, crash or run unbounded.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TLX/Regex/Regex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int flags = data[0] & 63;
  const size_t rest = size - 2;
  const size_t split = rest * data[1] / 255;
  const std::string pattern(reinterpret_cast<const char*>(data + 2), split);
  const std::string subject(reinterpret_cast<const char*>(data + 2 + split), rest - split);

  TLX::Regex::CContext ctx;
  ctx.SetStepBudget(200000, 16);  // keeps each input quick; the bound itself is under test
  TLX::Regex::CContext memo;      // the same with the memo of failed pairs on from the start
  memo.SetStepBudget(200000, 16);
  memo.SetMemoAfter(0);
  try {
    TLX::Regex::CRegexpT<char> re(TLX::Regex::CBufferRefT<char>{pattern.data(), pattern.size()},
                                  flags);
    const std::string tree = re.Dump();
    for (bool exact : {true, false}) {
      const TLX::Regex::MatchResultT r = exact ? re.MatchExact(subject.data(), subject.size(), &ctx)
                                               : re.Match(subject.data(), subject.size(), &ctx);
      // The same call through the per-thread context, and with the memo, must agree.
      const TLX::Regex::MatchResultT again = exact ? re.MatchExact(subject.data(), subject.size())
                                                   : re.Match(subject.data(), subject.size());
      const TLX::Regex::MatchResultT memoized =
          exact ? re.MatchExact(subject.data(), subject.size(), &memo)
                : re.Match(subject.data(), subject.size(), &memo);
      if (ctx.BudgetExhausted() || memo.BudgetExhausted()) continue;
      if (r.IsMatched() != memoized.IsMatched()) abort();
      for (size_t i = 0; r.IsMatched() && i <= r.size(); ++i)
        if (r[i] != memoized[i]) abort();
      if (r.IsMatched() != again.IsMatched()) abort();
      if (!r.IsMatched()) continue;
      if (r.size() != 2 * static_cast<size_t>(re.MaxGroup()) + 3) abort();
      if (r[0] != 1 || r[1] != re.MaxGroup()) abort();
      for (int g = 0; g <= re.MaxGroup(); ++g) {
        const int64_t s = r.GetGroupStart(g), e = r.GetGroupEnd(g);
        if ((s < 0) != (e < 0)) abort();
        if (s > e || e > static_cast<int64_t>(subject.size())) abort();
        if (s != again.GetGroupStart(g) || e != again.GetGroupEnd(g)) abort();
      }
      if (exact && (r.GetStart() != 0 || r.GetEnd() != static_cast<int64_t>(subject.size())))
        abort();
    }
  } catch (const TLX::Regex::pattern_error&) {
  }
  return 0;
}
