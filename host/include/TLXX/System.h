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
// A program that has exited ends its run even when something it started
// still holds its output open (a daemon, say): what was written is read for a
// short drain (until the pipe is quiet for kDrainQuietMs, at most
// kDrainLimitMs) and the run ends, EXEC_OK, with its group killed. A
// grandchild that left the group (setsid) is out of reach of that kill.
//
// Memory: a run ends (EXEC_OUTPUT_TOO_LARGE) past kMaxOutputBytes bytes or
// kMaxOutputLines lines. Its buffer is reserved once at kMaxOutputBytes plus
// one 64 KiB read block (pages never written cost nothing, and no grown
// copies are left in the heap). Form (b) joins the lines in that buffer, so
// its peak is the output itself: under kMaxOutputBytes + 64 KiB. Form (a)
// adds the line vector (reserved once, 32 bytes a line: under
// kMaxOutputBytes + 2 MiB, since a block can add 64 Ki lines past the cap)
// and the heap blocks of lines longer than 15 bytes (at most twice their
// bytes): under 4 x kMaxOutputBytes + 4 MiB (68 MiB) above what the caller's
// vector held. A 1,000-drive inventory of the simulator is 677 KiB in
// 29,000 lines: the caps leave margins of 24 and 18.
//
// StopAllCommands ends every run in progress at once (process groups
// killed, EXEC_STOPPED) and makes every later run fail without starting a
// program: for a host that is going away.
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
  EXEC_OUTPUT_TOO_LARGE = 5,  // more than kMaxOutputBytes or kMaxOutputLines; killed
  EXEC_STOPPED = 6,           // StopAllCommands ended it, or came before it
};

// Counters of all runs since the process started (ExecuteCommand calls that
// returned; a cancelled run is not counted). Cheap to read.
struct CommandCounters {
  uint64_t runs = 0;      // every run
  uint64_t failed = 0;    // runs whose result was not EXEC_OK
  uint64_t timedOut = 0;  // runs killed at the time limit (EXEC_TIMED_OUT)
};

// The last run killed at its time limit.
struct TimedOutRun {
  std::string program;
  std::string arguments;
  unsigned limitMs = 0;   // the time limit it had
  uint64_t timeMs = 0;    // when it was killed, wall clock, ms since the epoch
  uint64_t sequence = 0;  // CommandCounters::timedOut after it: 1 for the first
};

class CSystem {
 public:
  // Output beyond either ends the run (EXEC_OUTPUT_TOO_LARGE); see above.
  static constexpr size_t kMaxOutputBytes = 16u << 20;
  static constexpr size_t kMaxOutputLines = kMaxOutputBytes / 32;
  // The drain after the program has exited while its output is still open.
  static constexpr int kDrainQuietMs = 100;
  static constexpr int kDrainLimitMs = 1000;

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

  // Run counters and the last run killed at its time limit (false when none
  // was). Thread-safe; the counters are relaxed atomics.
  static CommandCounters Counters();
  static bool LastTimedOutRun(TimedOutRun& run);

  // Kills the process group of every run in progress (they return
  // EXEC_STOPPED within 100 ms) and makes every later ExecuteCommand return
  // EXEC_STOPPED at once, for the rest of the process. Safe from any thread,
  // also while other threads are inside ExecuteCommand; not from a signal
  // handler (it locks).
  static void StopAllCommands();
  static bool CommandsStopped();

  // Host settings (thread-safe). Time limit of one run in milliseconds
  // (default 120000; 0 or all ones means no limit).
  static void SetCommandTimeout(unsigned ms);
  static unsigned GetCommandTimeout();
  // Root of the sysfs tree (default "/sys"; "" restores it).
  static void SetSysfsRoot(const std::string& root);
  static std::string GetSysfsRoot();
};

}  // namespace TLXX
