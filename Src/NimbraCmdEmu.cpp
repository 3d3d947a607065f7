// The command emulation: runs the SSD tool with the command line of each
// operation, judges the run, and hands the text to the parsers. Takes no
// lock of its own and touches no guarded member but through its arguments
// (GetAdapterCount: m_CmdEmuAdapters, whose callers hold m_DataLock).
#include <sys/stat.h>
#include <unistd.h>

#include <boost/format.hpp>

#include "NimbraCmdEmuParse.h"
#include "NimbraImpl.h"
#include "NimbraTrace.h"
#include "PI/Status.h"
#include "TLXX/System.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr int kRunnerSucceeded = 1;

std::string DriveCommand(const char* format, uint32_t index) {
  return (boost::format(format) % index).str();
}

// The setting text of CmdEmu_set for kinds 1 to 4; empty for any other kind.
std::string SettingText(const std::string& name, int32_t kind, int32_t value) {
  switch (kind) {
    case 1:
      return (boost::format("%s=%dGB") % name % value).str();
    case 2:
      return (boost::format("%s=X%d") % name % value).str();
    case 3:
      return (boost::format("%s=%d") % name % value).str();
    case 4:
      return (boost::format("%s=native") % name).str();
    default:
      return std::string();
  }
}

// Why a run of `program` failed, in words, for the trace.
std::string RunFailure(int rc, const std::string& program) {
  switch (rc) {
    case TLXX::EXEC_NOT_RUNNABLE: {
      struct stat st;
      if (stat(program.c_str(), &st) != 0) return "no such file";
      if (S_ISDIR(st.st_mode)) return "a folder, not a program";
      if (access(program.c_str(), X_OK) != 0) return "not executable";
      return "the shell could not execute it";
    }
    case TLXX::EXEC_TIMED_OUT:
      return "no answer within the time limit";
    case TLXX::EXEC_SIGNALLED:
      return "killed by a signal";
    case TLXX::EXEC_OUTPUT_TOO_LARGE:
      return "too much output";
    default:
      return "no process could be started";
  }
}

// The runner's status, then what went wrong with which program.
void TraceRunFailure(int rc, const std::string& program, const std::string& arguments) {
  NIMBRA_TRACE(2, kUnitCmdEmu, "TLXX::CSystem::ExecuteCommand returned with %d", rc);
  NIMBRA_TRACE(2, kUnitCmdEmu, "Cannot run the SSD tool %s %s: %s", program, arguments,
               RunFailure(rc, program));
}

void TraceNoOutput(const std::string& program, const std::string& arguments) {
  NIMBRA_TRACE(2, kUnitCmdEmu, "The SSD tool %s %s printed nothing", program, arguments);
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetVersion(std::string& version) {
  version.clear();
  std::vector<std::string> lines;
  const int rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, "version", lines);
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, "version");
    return PI::ERR_TOOL_FAILED;
  }
  if (lines.empty()) {
    TraceNoOutput(m_ToolPath, "version");
    return PI::ERR_TOOL_FAILED;
  }
  return CmdEmu::ParseVersion(lines, version);
}

uint32_t IPLUGINAPI_IMPL::GetAdapterCount(uint64_t& count) {
  return TakeInventory(m_CmdEmuAdapters, count);
}

uint32_t IPLUGINAPI_IMPL::TakeInventory(std::vector<CCmdEmuAdapter>& records, uint64_t& count) {
  records.clear();
  std::vector<std::string> lines;
  const char* const arguments = "show -all -intelssd";
  const int rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, lines);
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  if (lines.empty()) {
    TraceNoOutput(m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  return CmdEmu::ParseInventory(lines, records, count);
}

uint32_t IPLUGINAPI_IMPL::GetLogPage(uint32_t index, int page, std::vector<std::string>& lines) {
  NIMBRA_TRACE(2, kUnitCmdEmu, "TLXX::CSystem::ExecuteCommand start");
  // Built by appending: a formatter here costs more than parsing the page.
  std::string arguments = "dump -intelssd ";
  arguments += std::to_string(index);
  arguments += " DataType=nvmelog LogID=";
  arguments += std::to_string(page);
  int rc;
  if (page == 202) {
    // Page 202's patterns expect the fields of one attribute back to back, as
    // the runner's single-text form joins the lines.
    std::string text;
    rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, text);
    if (rc == kRunnerSucceeded && !text.empty()) lines.push_back(std::move(text));
  } else {
    rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, lines);
  }
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  NIMBRA_TRACE(2, kUnitCmdEmu, "TLXX::CSystem::ExecuteCommand returned with %d", rc);
  if (lines.empty()) TraceNoOutput(m_ToolPath, arguments);
  if (lines.empty() || CmdEmu::IsInvalidIndexAnswer(lines)) {
    return PI::ERR_TOOL_FAILED;
  }
  return 0;
}

uint32_t IPLUGINAPI_IMPL::GetLogPageInformation(uint32_t index, CCmdEmuGetlog& log,
                                                bool addInCard) {
  NIMBRA_TRACE(2, kUnitCmdEmu, "GetLogPageInformation: begin");
  std::vector<std::string> lines;
  uint32_t rc = GetLogPage(index, 2, lines);
  if (rc != 0) return rc;
  CmdEmu::ParsePage2(lines, log);

  lines.clear();
  rc = GetLogPage(index, 197, lines);
  if (rc != 0) return rc;
  CmdEmu::ParsePage197(lines, addInCard, log);

  lines.clear();
  rc = GetLogPage(index, 202, lines);
  if (rc != 0) return rc;
  CmdEmu::ParsePage202(lines, log);

  CmdEmu::AddTemperatureBits(log);
  NIMBRA_TRACE(2, kUnitCmdEmu, "GetLogPageInformation: end");
  return 0;
}

uint32_t IPLUGINAPI_IMPL::CmdEmu_format(uint32_t index, int32_t) {
  std::vector<std::string> lines;
  const std::string arguments = DriveCommand(
      "start -f -intelssd %d Function=nvmeformat LBAFormat=0 SecureEraseSetting=0 "
      "ProtectionInformation=0 MetadataSetting=0 2>&1",
      index);
  const int rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, lines);
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  const uint32_t status = CmdEmu::FindSuccessLine(lines) != nullptr ? 0 : PI::ERR_TOOL_FAILED;
  NIMBRA_TRACE(2, kUnitCmdEmu, "Format returned with: %d", status);
  return status;
}

uint32_t IPLUGINAPI_IMPL::CmdEmu_delete(uint32_t index) {
  std::vector<std::string> lines;
  const std::string arguments = DriveCommand("delete -f -intelssd %d 2>&1", index);
  const int rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, lines);
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  const uint32_t status = CmdEmu::FindSuccessLine(lines) != nullptr ? 0 : PI::ERR_TOOL_FAILED;
  NIMBRA_TRACE(2, kUnitCmdEmu, "Delete returned with: %d", status);
  return status;
}

uint32_t IPLUGINAPI_IMPL::CmdEmu_set(uint32_t index, const std::string& name, int32_t kind,
                                     int32_t value) {
  // The tool's settings command: "set -intelssd N", then the one setting.
  std::string arguments = DriveCommand("set -intelssd %d", index);
  const std::string setting = SettingText(name, kind, value);
  if (!setting.empty()) arguments += " " + setting;
  std::vector<std::string> lines;
  const int rc = TLXX::CSystem::ExecuteCommand(m_ToolPath, arguments, lines);
  if (rc != kRunnerSucceeded) {
    TraceRunFailure(rc, m_ToolPath, arguments);
    return PI::ERR_TOOL_FAILED;
  }
  if (lines.empty()) TraceNoOutput(m_ToolPath, arguments);
  if (lines.empty() || CmdEmu::IsInvalidIndexAnswer(lines)) return PI::ERR_TOOL_FAILED;
  const std::string* success = CmdEmu::FindSuccessLine(lines);
  if (success == nullptr) return PI::ERR_TOOL_FAILED;
  NIMBRA_TRACE(2, kUnitCmdEmu, "Value: (%s)", *success);
  return 0;
}

}  // namespace NAMESPACE_Nimbra
