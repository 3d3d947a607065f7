// CSystem: command execution and kernel-module versions.
//
// ExecuteCommand runs /bin/sh -c "exec 'program' arguments": the program path
// single-quoted for the shell, the argument text as the shell reads it (so it
// may end in "2>&1"). The child is spawned without copying the host's page
// tables (posix_spawn), in a process group of its own, with stdin from
// /dev/null, stdout a pipe, stderr /dev/null unless the arguments redirect
// it, default signal dispositions and no descriptor of the host but these.
// The call blocks until the program has ended and its output is read. It is
// a cancellation point: a cancellation request is acted on within 100 ms.
//
// Time limit: GetCommandTimeout() milliseconds for the whole run, output and
// exit (0 or all ones: no limit). At the limit, or when the calling thread is
// cancelled, the child's process group is killed (SIGKILL) and the child
// reaped. When the program ends, whatever it left running in its group is
// killed as well. No zombie, orphan or descriptor outlives a call. Safe from
// many threads at once.
//
// Results: EXEC_OK (1) the program ran, whatever its exit status; any other
// value is a failed run (see ExecResult). The shell's exit statuses 126 and
// 127 (cannot execute, not found) count as EXEC_NOT_RUNNABLE, so a program
// that itself exits with 126 or 127 is reported so too. Whatever output was
// captured is delivered in every case but EXEC_SPAWN_FAILED; with "2>&1" it
// includes the shell's own error message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TLXX {

enum ExecResult : int {
  EXEC_SPAWN_FAILED = 0,  // no shell could be started, or no pipe
  EXEC_OK = 1,
  EXEC_TIMED_OUT = 2,         // killed at the time limit
  EXEC_NOT_RUNNABLE = 3,      // the shell could not find or execute the program
  EXEC_SIGNALLED = 4,         // the program died of a signal
  EXEC_OUTPUT_TOO_LARGE = 5,  // more than kMaxOutputBytes of output; killed
};

class CSystem {
 public:
  // Output beyond this ends the run (EXEC_OUTPUT_TOO_LARGE).
  static constexpr size_t kMaxOutputBytes = 256u << 20;

  // Form (a): appends one element per output line. A line ends at LF; a CR
  // right before the LF belongs to the terminator; a last line without LF is
  // still a line.
  static int ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::vector<std::string>& lines);

  // Form (b): the whole output as one text, lines joined back to back without
  // their terminators. `text` is replaced, not appended to.
  static int ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::string& text);

  // Trimmed text of <sysfs root>/module/NAME/version; false and "" when the
  // file is absent or unreadable, or NAME is not a plain folder name.
  static bool GetModuleVersion(const std::string& module, std::string& version);

  // CPU time (user and system, in nanoseconds) that threads of this process
  // have spent inside ExecuteCommand since it started, summed over all
  // threads: the host's side of every run (spawning, reading the pipe,
  // waiting, reaping, splitting lines). The programs' own CPU is not in it;
  // the process's reaped children account for that. Lets a caller tell its
  // own work apart from the command execution it asked for. Thread-safe;
  // a run adds its share when it returns.
  static uint64_t CommandCpuNanoseconds();

  // The number of ExecuteCommand calls in progress on any thread, so that a
  // caller can tell whether a program runs at this moment. Thread-safe.
  static unsigned CommandsRunning();

  // Host settings (thread-safe). Time limit of one run in milliseconds
  // (default 120000; 0 or all ones means no limit).
  static void SetCommandTimeout(unsigned ms);
  static unsigned GetCommandTimeout();
  // Root of the sysfs tree (default "/sys"; "" restores it).
  static void SetSysfsRoot(const std::string& root);
  static std::string GetSysfsRoot();
};

}  // namespace TLXX
