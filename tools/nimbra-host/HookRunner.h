// HookRunner: runs the administrator's alert hook (`watch --exec CMD`,
// `serve --exec CMD`) once per event, as `/bin/sh -c CMD`, one run at a time
// in the order posted, on a thread of its own, so that the thread delivering
// events never waits for a hook.
//
// Each run is a new process group with an empty signal mask and default
// signal dispositions, stdin /dev/null, stdout and stderr the harness's
// stderr, no other descriptor, and the environment of the harness plus the
// run's variables. A run still going `limit` after it started is killed
// (SIGKILL to its group). When the shell ends, whatever it left running in
// its group is killed too; a process that left the group (setsid, setpgid)
// is out of reach and lives on. A run that does not end well (non-zero
// status, a signal, the time limit, processes left behind, a shell that
// could not start) is reported in one line and counted as a failure; nothing
// throws.
//
// At most `capacity` runs wait; a Post beyond drops the oldest waiting run.
// Reports come from the runner's thread, outside its lock: `report` may take
// the caller's output lock but must not call Stop.
//
// Thread-safety: every member may be called from any thread. The process
// must not ignore SIGCHLD (children would be reaped behind the runner's back).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace nimbra_host {

// One hook run: the variables to add to the hook's environment (in order;
// they replace inherited ones of the same name) and how reports name it
// ("event 10962 (temperature band 80 °C or more) of 0x0135000000000001").
struct HookRun {
  std::vector<std::pair<std::string, std::string>> environment;
  std::string what;
};

struct HookCounters {
  uint64_t runs = 0;      // hooks started or tried (a spawn failure counts: failures <= runs)
  uint64_t failures = 0;  // runs that did not end well, spawn failures included
  uint64_t dropped = 0;   // waiting runs dropped because the queue was full
};

class HookRunner {
 public:
  // `limit` of zero or less: no time limit. A `capacity` of 0 is taken as 1.
  // `report` receives one line at a time without its newline ("nimbra-host:
  // hook for event ...: exited with status 1"); the caller serializes output.
  HookRunner(std::string command, std::chrono::milliseconds limit,
             std::function<void(const std::string&)> report, size_t capacity = 1000);
  ~HookRunner();  // Stop()
  HookRunner(const HookRunner&) = delete;
  HookRunner& operator=(const HookRunner&) = delete;

  // Queues a run and returns at once. After Stop the run is dropped silently.
  void Post(HookRun run);
  // Waits until nothing waits or runs (and the reports of the runs done have
  // been made); false when `timeout` passed first.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Kills the run in progress (its group) and reaps it, drops the waiting
  // runs and reports how many, and ends the thread. Idempotent.
  void Stop();
  HookCounters Counters() const;

 private:
  enum class Wake { kNothing, kStop };

  void Loop();
  // Runs one hook to its end; returns what went wrong, "" when it ended well.
  std::string RunOne(const HookRun& run);
  // Waits for `pid` to exit, the limit or a stop; returns why the wait ended.
  std::string WaitChild(pid_t pid, int pidfd);
  // Handles a wake-up of the runner: reports pending drop notes. kStop once
  // Stop was called.
  Wake Attend();
  // The lines to report now, taken under m_Lock.
  std::vector<std::string> TakeNotes(bool queueEmpty);
  void Say(const std::vector<std::string>& lines) const;

  const std::string m_Command;
  const std::chrono::milliseconds m_Limit;
  const std::function<void(const std::string&)> m_Report;
  const size_t m_Capacity;
  int m_Wakeup = -1;  // eventfd: Stop, or a drop note, while a hook runs

  mutable std::mutex m_Lock;
  std::condition_variable m_Posted;   // the queue got a run, or Stop
  std::condition_variable m_Changed;  // the runner went idle or ended
  std::deque<HookRun> m_Queue;        // guarded by m_Lock
  bool m_Busy = false;                // guarded by m_Lock: a run (or its report) is under way
  bool m_Stopping = false;            // guarded by m_Lock
  bool m_DropNoted = false;           // guarded by m_Lock: the first drop was reported
  uint64_t m_DroppedSinceEmpty = 0;   // guarded by m_Lock
  HookCounters m_Counters;            // guarded by m_Lock

  std::mutex m_JoinLock;  // one Stop joins the thread
  std::thread m_Thread;
};

// "" when the first word of `command` is something /bin/sh can run (an
// executable path, a command found on PATH, a builtin), or when it cannot be
// judged without running the command (the first word holds shell syntax:
// quotes, $, =, backslash, globs, a reserved word...); otherwise one line
// saying why ("'nosuch' is not a command /bin/sh can find"). Callers refuse
// to start.
std::string HookCommandProblem(const std::string& command);

}  // namespace nimbra_host
