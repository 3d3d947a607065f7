// CContext: the working memory of one match at a time.
//
// A context holds the back-tracking stack, the capture records, the memo of
// (program position, text position) pairs that already failed, and the step
// counter of the match in progress. It may be reused for any number of
// matches of any patterns; its buffers keep their capacity, so a warm context
// makes matching allocation-free. A context is not thread-safe: use one per
// thread. Matching with ctx == nullptr uses a context private to the calling
// thread.
//
// Step budget: every match or search call may take at most
//   StepBase() + StepsPerChar() * (length + 1)
// steps (one step per machine instruction, back-track and character a
// repetition consumes or gives back; defaults 1,000,000 and 64). A call that
// runs out of steps, or whose back-tracking stack would exceed
// MaxStackFrames() entries, ends as no match and sets BudgetExhausted().
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TLX {
namespace Regex {

namespace detail {
class Machine;
struct Frame {
  int32_t kind;
  int32_t pc;
  int64_t pos;
  int64_t a;
  int64_t b;
};
}  // namespace detail

class CContext {
 public:
  static constexpr uint64_t kDefaultStepBase = 1000000;
  static constexpr uint64_t kDefaultStepsPerChar = 64;
  static constexpr size_t kDefaultMaxStackFrames = size_t{1} << 20;

  CContext() = default;
  CContext(const CContext&) = delete;
  CContext& operator=(const CContext&) = delete;

  void SetStepBudget(uint64_t base, uint64_t perChar) {
    m_StepBase = base;
    m_StepsPerChar = perChar;
  }
  uint64_t StepBase() const { return m_StepBase; }
  uint64_t StepsPerChar() const { return m_StepsPerChar; }
  void SetMaxStackFrames(size_t frames) { m_MaxFrames = frames; }
  size_t MaxStackFrames() const { return m_MaxFrames; }

  // Back-tracks after which the memo of failed pairs is switched on; by
  // default 1024 + 2 * (length + 1). 0 switches it on from the start.
  static constexpr uint64_t kMemoAfterDefault = ~uint64_t{0};
  void SetMemoAfter(uint64_t backtracks) { m_MemoAfter = backtracks; }

  // True when the last call through this context ended for lack of steps or
  // stack rather than by finding or excluding a match.
  bool BudgetExhausted() const { return m_Exhausted; }
  // Steps the last call used.
  uint64_t StepsUsed() const { return m_StepsUsed; }

 private:
  friend class detail::Machine;

  uint64_t m_StepBase = kDefaultStepBase;
  uint64_t m_StepsPerChar = kDefaultStepsPerChar;
  size_t m_MaxFrames = kDefaultMaxStackFrames;
  uint64_t m_MemoAfter = kMemoAfterDefault;
  bool m_Exhausted = false;
  uint64_t m_StepsUsed = 0;

  std::vector<detail::Frame> m_Stack;
  std::vector<int64_t> m_Slots;     // committed group offsets, 2 per group
  std::vector<int64_t> m_Pending;   // offset where each open group started
  std::vector<int64_t> m_Regs;      // loop-progress registers
  std::vector<uint64_t> m_Memo;     // visited (memo point, position) bits
};

}  // namespace Regex
}  // namespace TLX
