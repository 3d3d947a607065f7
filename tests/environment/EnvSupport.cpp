#include "EnvSupport.h"

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "TLX/Misc.h"
#include "TLX/Trace.h"

namespace nimbra_test {

namespace {
constexpr uid_t kNobody = 65534;
constexpr unsigned kTraceLevels = 2 | 16;
}  // namespace

TraceCapture::TraceCapture() {
  TLX::Internals::SetTraceFile(m_Dir / "trace.log");
  TLX::Misc::SetModuleTraceMask("Nimbra", kTraceLevels);
}

TraceCapture::~TraceCapture() {
  TLX::Misc::SetModuleTraceMask("Nimbra", 0);
  TLX::Internals::SetTraceFile("");
}

std::string TraceCapture::Text() const { return ReadFile(m_Dir / "trace.log"); }

AsUnprivileged::AsUnprivileged() {
  if (geteuid() != 0) return;
  // setfsuid is per thread and drops the file-access capabilities with the id.
  setfsuid(kNobody);
  m_Dropped = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) == kNobody;
  m_Effective = m_Dropped;
}

AsUnprivileged::~AsUnprivileged() {
  if (m_Dropped) setfsuid(0);
}

void OpenToEveryone(const nimbra_test::TempDir& dir) { chmod(dir.path().c_str(), 0755); }

}  // namespace nimbra_test
