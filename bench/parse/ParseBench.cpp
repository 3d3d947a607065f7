// parse_bench: parsing the SSD tool's text from memory (no process). The
// inventory of 1 to 256 drives and one drive's three health pages, as the
// simulator prints them, through the plug-in's parsers, and the same texts
// through PCRE2 with JIT doing the same work: each line tried against the
// same patterns in the same order, the first match decides, group 1 copied
// out. The peer stores no record and converts no number, so it is a lower
// bound for a parser built on it. Counter ns/line: time per line of text.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "NimbraCmdEmuParse.h"
#include "NimbraCmdEmuPatterns.h"
#include "PeerPattern.h"
#include "TLXX/System.h"

#if NIMBRA_BENCH_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif

namespace {

using Lines = std::vector<std::string>;
namespace P = NAMESPACE_Nimbra::Patterns;
namespace CmdEmu = NAMESPACE_Nimbra::CmdEmu;

// The simulator's answer to `arguments` on a fleet of `drives` drives: one
// element per line, or (joined) the whole text as one element, as the
// plug-in reads page 202.
Lines ToolOutput(int drives, const std::string& arguments, bool joined = false) {
  nimbra_bench::SimulatedFleet fleet(drives);
  Lines lines;
  if (joined) {
    std::string text;
    TLXX::CSystem::ExecuteCommand(nimbra_bench::ToolPath(), arguments, text);
    lines.push_back(text);
  } else {
    TLXX::CSystem::ExecuteCommand(nimbra_bench::ToolPath(), arguments, lines);
  }
  return lines;
}

struct HealthPages {
  Lines page2, page197, page202;
  size_t LineCount() const { return page2.size() + page197.size() + page202.size(); }
};

HealthPages ToolHealthPages() {
  return {ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=2"),
          ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=197"),
          ToolOutput(1, "dump -intelssd 0 DataType=nvmelog LogID=202", true)};
}

void SetLineRate(benchmark::State& state, size_t lines) {
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["ns_per_line"] = benchmark::Counter(
      static_cast<double>(lines) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ParseInventory(benchmark::State& state) {
  const int drives = static_cast<int>(state.range(0));
  const Lines lines = ToolOutput(drives, "show -all -intelssd");
  std::vector<NAMESPACE_Nimbra::CCmdEmuAdapter> records;
  records.reserve(drives);
  for (auto _ : state) {
    records.clear();
    uint64_t count = 0;
    CmdEmu::ParseInventory(lines, records, count);
    benchmark::DoNotOptimize(count);
  }
  if (records.size() != static_cast<size_t>(drives)) state.SkipWithError("wrong drive count");
  SetLineRate(state, lines.size());
}
BENCHMARK(BM_ParseInventory)->ArgName("drives")->Arg(1)->Arg(16)->Arg(64)->Arg(256);

void BM_ParseHealthPages(benchmark::State& state) {
  const HealthPages pages = ToolHealthPages();
  NAMESPACE_Nimbra::CCmdEmuGetlog log;
  for (auto _ : state) {
    log = NAMESPACE_Nimbra::CCmdEmuGetlog();
    CmdEmu::ParsePage2(pages.page2, log);
    CmdEmu::ParsePage197(pages.page197, true, log);
    CmdEmu::ParsePage202(pages.page202, log);
    CmdEmu::AddTemperatureBits(log);
    benchmark::DoNotOptimize(log);
  }
  if (log.m_ThermalThrottleStatus == 0 || log.m_CurrentTemperature == 0)
    state.SkipWithError("a health value was not found");
  SetLineRate(state, pages.LineCount());
}
BENCHMARK(BM_ParseHealthPages);

#if NIMBRA_BENCH_PCRE2

// One pattern compiled by PCRE2 and JIT-compiled. `exact` anchors both ends
// at compile time, which JIT needs; the character classes written bare
// ("[:digit:]") are put inside brackets as PCRE2 expects them.
class Pcre2Pattern {
 public:
  Pcre2Pattern(const std::string& pattern, bool ignoreCase, bool exact) {
    uint32_t options = PCRE2_DOLLAR_ENDONLY;
    if (ignoreCase) options |= PCRE2_CASELESS;
    if (exact) options |= PCRE2_ANCHORED | PCRE2_ENDANCHORED;
    const std::string p = nimbra_bench::ForPeers(pattern);
    int error = 0;
    PCRE2_SIZE offset = 0;
    m_Code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(), options, &error,
                               &offset, nullptr));
    if (!m_Code) throw std::runtime_error("PCRE2 cannot compile " + p);
    pcre2_jit_compile(m_Code.get(), PCRE2_JIT_COMPLETE);
    m_Data.reset(pcre2_match_data_create_from_pattern(m_Code.get(), nullptr));
  }

  // True on a match; group 1 (when it took part) is copied into `value`.
  bool Match(const std::string& text, std::string& value) const {
    const int rc = pcre2_jit_match(m_Code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()),
                                   text.size(), 0, 0, m_Data.get(), nullptr);
    if (rc < 0) return false;
    if (rc > 1) {
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(m_Data.get());
      value.assign(text, ov[2], ov[3] - ov[2]);
    }
    return true;
  }

 private:
  struct CodeFree {
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
  };
  struct DataFree {
    void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
  };
  std::unique_ptr<pcre2_code, CodeFree> m_Code;
  std::unique_ptr<pcre2_match_data, DataFree> m_Data;
};

// Tries each line against `patterns` in order; the first match decides.
// Returns the number of values taken.
size_t FirstMatches(const std::vector<Pcre2Pattern>& patterns, const Lines& lines,
                    std::string& value) {
  size_t values = 0;
  for (const std::string& line : lines) {
    for (const Pcre2Pattern& p : patterns) {
      if (p.Match(line, value)) {
        ++values;
        break;
      }
    }
  }
  return values;
}

void BM_Pcre2Jit_Inventory(benchmark::State& state) {
  const int drives = static_cast<int>(state.range(0));
  const Lines lines = ToolOutput(drives, "show -all -intelssd");
  // The header is searched first, as the plug-in does, then the key lines.
  std::vector<Pcre2Pattern> patterns;
  patterns.emplace_back(P::kInventoryHeader, false, false);
  for (const auto& key : P::kInventory) {
    const char* p = key.pattern;
    patterns.emplace_back(p, false, true);
  }
  std::string value;
  size_t values = 0;
  for (auto _ : state) {
    values = FirstMatches(patterns, lines, value);
    benchmark::DoNotOptimize(value);
  }
  // A block is its header and 26 key lines.
  if (values != static_cast<size_t>(drives) * (1 + P::kInventoryCount))
    state.SkipWithError("wrong number of matched lines");
  SetLineRate(state, lines.size());
}
BENCHMARK(BM_Pcre2Jit_Inventory)->ArgName("drives")->Arg(1)->Arg(16)->Arg(64)->Arg(256);

void BM_Pcre2Jit_HealthPages(benchmark::State& state) {
  const HealthPages pages = ToolHealthPages();
  std::vector<Pcre2Pattern> page2;
  for (const auto& key : P::kPage2) {
    const char* p = key.pattern;
    page2.emplace_back(p, true, true);
  }
  std::vector<Pcre2Pattern> page197;
  page197.emplace_back(P::kPage197, true, true);
  const Pcre2Pattern throttle(P::kPage202Throttle, true, false);
  const Pcre2Pattern wear(P::kPage202Wear, true, false);
  std::string value;
  size_t values = 0;
  for (auto _ : state) {
    values = FirstMatches(page2, pages.page2, value);
    values += FirstMatches(page197, pages.page197, value);
    for (const std::string& text : pages.page202) {
      values += throttle.Match(text, value);
      values += wear.Match(text, value);
    }
    benchmark::DoNotOptimize(value);
  }
  if (values != P::kPage2Count + 1 + 2) state.SkipWithError("wrong number of values");
  SetLineRate(state, pages.LineCount());
}
BENCHMARK(BM_Pcre2Jit_HealthPages);

#endif

}  // namespace

BENCHMARK_MAIN();
