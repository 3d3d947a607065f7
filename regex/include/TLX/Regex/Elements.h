// The element tree a pattern compiles to.
//
// CBuilderT turns pattern text into a tree of elements, one class per kind of
// construct. The tree is immutable once built and owned by its builder, which
// frees every element with itself; elements refer to their children by plain
// pointer. Before matching, the builder translates the tree into a program of
// the back-tracking machine (see Regex.h); the tree stays available for
// inspection through Dump(), which prints it in a compact text form that the
// tests compare against.
//
// Elements carry data only; they are instantiated for CharT = char.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>
#include <vector>

namespace TLX {
namespace Regex {

enum class ElxKind {
  kList,         // a sequence; a numbered group is a list framed by two brackets
  kAlternative,  // a | b | ...
  kRepeat,       // x{n}, fixed count
  kGreedy,       // x*, x+, x?, x{n,m}
  kReluctant,    // the same followed by "?"
  kPossessive,   // the same followed by "+"
  kString,       // literal text
  kRange,        // a bracket expression, ".", or a stock class such as \d
  kBracket,      // start or end marker of a numbered group
  kPosix,        // one named character class, such as [:digit:]
  kBoundary,     // ^ $ \A \z \Z \b \B
  kBackref,      // \1 ...
  kCondition,    // (?(n)yes|no)
  kAssert,       // (?=x) (?!x) (?<=x) (?<!x)
  kIndependent,  // (?>x), atomic group
  kEmpty,        // matches the empty text
};

// The interface every element implements.
class ElxInterface {
 public:
  virtual ~ElxInterface() = default;
  virtual ElxKind Kind() const = 0;
  // Appends the element's text form to `out`.
  virtual void Dump(std::string& out) const = 0;
};

// 256-entry byte set used by character classes.
using CharSet = std::bitset<256>;

template <class CharT>
class CListElxT : public ElxInterface {
 public:
  explicit CListElxT(int group = 0) : m_Group(group) {}
  ElxKind Kind() const override { return ElxKind::kList; }
  void Dump(std::string& out) const override;
  void Append(ElxInterface* e) { m_Items.push_back(e); }
  const std::vector<ElxInterface*>& Items() const { return m_Items; }
  std::vector<ElxInterface*>& MutableItems() { return m_Items; }
  // Group number when the list is a numbered group (framed by brackets), else 0.
  int Group() const { return m_Group; }

 private:
  int m_Group;
  std::vector<ElxInterface*> m_Items;
};

template <class CharT>
class CAlternativeElxT : public ElxInterface {
 public:
  ElxKind Kind() const override { return ElxKind::kAlternative; }
  void Dump(std::string& out) const override;
  void Append(ElxInterface* e) { m_Branches.push_back(e); }
  const std::vector<ElxInterface*>& Branches() const { return m_Branches; }

 private:
  std::vector<ElxInterface*> m_Branches;
};

// Shared by the four repetition classes. kUnbounded stands for "no maximum".
template <class CharT>
class CRepeatBaseT : public ElxInterface {
 public:
  static constexpr int kUnbounded = -1;
  CRepeatBaseT(ElxInterface* item, int min, int max) : m_Item(item), m_Min(min), m_Max(max) {}
  void Dump(std::string& out) const override;
  ElxInterface* Item() const { return m_Item; }
  int Min() const { return m_Min; }
  int Max() const { return m_Max; }

 private:
  ElxInterface* m_Item;
  int m_Min;
  int m_Max;
};

template <class CharT>
class CRepeatElxT : public CRepeatBaseT<CharT> {
 public:
  CRepeatElxT(ElxInterface* item, int count) : CRepeatBaseT<CharT>(item, count, count) {}
  ElxKind Kind() const override { return ElxKind::kRepeat; }
};

template <class CharT>
class CGreedyElxT : public CRepeatBaseT<CharT> {
 public:
  using CRepeatBaseT<CharT>::CRepeatBaseT;
  ElxKind Kind() const override { return ElxKind::kGreedy; }
};

template <class CharT>
class CReluctantElxT : public CRepeatBaseT<CharT> {
 public:
  using CRepeatBaseT<CharT>::CRepeatBaseT;
  ElxKind Kind() const override { return ElxKind::kReluctant; }
};

template <class CharT>
class CPossessiveElxT : public CRepeatBaseT<CharT> {
 public:
  using CRepeatBaseT<CharT>::CRepeatBaseT;
  ElxKind Kind() const override { return ElxKind::kPossessive; }
};

// Literal text. With `foldCase` a character matches when both are equal
// after conversion to upper case (ASCII letters only).
template <class CharT>
class CStringElxT : public ElxInterface {
 public:
  CStringElxT(std::basic_string<CharT> text, bool foldCase)
      : m_Text(std::move(text)), m_FoldCase(foldCase) {}
  ElxKind Kind() const override { return ElxKind::kString; }
  void Dump(std::string& out) const override;
  const std::basic_string<CharT>& Text() const { return m_Text; }
  std::basic_string<CharT>& MutableText() { return m_Text; }
  bool FoldCase() const { return m_FoldCase; }

 private:
  std::basic_string<CharT> m_Text;
  bool m_FoldCase;
};

// One character out of a set. `label` is the set as written (for Dump).
template <class CharT>
class CRangeElxT : public ElxInterface {
 public:
  CRangeElxT(const CharSet& set, std::string label) : m_Set(set), m_Label(std::move(label)) {}
  ElxKind Kind() const override { return ElxKind::kRange; }
  void Dump(std::string& out) const override;
  const CharSet& Set() const { return m_Set; }

 private:
  CharSet m_Set;
  std::string m_Label;
};

template <class CharT>
class CBracketElxT : public ElxInterface {
 public:
  CBracketElxT(int group, bool open) : m_Group(group), m_Open(open) {}
  ElxKind Kind() const override { return ElxKind::kBracket; }
  void Dump(std::string& out) const override;
  int Group() const { return m_Group; }
  bool IsOpen() const { return m_Open; }

 private:
  int m_Group;
  bool m_Open;
};

// A named class such as [:digit:] (or [:^digit:], negated).
template <class CharT>
class CPosixElxT : public ElxInterface {
 public:
  CPosixElxT(std::string name, bool negated, const CharSet& set)
      : m_Name(std::move(name)), m_Negated(negated), m_Set(set) {}
  ElxKind Kind() const override { return ElxKind::kPosix; }
  void Dump(std::string& out) const override;
  const std::string& Name() const { return m_Name; }
  bool Negated() const { return m_Negated; }
  // The characters the element matches (negation applied).
  const CharSet& Set() const { return m_Set; }

 private:
  std::string m_Name;
  bool m_Negated;
  CharSet m_Set;
};

enum class BoundaryKind {
  kLineStart,  // ^
  kLineEnd,    // $
  kTextStart,  // \A
  kTextEnd,    // \z
  kTextEndNl,  // \Z, end of text or before a final newline
  kWord,       // \b
  kNotWord,    // \B
};

template <class CharT>
class CBoundaryElxT : public ElxInterface {
 public:
  CBoundaryElxT(BoundaryKind kind, bool multiline) : m_Kind(kind), m_Multiline(multiline) {}
  ElxKind Kind() const override { return ElxKind::kBoundary; }
  void Dump(std::string& out) const override;
  BoundaryKind Boundary() const { return m_Kind; }
  bool Multiline() const { return m_Multiline; }

 private:
  BoundaryKind m_Kind;
  bool m_Multiline;
};

template <class CharT>
class CBackrefElxT : public ElxInterface {
 public:
  CBackrefElxT(int group, bool foldCase, size_t position)
      : m_Group(group), m_FoldCase(foldCase), m_Position(position) {}
  ElxKind Kind() const override { return ElxKind::kBackref; }
  void Dump(std::string& out) const override;
  int Group() const { return m_Group; }
  bool FoldCase() const { return m_FoldCase; }
  size_t Position() const { return m_Position; }  // in the pattern, for errors

 private:
  int m_Group;
  bool m_FoldCase;
  size_t m_Position;
};

// (?(n)yes|no): `no` may be null (the empty text).
template <class CharT>
class CConditionElxT : public ElxInterface {
 public:
  CConditionElxT(int group, ElxInterface* yes, ElxInterface* no, size_t position)
      : m_Group(group), m_Yes(yes), m_No(no), m_Position(position) {}
  ElxKind Kind() const override { return ElxKind::kCondition; }
  void Dump(std::string& out) const override;
  int Group() const { return m_Group; }
  ElxInterface* Yes() const { return m_Yes; }
  ElxInterface* No() const { return m_No; }
  size_t Position() const { return m_Position; }

 private:
  int m_Group;
  ElxInterface* m_Yes;
  ElxInterface* m_No;
  size_t m_Position;
};

template <class CharT>
class CAssertElxT : public ElxInterface {
 public:
  CAssertElxT(ElxInterface* item, bool behind, bool negative)
      : m_Item(item), m_Behind(behind), m_Negative(negative) {}
  ElxKind Kind() const override { return ElxKind::kAssert; }
  void Dump(std::string& out) const override;
  ElxInterface* Item() const { return m_Item; }
  bool Behind() const { return m_Behind; }
  bool Negative() const { return m_Negative; }

 private:
  ElxInterface* m_Item;
  bool m_Behind;
  bool m_Negative;
};

template <class CharT>
class CIndependentElxT : public ElxInterface {
 public:
  explicit CIndependentElxT(ElxInterface* item) : m_Item(item) {}
  ElxKind Kind() const override { return ElxKind::kIndependent; }
  void Dump(std::string& out) const override;
  ElxInterface* Item() const { return m_Item; }

 private:
  ElxInterface* m_Item;
};

template <class CharT>
class CEmptyElxT : public ElxInterface {
 public:
  ElxKind Kind() const override { return ElxKind::kEmpty; }
  void Dump(std::string& out) const override { out += "Empty"; }
};

}  // namespace Regex
}  // namespace TLX
