// The compiled form of a pattern: a program for the back-tracking machine,
// a straight-line form for simple sequences, and the facts the matcher uses to
// reject texts before running either. Built once by Compile() from the
// element tree; read-only afterwards and shared by all matching threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TLX/Regex/Elements.h"
#include "TLX/Regex/Regex.h"

namespace TLX {
namespace Regex {
namespace detail {

enum Op : uint8_t {
  kOpChar,        // a = character
  kOpCharFold,    // a = upper-case character
  kOpString,      // a = offset in strings, b = length
  kOpStringFold,  // the same, strings stored in upper case
  kOpSet,         // a = set index
  kOpRep,    // a = set, b = min, c = max (-1: none), kind = RepKind, repetition of one character
  kOpSplit,  // try a, on failure b
  kOpJmp,    // a = target
  kOpOpen,   // a = group; records where the group starts
  kOpClose,  // a = group; commits the group's offsets
  kOpLineStart,    // ^
  kOpLineStartM,   // ^ with kMultiline
  kOpLineEnd,      // $
  kOpLineEndM,     // $ with kMultiline
  kOpTextStart,    // \A
  kOpTextEnd,      // \z
  kOpTextEndNl,    // \Z
  kOpWord,         // \b
  kOpNotWord,      // \B
  kOpBackref,      // a = group
  kOpBackrefFold,  // a = group, ignoring case
  kOpCond,         // a = group; when unset jump to b
  kOpAtomic,       // start of an atomic group
  kOpAtomicEnd,
  kOpAssert,  // kind: 1 = negative; a = instruction after the matching kOpAssertEnd
  kOpAssertEnd,
  kOpMark,   // a = register; remembers the position at the start of a loop body
  kOpCheck,  // a = register, b = loop head; loops again only after progress
  kOpMatch,
};

enum RepKind : uint8_t { kRepGreedy, kRepLazy, kRepPossessive };

struct Inst {
  uint8_t op;
  uint8_t back;  // consumes leftwards (right-to-left code, look-behind)
  uint8_t kind;
  uint8_t pad = 0;
  int32_t a = 0;
  int32_t b = 0;
  int32_t c = 0;
};

// Character set as a byte table (faster to test than a bit set).
struct ByteSet {
  std::array<uint8_t, 256> has{};
  enum Special : uint8_t { kGeneric, kAll, kAllButNewline } special = kGeneric;
};

// One step of the straight-line form.
struct LinOp {
  enum Kind : uint8_t { kLit, kSet, kRun, kOpen, kClose, kLineStart, kLineEnd };
  Kind kind;
  uint8_t fold = 0;
  int32_t a = 0;  // string offset, set index or group
  int32_t b = 0;  // string length or minimum
  int32_t c = 0;  // maximum (-1: none)
};

struct Code {
  std::vector<Inst> insts;
  std::vector<int32_t> memoSlot;  // per instruction: memo row, or -1
  int32_t memoRows = 0;
  // Memo row r inside loops whose body can match nothing: the registers of
  // those loops are memoGuard[memoGuardStart[r] .. memoGuardStart[r + 1]).
  // At the position where such an iteration began, what follows depends on
  // that position too (the loop may not go round again), so the memo is not
  // used there.
  std::vector<int32_t> memoGuard;
  std::vector<int32_t> memoGuardStart;
};

struct Program {
  Code search;  // ends in kOpMatch
  Code exact;   // also requires the far end of the text
  std::string strings;
  std::vector<ByteSet> sets;
  int32_t groups = 0;     // highest group number
  int32_t registers = 0;  // loop-progress registers
  bool memoOk = false;    // no back-reference, no condition
  bool rightToLeft = false;
  size_t minLength = 0;

  // Search filters (left to right only).
  bool anchoredStart = false;  // a match can only start at offset 0
  std::string prefix;          // every match starts with this text
  bool prefixFold = false;     // ... compared in upper case
  ByteSet first;               // every match starts with one of these
  bool firstUseful = false;

  // Straight-line form: present when the pattern is a sequence of literal
  // text, single characters, repetitions of one character (greedy or
  // possessive), plain groups and ^ / $. Running it follows the first path
  // the machine would try; when that path fails and the form is one-pass
  // for the mode, no other path can succeed either.
  bool hasLinear = false;
  std::vector<LinOp> linear;
  bool onePassExact = false;
  bool onePassSearch = false;
};

// Upper-case table for ASCII letters; identity elsewhere.
extern const std::array<uint8_t, 256> kUpper;
// Word characters for \b, \B and \w: letters, digits and "_".
bool IsWordChar(unsigned char c);

// The pre-check for a program; `atStart`: matches can only start at offset 0.
QuickReject MakeQuickReject(const Program& p, bool atStart);

// Builds the program of a tree. Throws pattern_error("pattern too large")
// when the program would exceed its size limit.
void Compile(const ElxInterface* root, int flags, int maxGroup, Program& out);

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
