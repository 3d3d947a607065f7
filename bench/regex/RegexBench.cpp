// regex_bench: the pattern matcher and its peers on the tool parsers' work.
//
// Workloads (all engines in one run):
//   Inventory  a 64-drive inventory listing; every line is tried against the
//              header search and then the 26 exact key patterns in order until
//              the first match; group 1 is read.
//   Page2      the SMART page lines against the 13 case-insensitive patterns.
//   Page202    the thermal-throttle search in the 4 KiB joined vendor page.
//   Compile    compiling all 44 patterns.
// The counter ns_per_line is the time per line (per search, per compile of
// the whole set). Peers get the class written inside brackets ("[[:digit:]]").

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "Src/NimbraCmdEmuPatterns.h"
#include "TLX/Regex/Regex.h"
#include "bench/support/PeerPattern.h"

#if NIMBRA_BENCH_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif
#if NIMBRA_BENCH_RE2
#include <re2/re2.h>
#endif
#if NIMBRA_BENCH_BOOST
#include <boost/regex.hpp>
#endif

namespace {

namespace P = NAMESPACE_Nimbra::Patterns;

struct PatternDef {
  std::string pattern;  // our syntax
  bool ignoreCase;
  bool exact;
};

using nimbra_bench::ForPeers;

// ---------------------------------------------------------------------------
// Workload data

std::vector<PatternDef> InventoryPatterns() {
  std::vector<PatternDef> defs{{P::kInventoryHeader, false, false}};
  for (const auto& key : P::kInventory) {
    const char* p = key.pattern;
    defs.push_back({p, false, true});
  }
  return defs;
}

std::vector<PatternDef> Page2Patterns() {
  std::vector<PatternDef> defs;
  for (const auto& key : P::kPage2) {
    const char* p = key.pattern;
    defs.push_back({p, true, true});
  }
  return defs;
}

std::vector<PatternDef> Page202Patterns() { return {{P::kPage202Throttle, true, false}}; }

std::vector<PatternDef> AllPatterns() {
  std::vector<PatternDef> defs = InventoryPatterns();
  defs.push_back({P::kVersion, false, true});
  for (const PatternDef& s : Page2Patterns()) defs.push_back(s);
  defs.push_back({P::kPage197, true, true});
  defs.push_back({P::kPage202Throttle, true, false});
  defs.push_back({P::kPage202Wear, true, false});
  return defs;
}

std::string Hex(uint64_t v, int width) {
  static const char* d = "0123456789ABCDEF";
  std::string s(width, '0');
  for (int i = width - 1; i >= 0; --i, v >>= 4) s[i] = d[v & 15];
  return "0x" + s;
}

std::vector<std::string> InventoryLines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 64; ++i) {
    const std::string serial = "PHFT" + std::to_string(620400000 + i * 7) + "400BGN";
    const std::string n = std::to_string(i);
    const std::vector<std::string> block = {
        "- IntelSSD " + serial + " -",
        "",
        "Bootloader: 8B1B012" + std::to_string(i % 10),
        "ControllerDescription: NVM Express Controller",
        "ControllerIDEMode: False",
        "ControllerManufacturer: Intel Corporation",
        "ControllerService: nvme",
        "DevicePath: /dev/nvme" + n + "n1",
        "DeviceStatus: Healthy",
        "DriverDescription: NVM Express driver",
        "DriverMajorVersion: 1",
        "DriverManufacturer: Linux",
        "DriverMinorVersion: 0",
        "ErrorString: ",
        "Firmware: 8DV10171",
        "Index: " + n,
        "LBAFormat: 0",
        "MaximumLBA: " + std::to_string(781422767 + i),
        "ModelNumber: INTEL SSDPE" + std::string(i % 2 ? "2MD400G4" : "DMD400G4"),
        "NativeMaxLBA: 781422767",
        "NumLBAFormats: 6",
        "NVMePowerState: 0",
        "PhysicalSize: 400088457216",
        "PowerGovernerMode: 0 (25W)",
        "ProductFamily: Intel SSD DC P3700 Series",
        "SectorSize: 512",
        "SerialNumber: " + serial,
        "TempThreshold: 85 degree C",
        "",
    };
    lines.insert(lines.end(), block.begin(), block.end());
  }
  return lines;
}

std::vector<std::string> Page2Lines() {
  return {"- IntelSSD PHFT620400000400BGN -",
          "",
          "SMART / Health Information (LogID 2)",
          "",
          "Critical Warnings: 0x00",
          "Available Spare Space has fallen below the threshold: 0",
          "Temperature has exceeded a critical threshold: 0",
          "Device reliability has degraded: 0",
          "Media is in a read-only mode: 0",
          "Volatile memory backup device has failed: 0",
          "Temperature: 309 Kelvin",
          "Available Spare Normalized percentage of the remaining spare capacity available: 100",
          "Available Spare Threshold Percentage: 10",
          "Percentage Used: 2",
          "Data Units Read: " + Hex(0x3A2F11, 8),
          "Data Units Written: " + Hex(0x5C01AB, 8),
          "Host Read Commands: " + Hex(0x1F00A1B2, 8),
          "Host Write Commands: " + Hex(0x2A33C4D5, 8),
          "Controller Busy Time: " + Hex(0x1234, 8),
          "Power Cycles: " + Hex(0x51, 8),
          "Power On Hours: " + Hex(0x5A3C, 8),
          "Unsafe Shutdowns: " + Hex(0x4, 8),
          "Media Errors: " + Hex(0, 8),
          "Number of Error Information Log Entries: " + Hex(0, 8)};
}

// The vendor page as the runner hands it over: lines joined without separators.
std::string Page202Text() {
  struct A {
    const char* id;
    const char* description;
  };
  const A attrs[] = {{"AB", "Program Fail Count"},
                     {"AC", "Erase Fail Count"},
                     {"AD", "Wear Leveling Count"},
                     {"B8", "End-to-End Error Detection Count"},
                     {"C7", "CRC Error Count"},
                     {"E2", "Timed Workload Media Wear"},
                     {"E3", "Timed Workload Host Read/Write Ratio"},
                     {"E4", "Timed Workload Timer"},
                     {"F0", "Retry Buffer Overflow Count"},
                     {"F3", "PLL Lock Loss Count"},
                     {"F4", "NAND Bytes Written"},
                     {"F5", "Host Bytes Written"}};
  std::string text = "- IntelSSD PHFT620400000400BGN -Vendor Specific SMART Attributes (LogID 202)";
  int round = 0;
  while (text.size() < 4096 - 200) {
    for (const A& a : attrs) {
      if (text.size() >= 4096 - 200) break;
      text += std::string("ID: ") + a.id;
      if (std::strcmp(a.id, "AD") == 0) {
        text += std::string("Description: ") + a.description + ": 98";
      } else {
        text += std::string("Description: ") + a.description + "Normalized: 100";
      }
      text += "Raw: " + Hex(round * 131 + 7, 12);
    }
    ++round;
  }
  text += "ID: EADescription: Thermal Throttle StatusNormalized: 100Raw: " + Hex(0, 12);
  while (text.size() < 4096) text += ' ';
  return text;
}

// ---------------------------------------------------------------------------
// Engines: Run(i, text, group1) -> matched

class Ours {
 public:
  static constexpr const char* kName = "ours";
  explicit Ours(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      m_Res.emplace_back(s.pattern.c_str(), s.ignoreCase ? P::kFlagsIgnoreCase : P::kFlagsExact);
      m_Exact.push_back(s.exact);
    }
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) const {
    const TLX::Regex::MatchResultT r = m_Exact[i] ? m_Res[i].MatchExact(text.data(), text.size())
                                                  : m_Res[i].Match(text.data(), text.size());
    if (!r.IsMatched()) return false;
    const int64_t s = r.GetGroupStart(1);
    if (s >= 0) g1 = std::string_view(text.data() + s, static_cast<size_t>(r.GetGroupEnd(1) - s));
    return true;
  }

 private:
  std::vector<TLX::Regex::basic_regex<char>> m_Res;
  std::vector<bool> m_Exact;
};

// The plug-in's convenience form: match_exact / search with a copy of the subject, Group1() text.
class OursConvenience {
 public:
  static constexpr const char* kName = "ours_match_result";
  explicit OursConvenience(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      m_Res.emplace_back(s.pattern.c_str(), s.ignoreCase ? P::kFlagsIgnoreCase : P::kFlagsExact);
      m_Exact.push_back(s.exact);
    }
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) {
    auto r = m_Exact[i] ? m_Res[i].match_exact(text.data(), text.size())
                        : m_Res[i].search(text.data(), text.size());
    if (!r.IsMatched()) return false;
    if (r.Result().GetHighestGroup() >= 1) {
      m_Value = r.Group1();
      g1 = m_Value;
    }
    return true;
  }

 private:
  std::vector<TLX::Regex::basic_regex<char>> m_Res;
  std::vector<bool> m_Exact;
  std::string m_Value;
};

class StdRegex {
 public:
  static constexpr const char* kName = "std_regex";
  explicit StdRegex(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      auto f = std::regex::ECMAScript;
      if (s.ignoreCase) f |= std::regex::icase;
      m_Res.emplace_back(ForPeers(s.pattern), f);
      m_Exact.push_back(s.exact);
    }
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) {
    const char* b = text.data();
    const char* e = b + text.size();
    const bool ok =
        m_Exact[i] ? std::regex_match(b, e, m_M, m_Res[i]) : std::regex_search(b, e, m_M, m_Res[i]);
    if (ok && m_M.size() > 1 && m_M[1].matched)
      g1 = std::string_view(m_M[1].first, static_cast<size_t>(m_M[1].length()));
    return ok;
  }

 private:
  std::vector<std::regex> m_Res;
  std::vector<bool> m_Exact;
  std::cmatch m_M;
};

#if NIMBRA_BENCH_BOOST
class BoostRegex {
 public:
  static constexpr const char* kName = "boost_regex";
  explicit BoostRegex(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      boost::regex::flag_type f = boost::regex::perl;
      if (s.ignoreCase) f = f | boost::regex::icase;
      m_Res.emplace_back(ForPeers(s.pattern), f);
      m_Exact.push_back(s.exact);
    }
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) {
    const char* b = text.data();
    const char* e = b + text.size();
    const bool ok = m_Exact[i] ? boost::regex_match(b, e, m_M, m_Res[i])
                               : boost::regex_search(b, e, m_M, m_Res[i]);
    if (ok && m_M.size() > 1 && m_M[1].matched)
      g1 = std::string_view(m_M[1].first, static_cast<size_t>(m_M[1].length()));
    return ok;
  }

 private:
  std::vector<boost::regex> m_Res;
  std::vector<bool> m_Exact;
  boost::cmatch m_M;
};
#endif

#if NIMBRA_BENCH_RE2
class Re2 {
 public:
  static constexpr const char* kName = "re2";
  explicit Re2(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      RE2::Options o;
      o.set_case_sensitive(!s.ignoreCase);
      o.set_log_errors(false);
      m_Res.push_back(std::make_unique<RE2>(ForPeers(s.pattern), o));
      m_Exact.push_back(s.exact);
    }
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) const {
    re2::StringPiece sp;
    const RE2& re = *m_Res[i];
    const RE2::Anchor anchor = m_Exact[i] ? RE2::ANCHOR_BOTH : RE2::UNANCHORED;
    re2::StringPiece groups[2];
    const int n = std::min(re.NumberOfCapturingGroups() + 1, 2);
    if (!re.Match(text, 0, text.size(), anchor, groups, n)) return false;
    if (n > 1 && groups[1].data()) g1 = std::string_view(groups[1].data(), groups[1].size());
    return true;
  }

 private:
  std::vector<std::unique_ptr<RE2>> m_Res;
  std::vector<bool> m_Exact;
};
#endif

#if NIMBRA_BENCH_PCRE2
template <bool kJit>
class Pcre2 {
 public:
  static constexpr const char* kName = kJit ? "pcre2_jit" : "pcre2_interpreter";
  explicit Pcre2(const std::vector<PatternDef>& defs) {
    for (const PatternDef& s : defs) {
      uint32_t o = PCRE2_DOLLAR_ENDONLY;
      if (s.ignoreCase) o |= PCRE2_CASELESS;
      if (s.exact) o |= PCRE2_ANCHORED | PCRE2_ENDANCHORED;  // compile-time, as JIT needs it
      const std::string p = ForPeers(s.pattern);
      int err = 0;
      PCRE2_SIZE off = 0;
      pcre2_code* code =
          pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(), o, &err, &off, nullptr);
      if (kJit) pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
      m_Codes.push_back(code);
      m_Data.push_back(pcre2_match_data_create_from_pattern(code, nullptr));
    }
  }
  ~Pcre2() {
    for (auto* d : m_Data) pcre2_match_data_free(d);
    for (auto* c : m_Codes) pcre2_code_free(c);
  }
  bool Run(size_t i, const std::string& text, std::string_view& g1) const {
    const auto* s = reinterpret_cast<PCRE2_SPTR>(text.data());
    const int rc = kJit ? pcre2_jit_match(m_Codes[i], s, text.size(), 0, 0, m_Data[i], nullptr)
                        : pcre2_match(m_Codes[i], s, text.size(), 0, 0, m_Data[i], nullptr);
    if (rc < 0) return false;
    if (rc > 1) {
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(m_Data[i]);
      g1 = std::string_view(text.data() + ov[2], ov[3] - ov[2]);
    }
    return true;
  }

 private:
  std::vector<pcre2_code*> m_Codes;
  std::vector<pcre2_match_data*> m_Data;
};
#endif

// ---------------------------------------------------------------------------
// Benchmarks

template <class E>
void Inventory(benchmark::State& state) {
  E engine(InventoryPatterns());
  const std::vector<std::string> lines = InventoryLines();
  size_t values = 0, bytes = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      std::string_view g1;
      for (size_t i = 0; i < 27; ++i) {
        if (engine.Run(i, line, g1)) {
          ++values;
          bytes += g1.size();
          break;
        }
      }
    }
  }
  benchmark::DoNotOptimize(bytes);
  if (values != static_cast<size_t>(state.iterations()) * 64 * 27)
    state.SkipWithError("wrong number of matched lines");
  state.counters["ns_per_line"] = benchmark::Counter(
      static_cast<double>(lines.size()) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class E>
void Page2(benchmark::State& state) {
  E engine(Page2Patterns());
  const std::vector<std::string> lines = Page2Lines();
  size_t values = 0;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      std::string_view g1;
      for (size_t i = 0; i < 13; ++i) {
        if (engine.Run(i, line, g1)) {
          values += g1.size() > 0;
          break;
        }
      }
    }
  }
  if (values != static_cast<size_t>(state.iterations()) * 13)
    state.SkipWithError("wrong number of matched lines");
  state.counters["ns_per_line"] = benchmark::Counter(
      static_cast<double>(lines.size()) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class E>
void Page202(benchmark::State& state) {
  E engine(Page202Patterns());
  const std::string text = Page202Text();
  size_t found = 0;
  for (auto _ : state) {
    std::string_view g1;
    found += engine.Run(0, text, g1) && g1 == "100";
  }
  if (found != static_cast<size_t>(state.iterations())) state.SkipWithError("value not found");
  state.counters["ns_per_line"] = benchmark::Counter(
      1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class E>
void Compile(benchmark::State& state) {
  const std::vector<PatternDef> defs = AllPatterns();
  for (auto _ : state) {
    E engine(defs);
    benchmark::DoNotOptimize(&engine);
  }
  state.counters["ns_per_line"] = benchmark::Counter(
      1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class E>
void RegisterAll() {
  const std::string n = E::kName;
  benchmark::RegisterBenchmark(("Inventory/" + n).c_str(), Inventory<E>);
  benchmark::RegisterBenchmark(("Page2/" + n).c_str(), Page2<E>);
  benchmark::RegisterBenchmark(("Page202/" + n).c_str(), Page202<E>);
  benchmark::RegisterBenchmark(("Compile/" + n).c_str(), Compile<E>);
}

// Single-call costs of ours: a pattern that rejects a line, a line that matches.
void OursSingle(benchmark::State& state, const char* pattern, int flags, const char* line) {
  const TLX::Regex::basic_regex<char> re(pattern, flags);
  const size_t n = std::strlen(line);
  for (auto _ : state) {
    auto r = re.MatchExact(line, n);
    benchmark::DoNotOptimize(r);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll<Ours>();
  RegisterAll<OursConvenience>();
#if NIMBRA_BENCH_PCRE2
  RegisterAll<Pcre2<true>>();
  RegisterAll<Pcre2<false>>();
#endif
#if NIMBRA_BENCH_RE2
  RegisterAll<Re2>();
#endif
#if NIMBRA_BENCH_BOOST
  RegisterAll<BoostRegex>();
#endif
  RegisterAll<StdRegex>();
  benchmark::RegisterBenchmark("Single/ours_rejected_pattern", OursSingle, P::kInventory[0].pattern,
                               0, "SerialNumber: PHFT620400000400BGN");
  benchmark::RegisterBenchmark("Single/ours_rejected_same_first_char", OursSingle,
                               P::kInventory[3].pattern, 0,
                               "ControllerManufacturer: Intel Corporation");
  benchmark::RegisterBenchmark("Single/ours_matched_index", OursSingle, P::kInventory[0].pattern, 0,
                               "Index: 12");
  benchmark::RegisterBenchmark("Single/ours_matched_temp_threshold", OursSingle,
                               P::kInventory[25].pattern, 0, "TempThreshold: 85 degree C");
  benchmark::RegisterBenchmark("Single/ours_matched_page2_folded", OursSingle, P::kPage2[8].pattern,
                               8, "Percentage Used: 2");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
