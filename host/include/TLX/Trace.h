// Trace streams: one line per statement, written only when the module's trace
// mask has the statement's level bit (tested once, when the statement starts).
// A line reads
//   2024-05-01 12:00:00.123 [4711] Nimbra L2 Src/Nimbra:120 message
// (UTC time, kernel thread id, module, level, source file:line, message with
// line breaks turned into blanks) and goes to stderr or to the file the host
// names. Each line is written with one write() under a lock, so lines from
// different threads never interleave. Building and writing a line never
// throws and is not a cancellation point; a line that cannot be written is
// dropped. A CTraceStreamBuffer is used by one thread, within one statement.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "TLX/Misc.h"

namespace TLX {
namespace Internals {

class CTraceStreamBuffer {
 public:
  CTraceStreamBuffer(unsigned level, const Misc::CModuleInfo& module, const char* file, int line);
  ~CTraceStreamBuffer();  // writes the line when enabled
  CTraceStreamBuffer(const CTraceStreamBuffer&) = delete;
  CTraceStreamBuffer& operator=(const CTraceStreamBuffer&) = delete;

  bool Enabled() const { return m_Enabled; }
  CTraceStreamBuffer& operator<<(const std::string& text);
  CTraceStreamBuffer& operator<<(const char* text);
  CTraceStreamBuffer& FormatInt(long long value);

 private:
  bool m_Enabled;
  unsigned m_Level;
  const Misc::CModuleInfo& m_Module;
  const char* m_File;
  int m_Line;
  std::string m_Text;
};

// Host setting: trace destination, appended to ("" = stderr). Returns false
// when the file cannot be opened; the previous destination then stays.
bool SetTraceFile(const std::string& path);

// Writes one line for the host itself (module "hostfw"), whatever the masks;
// used for faults the host catches at its boundaries.
void HostTrace(const std::string& message);

}  // namespace Internals
}  // namespace TLX
