// The fleet churn: a process of its own (the stress test program started
// with --churn) that edits the simulated fleet through `isdct sim-*` while a
// plug-in watches it: temperatures and warning bits, drives added, removed,
// pulled and put back, faults switched on and off, per drive and fleet-wide.
//
// Every transition is logged before the edit runs, one line each:
//   <ms since the epoch> <serial, or * for the fleet> <key> <from> <to>
// so whatever the edit causes happens at or after the logged time. Keys:
// drive (from "none" or "initial" to the model, or from the model to "none";
// blanks in models written as '_'), present, temperature, criticalWarnings
// (hexadecimal), faults.<command> (a kind, "none" when off). From is "-" for
// facts of the starting fleet. The log is written in segments (SegmentPath)
// of about kSegmentBytes; a segment is closed before the next one is created,
// so a reader may delete a segment once the next exists and it has read it.
//
// On SIGTERM, on the death of its parent or when its time is up, the churn
// clears every fault, rewrites the sysfs tree and exits: 0, or 1 when an
// edit failed (with the edit on stderr).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbra_test {

constexpr size_t kSegmentBytes = 1u << 20;
// The churn keeps at most this many drives present (and at least one).
constexpr int kMaxDrives = 6;

std::string SegmentPath(const std::string& logDir, int segment);

// The churn's command line after the program name and "--churn":
// ISDCT FLEET SYSFS LOGDIR SECONDS SEED.
std::vector<std::string> ChurnArguments(const std::string& isdct, const std::string& fleet,
                                        const std::string& sysfs, const std::string& logDir,
                                        double seconds, uint64_t seed);

// Runs the churn with the arguments ChurnArguments made; returns the exit
// status. ISDCT_SIM_FLEET is set to FLEET for the sim commands.
int ChurnMain(const std::vector<std::string>& arguments);

}  // namespace nimbra_test
