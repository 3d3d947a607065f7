// Trace streams: one line per statement, written only when the module's trace
// mask has the statement's level bit. A line carries the time, the thread,
// the module, the level, the source file and line, and the message, and goes
// to stderr or to the file the host names. Lines from different threads never
// interleave. Writing never throws.
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

// Host settings: trace destination ("" = stderr). Returns false when the file
// cannot be opened (stderr stays the destination).
bool SetTraceFile(const std::string& path);

// Writes one line for the host itself (module "hostfw"), whatever the masks;
// used for faults the host catches at its boundaries.
void HostTrace(const std::string& message);

}  // namespace Internals
}  // namespace TLX
