// MatchResultT: the outcome of one match or search, as an array of signed
// 64-bit words.
//
// Layout: empty when there was no match. Otherwise word 0 is 1, word 1 is the
// highest group number G of the pattern, and words 2+2g / 3+2g hold the start
// and end offsets of group g (0 <= g <= G; group 0 is the whole match), the
// smaller offset first. A group that took no part in the match has -1 in both
// words. size() reports 2G+3 words; since the end of group G is word 2G+3,
// the storage always holds that one word more, so operator[] accepts
// i <= size() on a matched result.
//
// A plain value type: copyable, movable, no sharing. Results of patterns with
// up to six groups live inline and never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TLX {
namespace Regex {

class MatchResultT {
 public:
  // An empty result (no match).
  MatchResultT() = default;

  // A matched result for a pattern whose highest group number is `groups`,
  // every group set to -1 / -1.
  explicit MatchResultT(int groups);

  MatchResultT(const MatchResultT& other);
  MatchResultT& operator=(const MatchResultT& other);
  MatchResultT(MatchResultT&& other) noexcept;
  MatchResultT& operator=(MatchResultT&& other) noexcept;

  bool IsMatched() const { return m_Size != 0 && Data()[0] == 1; }
  explicit operator bool() const { return IsMatched(); }

  // Number of words: 0, or 2G+3 (word 2G+3, the end of group G, is readable too).
  size_t size() const { return m_Size; }
  bool empty() const { return m_Size == 0; }

  // REQUIRES: i <= size() on a matched result.
  int64_t operator[](size_t i) const { return Data()[i]; }

  // Highest group number G, or -1 for an empty result.
  int GetHighestGroup() const { return m_Size == 0 ? -1 : static_cast<int>(Data()[1]); }

  // Start / end offset of group g; -1 when there was no match, when the
  // pattern has no group g, or when group g took no part in the match.
  int64_t GetGroupStart(int g) const { return Word(2 + 2 * static_cast<int64_t>(g)); }
  int64_t GetGroupEnd(int g) const { return Word(3 + 2 * static_cast<int64_t>(g)); }

  // The whole match (group 0).
  int64_t GetStart() const { return GetGroupStart(0); }
  int64_t GetEnd() const { return GetGroupEnd(0); }

  // Writable access for the matcher: size() + 1 words.
  int64_t* MutableData() { return m_Heap.empty() ? m_Inline : m_Heap.data(); }
  const int64_t* Data() const { return m_Heap.empty() ? m_Inline : m_Heap.data(); }

  // Becomes a matched result with `groups` groups, all -1 (reuses storage).
  void Reset(int groups);
  // Becomes empty.
  void Clear() { m_Size = 0; }

 private:
  static constexpr size_t kInlineWords = 16;  // 2G + 4 for G <= 6

  int64_t Word(int64_t i) const {
    return (i >= 2 && static_cast<uint64_t>(i) <= m_Size && m_Size != 0) ? Data()[i] : -1;
  }

  size_t m_Size = 0;
  int64_t m_Inline[kInlineWords];
  std::vector<int64_t> m_Heap;  // used instead of m_Inline for large results
};

}  // namespace Regex
}  // namespace TLX
