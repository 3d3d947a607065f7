#include "ChurnHistory.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Churn.h"
#include "NimbraCodes.h"

namespace nimbra_test {

namespace {

using namespace NAMESPACE_Nimbra;

struct Rule {
  uint32_t event;
  uint32_t severity;
  uint32_t bit;  // 0: not a warning-bit event
};
constexpr Rule kRules[] = {
    {EVT_BACKUP_FAILED, SEVERITY_ERROR, 0x10},
    {EVT_RELIABILITY_DEGRADED, SEVERITY_WARNING, 0x04},
    {EVT_TEMP_80_TO_83, SEVERITY_ERROR, 0x40},
    {EVT_TEMP_84_UP, SEVERITY_ERROR, 0x80},
    {EVT_TEMP_78_TO_79, SEVERITY_WARNING, 0x20},
    {EVT_TEMP_80_UP, SEVERITY_WARNING, 0x200},
    {EVT_SPARE_BELOW_THRESHOLD, SEVERITY_ERROR, 0x01},
    {EVT_WARNINGS_CLEARED, SEVERITY_INFO, 0},
    {EVT_ADAPTER_ADDED, SEVERITY_INFO, 0},
    {EVT_ADAPTER_REMOVED, SEVERITY_WARNING, 0},
};

int BitIndex(uint32_t bit) { return __builtin_ctz(bit); }

}  // namespace

uint32_t WarningWord(uint32_t warnings, int reading, bool addInCard) {
  const int t = reading + (addInCard ? 5 : 14);
  uint32_t word = warnings;
  if (t == 78 || t == 79) word |= 0x20;
  if (t > 79) word |= 0x200;
  if (t >= 80 && t <= 83) word |= 0x40;
  if (t > 83) word |= 0x80;
  return word;
}

void ChurnHistory::CatchUp() {
  for (;;) {
    // The next segment exists only once this one is closed: read this one to
    // its end first, then move on.
    const bool closed = access(SegmentPath(m_LogDir, m_Segment + 1).c_str(), F_OK) == 0;
    std::ifstream in(SegmentPath(m_LogDir, m_Segment), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_Offset));
    std::ostringstream text;
    text << in.rdbuf();
    m_Offset += text.str().size();
    m_Partial += text.str();
    size_t start = 0;
    for (size_t end; (end = m_Partial.find('\n', start)) != std::string::npos; start = end + 1) {
      Apply(m_Partial.substr(start, end - start));
    }
    m_Partial.erase(0, start);
    if (!closed) return;
    unlink(SegmentPath(m_LogDir, m_Segment).c_str());
    ++m_Segment;
    m_Offset = 0;
  }
}

void ChurnHistory::Apply(const std::string& line) {
  std::istringstream in(line);
  uint64_t time = 0;
  std::string serial, key, from, to;
  if (!(in >> time >> serial >> key >> from >> to)) return;
  if (from != "-" && from != "initial") ++m_Transitions;
  const bool faulted = key == "faults.show" && to != "none";
  if (serial == "*") {
    // A fleet-wide inventory fault that answers without a drive hides every
    // drive there is; one that prints nothing or hangs leaves the tree as it
    // is, so it explains no removal.
    const bool hides = faulted && to != "empty" && to != "stderr-only" && to != "hang";
    for (auto& d : m_Drives) {
      if (hides) d.second.gone = std::min(d.second.gone, time);
    }
    return;
  }
  Facts& f = m_Drives[serial];
  if (key == "drive") {
    if (from == "none" || from == "initial") f.addInCard = to.compare(0, 12, "INTEL_SSDPED") == 0;
    if (from == "none") f.added = std::min(f.added, time);
    if (to == "none") f.gone = std::min(f.gone, time);
  } else if ((key == "present" && to == "false") || faulted) {
    f.gone = std::min(f.gone, time);
  } else if (key == "temperature" || key == "criticalWarnings") {
    if (key == "temperature") f.temperature = std::stoi(to);
    if (key == "criticalWarnings") f.warnings = static_cast<uint32_t>(std::stoul(to, nullptr, 16));
    const uint32_t word = WarningWord(f.warnings, f.temperature, f.addInCard);
    for (int b = 0; b < 10; ++b) {
      if ((word >> b & 1) && f.firstBit[b] == kNever) f.firstBit[b] = time;
    }
    if (word != 0 && f.firstNonZero == kNever) f.firstNonZero = time;
  }
}

std::string ChurnHistory::Judge(const PI::CEvent& e, const std::string& serial,
                                bool adapter) const {
  const auto found = m_Drives.find(serial);
  if (found == m_Drives.end()) return "drive " + serial + " is not in the churn log";
  const Facts& f = found->second;
  const Rule* rule = nullptr;
  for (const Rule& r : kRules) {
    if (r.event == e.m_EventID) rule = &r;
  }
  if (rule == nullptr) return "no churn transition raises event " + std::to_string(e.m_EventID);
  if (!adapter) return "event " + std::to_string(e.m_EventID) + " names a drive, not an adapter";
  if (e.m_Severity != rule->severity) return "severity " + std::to_string(e.m_Severity);
  uint64_t since = kNever;
  if (rule->bit != 0) {
    since = f.firstBit[BitIndex(rule->bit)];
  } else if (e.m_EventID == EVT_WARNINGS_CLEARED) {
    since = f.firstNonZero;
  } else {
    since = f.gone;
    if (e.m_EventID == EVT_ADAPTER_ADDED) since = std::min(since, f.added);
  }
  if (since == kNever) return "the churn never made that transition on " + serial;
  if (since > e.m_Time) {
    return "the event is " + std::to_string(since - e.m_Time) + " ms older than its transition";
  }
  return "";
}

}  // namespace nimbra_test
