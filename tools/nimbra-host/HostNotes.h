// HostNotes: what the host stand-in knows about a failed request that the
// plug-in's status does not say, as a note for the failure line. Each takes
// a mark made before the request (so that an older failure is never blamed)
// and gives "" when nothing new happened.
#pragma once

#include <cstdint>
#include <string>

namespace nimbra_host {

// Marks: the host's count of tool runs stopped at their time limit, and the
// number of the last failed settings write (0 when none failed).
uint64_t TimeoutMark();
uint64_t ConfigWriteMark();

// " (the SSD tool run 'PROGRAM ARGS' was stopped after its time limit of
// S s)" for the last run stopped at its limit after `mark`.
std::string TimeoutNote(uint64_t mark);

// " (writing PATH: STEP: REASON)" for the last failed settings write after
// `mark`.
std::string ConfigWriteNote(uint64_t mark);

}  // namespace nimbra_host
