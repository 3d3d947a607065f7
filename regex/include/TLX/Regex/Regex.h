// TLX::Regex: the program's own regular-expression engine, a back-tracking
// matcher with bounded stack and bounded time.
//
// Use:
//   TLX::Regex::basic_regex<char> re("^Index: ([:digit:]+)$");
//   auto r = re.match_exact(line);          // or match_exact(s.data(), s.size())
//   if (r.IsMatched()) use(r.Group1());
//
// Classes:
//   CBuilderT<CharT>  compiles a pattern: the element tree (Elements.h), the
//                     group tables, and the machine program built from the tree.
//   CRegexpT<CharT>   adds MatchExact (the pattern must cover the whole text) and
//                     Match (search; right to left under kRightToLeft).
//   basic_regex<CharT> constructs from a zero-terminated pattern and adds
//                     match_exact, whose result keeps a copy of the subject.
// Only CharT = char is instantiated; the grammar is documented in
// regex/README.md.
//
// Errors: an invalid pattern makes the constructor throw pattern_error, whose
// Position() is the offset in the pattern where the problem was found and
// whose what() reads "<message> at offset <n>". Matching never throws; no
// match gives an empty MatchResultT. Reading a group of a result that has no
// such group throws range_error with the message "Out of range".
//
// Thread-safety: a compiled pattern is immutable after construction and may
// be matched from any number of threads at once. With ctx == nullptr each
// thread uses a context of its own (kept per thread, so a warm thread
// allocates nothing per match); an explicit CContext must not be shared
// between threads that match at the same time.
//
// Bounded resources: matching uses no recursion (the machine keeps its
// back-tracking stack on the heap), memoises (program position, text
// position) pairs that already failed when the pattern has no
// back-reference and no condition, and gives every call a step budget
// (Context.h) past which it ends as no match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TLX/Regex/Context.h"
#include "TLX/Regex/Elements.h"
#include "TLX/Regex/MatchResult.h"

namespace TLX {
namespace Regex {

// Compile flags (bits).
enum : int {
  kNoFlag = 0,
  kIgnoreCase = 1,         // literal text, character sets and back-references ignore case
  kMultiline = 2,          // ^ and $ also match after / before a newline
  kSingleLine = 4,         // "." also matches a newline
  kLiteralIgnoreCase = 8,  // literal text ignores case; sets and classes do not
  kRightToLeft = 16,       // match from right to left; search scans from the end
  kExtended = 32,          // blanks outside sets are ignored, "#" starts a comment
};

// Thrown when a group of a result is read that the result does not have.
class range_error : public std::range_error {
 public:
  range_error() : std::range_error("Out of range") {}
};

// Thrown by the constructors for an invalid pattern.
class pattern_error : public std::invalid_argument {
 public:
  pattern_error(const std::string& message, size_t position);
  size_t Position() const { return m_Position; }
  const std::string& Message() const { return m_Message; }

 private:
  std::string m_Message;
  size_t m_Position;
};

// A pointer and a length: the pattern text handed to Build.
template <class CharT>
struct CBufferRefT {
  const CharT* data;
  size_t size;
};

namespace detail {
struct Program;

// A pre-check that rejects most texts before the matcher runs: the minimum
// length, and up to 16 bytes every match starts with when a match can only
// start at offset 0 (letters compared in either case under kIgnoreCase or
// kLiteralIgnoreCase).
struct QuickReject {
  size_t minLength = 0;
  size_t prefixBytes = 0;    // 0: no prefix check
  uint64_t orMask[2] = {};   // 0x20 on letter bytes that ignore case
  uint64_t cmpMask[2] = {};  // 0xff on the checked bytes
  uint64_t value[2] = {};

  bool Rejects(const unsigned char* s, size_t length) const {
    if (length < minLength) return true;
    if (prefixBytes == 0) return false;
    uint64_t w[2] = {0, 0};
    if (length >= 16) {
      std::memcpy(&w[0], s, 8);
      std::memcpy(&w[1], s + 8, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    } else if (length > 8) {
      // Bytes 8 .. length-1 from the last 8 bytes of the text, shifted down.
      std::memcpy(&w[0], s, 8);
      std::memcpy(&w[1], s + length - 8, 8);
      w[1] >>= 8 * (16 - length);
#endif
    } else {
      std::memcpy(w, s, length < 16 ? length : 16);  // length >= prefixBytes here
    }
    return (((w[0] | orMask[0]) & cmpMask[0]) != value[0]) |
           (((w[1] | orMask[1]) & cmpMask[1]) != value[1]);
  }
};
}  // namespace detail

template <class CharT>
class CBuilderT {
 public:
  // An empty pattern: builds nothing and matches the empty text.
  CBuilderT();
  // Compiles `pattern`; throws pattern_error when it is invalid.
  CBuilderT(CBufferRefT<CharT> pattern, int flags);
  // Copies recompile the source text; moves transfer the compiled form.
  CBuilderT(const CBuilderT& other);
  CBuilderT& operator=(const CBuilderT& other);
  CBuilderT(CBuilderT&&) noexcept;
  CBuilderT& operator=(CBuilderT&&) noexcept;
  ~CBuilderT();

  // Replaces the compiled pattern (all tables reset first).
  void Build(CBufferRefT<CharT> pattern, int flags);

  // The element tree as text, e.g. for "(a+)":
  //   List[Group1[Greedy{1,}("a")]]
  std::string Dump() const;

  const ElxInterface* Root() const { return m_Root; }
  const std::basic_string<CharT>& Pattern() const { return m_Pattern; }
  size_t PatternLength() const { return m_Pattern.size(); }
  int Flags() const { return m_Flags; }
  // Highest group number (0 when the pattern has no group).
  int MaxGroup() const { return m_MaxGroup; }
  // Group lists by number (entry 0 is the root).
  const std::vector<const ElxInterface*>& Groups() const { return m_Groups; }
  const std::vector<const ElxInterface*>& Backrefs() const { return m_Backrefs; }
  const std::vector<const ElxInterface*>& Conditions() const { return m_Conditions; }
  // Minimum number of characters any match consumes.
  size_t MinLength() const;

 protected:
  const detail::Program* Program() const { return m_Program.get(); }
  detail::QuickReject m_QuickExact;
  detail::QuickReject m_QuickSearch;

 private:
  class Parser;
  friend class Parser;

  void Reset();
  template <class E, class... Args>
  E* Make(Args&&... args);

  ElxInterface* m_Root = nullptr;
  std::basic_string<CharT> m_Pattern;
  int m_Flags = 0;
  int m_MaxGroup = 0;
  std::vector<const ElxInterface*> m_Groups;
  std::vector<const ElxInterface*> m_Backrefs;
  std::vector<const ElxInterface*> m_Conditions;
  std::vector<std::unique_ptr<ElxInterface>> m_Elements;  // owns every element
  std::unique_ptr<detail::Program> m_Program;
};

template <class CharT>
class CRegexpT : public CBuilderT<CharT> {
 public:
  using CBuilderT<CharT>::CBuilderT;
  CRegexpT() = default;

  // The pattern must cover text[0, length) entirely (from length down to 0
  // under kRightToLeft). A null `text` counts as empty.
  MatchResultT MatchExact(const CharT* text, size_t length, CContext* ctx = nullptr) const {
    if (ctx == nullptr && text != nullptr &&
        this->m_QuickExact.Rejects(reinterpret_cast<const unsigned char*>(text), length)) {
      return MatchResultT();
    }
    return MatchExactFull(text, length, ctx);
  }

  // The first match found scanning start positions from 0 up to length (from
  // length down to 0 under kRightToLeft).
  MatchResultT Match(const CharT* text, size_t length, CContext* ctx = nullptr) const {
    if (ctx == nullptr && text != nullptr &&
        this->m_QuickSearch.Rejects(reinterpret_cast<const unsigned char*>(text), length)) {
      return MatchResultT();
    }
    return MatchFull(text, length, ctx);
  }

 private:
  MatchResultT MatchExactFull(const CharT* text, size_t length, CContext* ctx) const;
  MatchResultT MatchFull(const CharT* text, size_t length, CContext* ctx) const;
};

template <class CharT>
class basic_regex : public CRegexpT<CharT> {
 public:
  // A result that keeps a copy of the subject, so that groups can be read as
  // text after the subject is gone. The copy is taken only on a match.
  class match_result {
   public:
    match_result() = default;
    match_result(MatchResultT result, const CharT* text, size_t length);

    bool IsMatched() const { return m_Result.IsMatched(); }
    explicit operator bool() const { return IsMatched(); }
    const MatchResultT& Result() const { return m_Result; }
    const std::basic_string<CharT>& Text() const { return m_Text; }

    // Text of group 1 / group g. Throws range_error ("Out of range") when
    // the result is empty or the pattern has no such group; a group that took
    // no part in the match gives the empty text.
    std::basic_string<CharT> Group1() const { return Group(1); }
    std::basic_string<CharT> Group(int g) const;

   private:
    MatchResultT m_Result;
    std::basic_string<CharT> m_Text;
  };

  basic_regex() = default;
  // A null pattern gives the empty pattern. Throws pattern_error.
  basic_regex(const CharT* pattern, int flags = 0);  // NOLINT: converts like a pattern literal

  // MatchExact over a zero-terminated text (null counts as empty).
  match_result match_exact(const CharT* text) const;
  match_result match_exact(const CharT* text, size_t length) const;
  // Match (search) over a zero-terminated text / a counted text.
  match_result search(const CharT* text) const;
  match_result search(const CharT* text, size_t length) const;
};

}  // namespace Regex
}  // namespace TLX
