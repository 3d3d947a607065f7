#include "CharClass.h"

#include <cstring>

namespace TLX {
namespace Regex {
namespace detail {
namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsUpper(int c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(int c) { return c >= 'a' && c <= 'z'; }
bool IsAlpha(int c) { return IsUpper(c) || IsLower(c); }
bool IsAlnum(int c) { return IsAlpha(c) || IsDigit(c); }
bool IsSpace(int c) { return (c >= 9 && c <= 13) || c == ' '; }
bool IsGraph(int c) { return c >= 33 && c <= 126; }

struct NamedClass {
  const char* name;  // with the closing ":"
  bool (*test)(int);
};

const NamedClass kClasses[] = {
    {"alnum:", IsAlnum},
    {"alpha:", IsAlpha},
    {"ascii:", [](int c) { return c < 128; }},
    {"cntrl:", [](int c) { return c < 32 || c == 127; }},
    {"digit:", IsDigit},
    {"graph:", IsGraph},
    {"lower:", IsLower},
    {"print:", [](int c) { return c >= 32 && c <= 126; }},
    {"punct:", [](int c) { return IsGraph(c) && !IsAlnum(c); }},
    {"space:", IsSpace},
    {"upper:", IsUpper},
    {"xdigit:",
     [](int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }},
    {"blank:", [](int c) { return c == ' ' || c == '\t'; }},
};

CharSet Fill(bool (*test)(int)) {
  CharSet set;
  for (int c = 0; c < 256; ++c) set[c] = test(c);
  return set;
}

}  // namespace

bool LookupNamedClass(const std::string& nameWithColon, CharSet& out) {
  for (const NamedClass& k : kClasses) {
    if (nameWithColon == k.name) {
      out = Fill(k.test);
      return true;
    }
  }
  return false;
}

CharSet StockClass(char letter) {
  CharSet set;
  switch (letter | 0x20) {
    case 'd':
      set = Fill(IsDigit);
      break;
    case 'w':
      set = Fill([](int c) { return IsAlnum(c) || c == '_'; });
      break;
    default:
      set = Fill(IsSpace);
      break;
  }
  if (letter >= 'A' && letter <= 'Z') set.flip();
  return set;
}

void AddOtherCase(CharSet& set) {
  for (int c = 'A'; c <= 'Z'; ++c) {
    if (set[c] || set[c + 32]) {
      set[c] = true;
      set[c + 32] = true;
    }
  }
}

}  // namespace detail
}  // namespace Regex
}  // namespace TLX
