// Noise for the garbage fault: what a tool that has lost its mind might print.
//
// The text is deterministic (the same command and seed give the same bytes)
// and holds, in this order: lines that almost match the command's key lines
// but must not be taken for them, a line of bytes above 127, lines ending in
// CR-LF, lines with NUL bytes (one of them a key line followed by a NUL and
// more text), one line of more than 1 MiB, more near misses,
// and a last line without a line feed. No line of it is a valid key line of
// the command, it never says "successful", and its first line is neither
// "No results" nor the invalid-index message, so a correct reader finds
// nothing in it.
#pragma once

#include <string>

#include "Faults.h"

namespace isdct_sim {

std::string Garbage(Command command, const std::string& seed);

}  // namespace isdct_sim
