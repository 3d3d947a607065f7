// Helpers of the environment tests: the plug-in's trace lines of levels 2 and
// 16 caught in a file of their own for the object's lifetime.
#pragma once

#include <string>

#include "TLX/Misc.h"
#include "TLX/Trace.h"
#include "TestSupport.h"

namespace nimbra_test {

class TraceCapture {
 public:
  TraceCapture() {
    TLX::Internals::SetTraceFile(m_Dir / "trace.log");
    TLX::Misc::SetModuleTraceMask("Nimbra", 2 | 16);
  }
  ~TraceCapture() {
    TLX::Misc::SetModuleTraceMask("Nimbra", 0);
    TLX::Internals::SetTraceFile("");
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Every line written so far.
  std::string Text() const { return ReadFile(m_Dir / "trace.log"); }

 private:
  TempDir m_Dir;
};

}  // namespace nimbra_test
