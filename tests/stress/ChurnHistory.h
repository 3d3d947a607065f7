// What the churn (Churn.h) did to each drive, read from its log while it
// runs, and the judgement of a plug-in event against it: an event must name a
// transition the churn really made, at or before the event's time.
//
//   warning-bit events   the bit was set in some state the churn gave the
//                        drive (its warning byte, or the temperature band of
//                        its reading plus the form-factor margin)
//   warnings cleared     the drive's word was non-zero at some time
//   adapter removed      the drive was removed, pulled, or its inventory
//                        faulted (its own show fault or a fleet-wide one)
//   adapter added        the drive was added, or came back after one of the
//                        above
//   anything else        no churn transition causes it (sizes never change)
//
// Memory grows with the number of drives the churn ever made, not with the
// length of the log; finished segments are deleted as they are read. Not
// thread-safe: one owner calls CatchUp and Judge.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "PI/Records.h"

namespace nimbra_test {

class ChurnHistory {
 public:
  explicit ChurnHistory(std::string logDir) : m_LogDir(std::move(logDir)) {}

  // Reads every complete line the churn has written since the last call.
  void CatchUp();

  // "" when `event`, about the adapter (or, when `adapter` is false, the
  // drive) of drive `serial`, follows from the log read so far; otherwise
  // the reason it does not.
  std::string Judge(const PI::CEvent& event, const std::string& serial, bool adapter) const;

  bool Knows(const std::string& serial) const { return m_Drives.count(serial) != 0; }
  uint64_t Transitions() const { return m_Transitions; }

 private:
  static constexpr uint64_t kNever = ~uint64_t{0};

  struct Facts {
    bool addInCard = false;
    int temperature = 0;
    uint32_t warnings = 0;
    uint64_t firstBit[10];  // time each bit of the word was first set
    uint64_t firstNonZero = kNever;
    uint64_t gone = kNever;   // first removal, pull or inventory fault
    uint64_t added = kNever;  // added by the churn
    Facts() {
      for (uint64_t& t : firstBit) t = kNever;
    }
  };

  void Apply(const std::string& line);

  std::string m_LogDir;
  int m_Segment = 0;
  uint64_t m_Offset = 0;
  std::string m_Partial;
  std::map<std::string, Facts> m_Drives;
  uint64_t m_Transitions = 0;
};

// The warning word the plug-in derives from a drive's warning byte and its
// temperature reading (margin added: 5 for add-in cards, 14 otherwise).
uint32_t WarningWord(uint32_t warnings, int reading, bool addInCard);

}  // namespace nimbra_test
