// A warm pattern allocates nothing per match: counted through a replaced
// global operator new (in a test program of its own).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>

#include "TLX/Regex/Regex.h"

static std::atomic<long> g_Allocations{0};

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // the pair below is malloc / free
#endif

void* operator new(std::size_t n) {
  ++g_Allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using TLX::Regex::basic_regex;

// Compiling allocates: the counter sees the library's allocations.
TEST(RegexAlloc, WarmMatchesAllocateNothing) {
  // A pattern, its flags, a text, whether to search it.
  const std::tuple<const char*, int, std::string, bool> cases[] = {
      {"^Index: ([:digit:]+)$", 0, "Index: 17", false},        // straight line, match
      {"^Index: ([:digit:]+)$", 0, "SerialNumber: X", false},  // pre-check rejection
      {"(a|ab)(c|bcd)(d*)", 0, "abcd", false},                 // back-tracking machine
      {"(a+)+b", 0, std::string(30, 'a'), false},              // machine with memo
      {"Raw: (0x[:xdigit:]+)", 8, "ID: ADRAW: 0x00FF", true},  // folded search
      {"(\\d+)-(\\d+)", 16, "1-22 333-4444", true},            // right to left
      {"(?<=a)(b)(?!c)\\1", 0, "abbd", true},                  // look-around, back-reference
  };
  for (const auto& [pattern, flags, text, search] : cases) {
    SCOPED_TRACE(pattern);
    const long compiling = g_Allocations.load();
    const basic_regex<char> re(pattern, flags);
    EXPECT_GT(g_Allocations.load(), compiling);
    auto run = [&, &text = text, search = search] {
      return search ? re.Match(text.data(), text.size()) : re.MatchExact(text.data(), text.size());
    };
    const bool expected = run().IsMatched();  // warms the thread's context
    const long before = g_Allocations.load();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(run().IsMatched(), expected);
    EXPECT_EQ(g_Allocations.load() - before, 0);
  }
}

}  // namespace
