// CSystem: command execution and kernel-module versions.
//
// ExecuteCommand runs `program` (quoted for the shell) followed by `arguments`
// (which may end in "2>&1") through /bin/sh -c, with stdin from /dev/null and
// stdout captured through a pipe; stderr is discarded unless the arguments
// redirect it. The call blocks until the program ends, and is a cancellation
// point. A run that exceeds the time limit, or whose thread is cancelled, has
// its whole process group killed and reaped. No zombie, orphan or descriptor
// outlives a call. Safe from many threads at once.
//
// Results: 1 the program ran (whatever its exit status) and its output was
// captured; any other value is a failed run (see ExecResult).
#pragma once

#include <string>
#include <vector>

namespace TLXX {

enum ExecResult : int {
  EXEC_SPAWN_FAILED = 0,  // no shell could be started, or no pipe
  EXEC_OK = 1,
  EXEC_TIMED_OUT = 2,     // killed at the time limit
  EXEC_NOT_RUNNABLE = 3,  // the shell could not find or execute the program
  EXEC_SIGNALLED = 4,     // the program died of a signal
};

class CSystem {
 public:
  // Form (a): appends one element per output line. A line ends at LF; a CR
  // right before the LF belongs to the terminator; a last line without LF is
  // still a line.
  static int ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::vector<std::string>& lines);

  // Form (b): the whole output as one text, lines joined back to back without
  // their terminators.
  static int ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::string& text);

  // Trimmed text of <sysfs root>/module/NAME/version; false and "" when the
  // file is absent or unreadable.
  static bool GetModuleVersion(const std::string& module, std::string& version);

  // Host settings. Time limit of one run in milliseconds (default 120000).
  static void SetCommandTimeout(unsigned ms);
  static unsigned GetCommandTimeout();
  // Root of the sysfs tree (default "/sys").
  static void SetSysfsRoot(const std::string& root);
  static std::string GetSysfsRoot();
};

}  // namespace TLXX
