// MatchResultT storage, the match entry points of CRegexpT and basic_regex.

#include "TLX/Regex/Regex.h"

#include <algorithm>
#include <cstring>

#include "Machine.h"
#include "Program.h"

namespace TLX {
namespace Regex {

// ---------------------------------------------------------------------------
// MatchResultT

MatchResultT::MatchResultT(int groups) { Reset(groups); }

MatchResultT::MatchResultT(const MatchResultT& other) { *this = other; }

MatchResultT& MatchResultT::operator=(const MatchResultT& other) {
  if (this == &other) return *this;
  m_Size = other.m_Size;
  if (other.m_Heap.empty()) {
    m_Heap.clear();
    std::copy(other.m_Inline, other.m_Inline + (m_Size ? m_Size + 1 : 0), m_Inline);
  } else {
    m_Heap = other.m_Heap;
  }
  return *this;
}

MatchResultT::MatchResultT(MatchResultT&& other) noexcept { *this = std::move(other); }

MatchResultT& MatchResultT::operator=(MatchResultT&& other) noexcept {
  if (this == &other) return *this;
  m_Size = other.m_Size;
  if (other.m_Heap.empty()) {
    m_Heap.clear();
    std::copy(other.m_Inline, other.m_Inline + (m_Size ? m_Size + 1 : 0), m_Inline);
  } else {
    m_Heap = std::move(other.m_Heap);
    other.m_Heap.clear();
  }
  other.m_Size = 0;
  return *this;
}

void MatchResultT::Reset(int groups) {
  const size_t n = 2 * static_cast<size_t>(groups) + 4;  // 2G+3 reported, +1 for group G's end
  m_Size = n - 1;
  int64_t* w;
  if (n <= kInlineWords) {
    m_Heap.clear();
    w = m_Inline;
  } else {
    m_Heap.assign(n, -1);
    w = m_Heap.data();
  }
  std::fill(w, w + n, -1);
  w[0] = 1;
  w[1] = groups;
}

// ---------------------------------------------------------------------------
// CRegexpT

template <class CharT>
MatchResultT CRegexpT<CharT>::MatchExactFull(const CharT* text, size_t length,
                                             CContext* ctx) const {
  MatchResultT out;
  const detail::Program* p = this->Program();
  if (p == nullptr) return out;
  if (text == nullptr) length = 0;
  static const unsigned char kNothing = 0;
  const unsigned char* s = text ? reinterpret_cast<const unsigned char*>(text) : &kNothing;
  detail::Machine::Exact(*p, s, length, ctx, out);
  return out;
}

template <class CharT>
MatchResultT CRegexpT<CharT>::MatchFull(const CharT* text, size_t length, CContext* ctx) const {
  MatchResultT out;
  const detail::Program* p = this->Program();
  if (p == nullptr) return out;
  if (text == nullptr) length = 0;
  static const unsigned char kNothing = 0;
  const unsigned char* s = text ? reinterpret_cast<const unsigned char*>(text) : &kNothing;
  detail::Machine::Search(*p, s, length, ctx, out);
  return out;
}

// ---------------------------------------------------------------------------
// basic_regex

template <class CharT>
basic_regex<CharT>::match_result::match_result(MatchResultT result, const CharT* text,
                                               size_t length)
    : m_Result(std::move(result)) {
  if (m_Result.IsMatched() && text != nullptr) m_Text.assign(text, length);
}

template <class CharT>
std::basic_string<CharT> basic_regex<CharT>::match_result::Group(int g) const {
  if (m_Result.size() <= 1 || g < 0 || g > m_Result.GetHighestGroup()) throw range_error();
  const int64_t start = m_Result.GetGroupStart(g);
  const int64_t end = m_Result.GetGroupEnd(g);
  if (start < 0 || end < start) return std::basic_string<CharT>();
  return m_Text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

namespace {
template <class CharT>
size_t Length(const CharT* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != CharT()) ++n;
  return n;
}
}  // namespace

template <class CharT>
basic_regex<CharT>::basic_regex(const CharT* pattern, int flags)
    : CRegexpT<CharT>(CBufferRefT<CharT>{pattern, Length(pattern)}, flags) {}

template <class CharT>
typename basic_regex<CharT>::match_result basic_regex<CharT>::match_exact(const CharT* text) const {
  return match_exact(text, Length(text));
}

template <class CharT>
typename basic_regex<CharT>::match_result basic_regex<CharT>::match_exact(const CharT* text,
                                                                          size_t length) const {
  return match_result(this->MatchExact(text, length), text, length);
}

template <class CharT>
typename basic_regex<CharT>::match_result basic_regex<CharT>::search(const CharT* text) const {
  return search(text, Length(text));
}

template <class CharT>
typename basic_regex<CharT>::match_result basic_regex<CharT>::search(const CharT* text,
                                                                     size_t length) const {
  return match_result(this->Match(text, length), text, length);
}

template class CRegexpT<char>;
template class basic_regex<char>;

}  // namespace Regex
}  // namespace TLX
