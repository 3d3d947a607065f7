#include "HostNotes.h"

#include "PI/ConfigFile.h"
#include "TLXX/System.h"

namespace nimbra_host {

uint64_t TimeoutMark() { return TLXX::CSystem::Counters().timedOut; }

uint64_t ConfigWriteMark() {
  PI::ConfigWriteFailure failure;
  return PI::CConfigFile::LastWriteFailure(failure) ? failure.sequence : 0;
}

std::string TimeoutNote(uint64_t mark) {
  TLXX::TimedOutRun run;
  if (!TLXX::CSystem::LastTimedOutRun(run) || run.sequence <= mark) return std::string();
  const unsigned ms = run.limitMs;
  const std::string limit =
      ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return " (the SSD tool run '" + run.program + (run.arguments.empty() ? "" : " ") + run.arguments +
         "' was stopped after its time limit of " + limit + ")";
}

std::string ConfigWriteNote(uint64_t mark) {
  PI::ConfigWriteFailure failure;
  if (!PI::CConfigFile::LastWriteFailure(failure) || failure.sequence <= mark) {
    return std::string();
  }
  return " (writing " + failure.path + ": " + failure.reason + ")";
}

}  // namespace nimbra_host
