#include "TLXX/System.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HostInternal.h"
#include "TLXX/SystemTime.h"

extern char** environ;

namespace TLXX {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kDefaultTimeoutMs = 120000;
constexpr unsigned kNoLimit = 0xFFFFFFFFu;
constexpr size_t kReadBlock = 64 * 1024;
constexpr int kSliceMs = 100;  // longest blocking call between cancellation checks

std::atomic<unsigned> g_TimeoutMs{kDefaultTimeoutMs};
std::atomic<uint64_t> g_CommandCpuNs{0};
std::atomic<unsigned> g_CommandsRunning{0};
std::atomic<uint64_t> g_Runs{0};
std::atomic<uint64_t> g_FailedRuns{0};
std::atomic<uint64_t> g_TimedOutRuns{0};
std::mutex g_TimedOutLock;
TimedOutRun g_LastTimedOut;  // guarded by g_TimedOutLock

// The process groups of the runs in progress, so that StopAllCommands can
// reach them. A child is listed from its spawn until just before it is
// reaped: its unreaped leader keeps the group id from being reused.
std::mutex g_ChildrenLock;
std::vector<pid_t> g_Children;       // guarded by g_ChildrenLock
std::atomic<bool> g_Stopped{false};  // set under g_ChildrenLock

void KillGroupOf(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);  // in case the group was never formed
}

// Lists a spawned child; kills it at once when a stop came first.
void ListChild(pid_t pid) {
  std::lock_guard<std::mutex> lock(g_ChildrenLock);
  g_Children.push_back(pid);
  if (g_Stopped.load()) KillGroupOf(pid);
}

void UnlistChild(pid_t pid) {
  std::lock_guard<std::mutex> lock(g_ChildrenLock);
  g_Children.erase(std::remove(g_Children.begin(), g_Children.end(), pid), g_Children.end());
}
std::mutex g_RootLock;
std::string g_SysfsRoot = "/sys";  // guarded by g_RootLock

int MillisUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

// Single-quotes a word for /bin/sh.
std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Moves a descriptor above the standard three, so that dup2 onto 0-2 in the
// child never meets the descriptor itself. Keeps close-on-exec.
bool AboveStandard(int& fd) {
  if (fd > STDERR_FILENO) return true;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  fd = moved;
  return fd >= 0;
}

// One spawned child: its process (leader of its own group) and the read end
// of its output pipe. Whatever way the run ends (return, exception, thread
// cancellation), the destructor kills the group, reaps the child and closes
// the descriptors.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    hostfw::NoCancelScope noCancel;  // a destructor must not be cut by a forced unwind
    CloseOutput();
    if (m_ExitWatch >= 0) close(m_ExitWatch);
    if (m_Pid > 0 && !m_Reaped) {
      KillGroup();
      Reap();
    }
  }

  // Starts `/bin/sh -c command`; false when no pipe or process could be made.
  bool Spawn(const std::string& command) {
    hostfw::NoCancelScope noCancel;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    int readEnd = fds[0], writeEnd = fds[1];
    if (!AboveStandard(readEnd) || !AboveStandard(writeEnd)) {
      if (readEnd >= 0) close(readEnd);
      if (writeEnd >= 0) close(writeEnd);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors another thread opened without close-on-exec stay behind.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);  // a new group, so that one kill reaches all it starts
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);  // no ignored SIGPIPE etc. from the host
    char sh[] = "sh", dashC[] = "-c";
    char* argv[] = {sh, dashC, const_cast<char*>(command.c_str()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(writeEnd);
    if (rc != 0) {
      close(readEnd);
      return false;
    }
    m_Pid = pid;
    m_Output = readEnd;
    ListChild(pid);
    // Readable once the child exits (close-on-exec by default); -1 when the
    // kernel has no pidfd.
    m_ExitWatch = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    return true;
  }

  int Output() const { return m_Output; }
  void CloseOutput() {
    if (m_Output >= 0) close(m_Output);
    m_Output = -1;
  }

  // Readable once the child has exited; -1 without a pidfd.
  int ExitWatch() const { return m_ExitWatch; }

  // True once the child has exited (it stays unreaped).
  bool HasExited() const {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(m_Pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == m_Pid;
  }

  // Waits at most `sliceMs` for the child to exit (it is not reaped yet).
  // True when it has.
  bool WaitExit(int sliceMs) {
    if (m_ExitWatch >= 0) {
      pollfd p{m_ExitWatch, POLLIN, 0};
      return poll(&p, 1, sliceMs) > 0;
    }
    // No pidfd (kernels before 5.3): look every few milliseconds.
    if (HasExited()) return true;
    usleep(static_cast<useconds_t>(std::min(sliceMs, 5)) * 1000);
    return HasExited();
  }

  void KillGroup() const { KillGroupOf(m_Pid); }

  // Reaps the child; returns its wait status.
  int Reap() {
    hostfw::NoCancelScope noCancel;
    UnlistChild(m_Pid);
    int status = 0;
    while (waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_Reaped = true;
    return status;
  }

 private:
  pid_t m_Pid = -1;
  int m_Output = -1;
  int m_ExitWatch = -1;
  bool m_Reaped = false;
};

void RecordTimeout(const std::string& program, const std::string& arguments, unsigned limitMs) {
  const uint64_t sequence = g_TimedOutRuns.fetch_add(1, std::memory_order_relaxed) + 1;
  std::lock_guard<std::mutex> lock(g_TimedOutLock);
  if (sequence < g_LastTimedOut.sequence) return;  // a later one got here first
  g_LastTimedOut = TimedOutRun{program, arguments, limitMs, CSystemTime_Lx::Now(), sequence};
}

// Runs one command and collects its raw output.
int Run(const std::string& program, const std::string& arguments, std::string& output) {
  output.clear();
  if (g_Stopped.load()) return EXEC_STOPPED;
  std::string command = "exec " + ShellQuote(program);
  if (!arguments.empty()) command += " " + arguments;

  const unsigned limit = CSystem::GetCommandTimeout();
  const bool unlimited = limit == 0 || limit == kNoLimit;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);

  // Cancellation is taken only at TestCancel, between blocking calls of at
  // most kSliceMs; the child's destructor then kills and reaps it.
  hostfw::NoCancelScope noCancel;
  Child child;
  if (!child.Spawn(command)) return g_Stopped.load() ? EXEC_STOPPED : EXEC_SPAWN_FAILED;
  auto slice = [&] { return unlimited ? kSliceMs : std::min(kSliceMs, MillisUntil(deadline)); };
  auto pastDeadline = [&] { return !unlimited && Clock::now() >= deadline; };

  // One read block per thread, made on its first run and kept: a run neither
  // allocates nor clears 64 KiB, and the heap does not fragment around it.
  thread_local std::vector<char> block(kReadBlock);
  // The most a run can hold, reserved at once: pages that are never written
  // cost no memory, and a buffer grown by doubling would leave copies of
  // itself behind in the heap (see System.h).
  output.reserve(CSystem::kMaxOutputBytes + kReadBlock);
  enum class End { kNone, kTimedOut, kTooLarge, kStopped } end = End::kNone;
  bool exited = false;
  Clock::time_point drainEnd, quietEnd;  // once exited: the drain's limit, the next quiet end
  size_t lines = 0;
  while (child.Output() >= 0) {
    noCancel.TestCancel();
    if (g_Stopped.load()) {
      end = End::kStopped;
      break;
    }
    if (pastDeadline()) {
      end = End::kTimedOut;
      break;
    }
    int wait = slice();
    if (!exited && child.HasExited()) {
      // Whatever still holds the pipe is not the program: read what is
      // there, then stop.
      exited = true;
      drainEnd = Clock::now() + std::chrono::milliseconds(CSystem::kDrainLimitMs);
      quietEnd = Clock::now() + std::chrono::milliseconds(CSystem::kDrainQuietMs);
    }
    if (exited) {
      const Clock::time_point until = std::min(drainEnd, quietEnd);
      if (Clock::now() >= until) break;
      wait = std::min(wait, MillisUntil(until));
    }
    pollfd p[2] = {{child.Output(), POLLIN, 0}, {child.ExitWatch(), POLLIN, 0}};
    const nfds_t count = exited || child.ExitWatch() < 0 ? 1 : 2;
    const int rc = poll(p, count, wait);
    if (rc <= 0 || p[0].revents == 0) continue;  // quiet, EINTR, or the program exited
    const ssize_t n = read(child.Output(), block.data(), block.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      child.CloseOutput();  // end of output (or a broken pipe)
      break;
    }
    output.append(block.data(), static_cast<size_t>(n));
    lines += static_cast<size_t>(std::count(block.data(), block.data() + n, '\n'));
    if (exited) quietEnd = Clock::now() + std::chrono::milliseconds(CSystem::kDrainQuietMs);
    if (output.size() > CSystem::kMaxOutputBytes || lines > CSystem::kMaxOutputLines) {
      end = End::kTooLarge;
      break;
    }
  }
  // The output may end before the program does; the time limit still holds.
  while (end == End::kNone && !exited) {
    noCancel.TestCancel();
    if (g_Stopped.load()) {
      end = End::kStopped;
    } else if (child.WaitExit(slice())) {
      break;
    } else if (pastDeadline()) {
      end = End::kTimedOut;
    }
  }
  // Whatever the program left behind in its group goes with it; the leader is
  // not reaped yet, so its group id cannot have been reused.
  child.KillGroup();
  child.CloseOutput();
  const int status = child.Reap();
  switch (end) {
    case End::kTimedOut:
      RecordTimeout(program, arguments, limit);
      return EXEC_TIMED_OUT;
    case End::kTooLarge:
      return EXEC_OUTPUT_TOO_LARGE;
    case End::kStopped:
      return EXEC_STOPPED;
    case End::kNone:
      break;
  }
  if (WIFSIGNALED(status)) return g_Stopped.load() ? EXEC_STOPPED : EXEC_SIGNALLED;
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) {
    return EXEC_NOT_RUNNABLE;
  }
  return EXEC_OK;
}

// Calls `line(begin, length)` for every line of `text` without its terminator.
template <typename F>
void ForEachLine(const std::string& text, F line) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = text.size();
    size_t length = end - start;
    if (terminated && length > 0 && text[end - 1] == '\r') --length;
    line(start, length);
    start = end + 1;
  }
}

uint64_t ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// Adds the calling thread's CPU time from construction to destruction to
// g_CommandCpuNs, also when the run ends by cancellation or an exception.
// Also counts the run in g_CommandsRunning for its duration.
class CommandCpuMeter {
 public:
  CommandCpuMeter() : m_Start(ThreadCpuNs()) { g_CommandsRunning.fetch_add(1); }
  ~CommandCpuMeter() {
    g_CommandCpuNs.fetch_add(ThreadCpuNs() - m_Start);
    g_CommandsRunning.fetch_sub(1);
  }
  CommandCpuMeter(const CommandCpuMeter&) = delete;
  CommandCpuMeter& operator=(const CommandCpuMeter&) = delete;

 private:
  uint64_t m_Start;
};

int Counted(int result) {
  g_Runs.fetch_add(1, std::memory_order_relaxed);
  if (result != EXEC_OK) g_FailedRuns.fetch_add(1, std::memory_order_relaxed);
  return result;
}

}  // namespace

int CSystem::ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::vector<std::string>& lines) {
  CommandCpuMeter meter;
  std::string output;
  const int result = Run(program, arguments, output);
  // Reserved once: a vector grown by doubling would hold up to twice as many
  // slots, and both buffers while it moves.
  size_t count = 0;
  ForEachLine(output, [&](size_t, size_t) { ++count; });
  lines.reserve(lines.size() + count);
  ForEachLine(output,
              [&](size_t start, size_t length) { lines.emplace_back(output, start, length); });
  return Counted(result);
}

int CSystem::ExecuteCommand(const std::string& program, const std::string& arguments,
                            std::string& text) {
  CommandCpuMeter meter;
  std::string output;
  const int result = Run(program, arguments, output);
  // The lines are joined in place, moving each down over the terminators
  // before it: no second buffer.
  // Safe: a line only moves down, and the search goes on past its end.
  size_t to = 0;
  ForEachLine(output, [&](size_t start, size_t length) {
    if (to != start) std::memmove(&output[to], &output[start], length);
    to += length;
  });
  output.resize(to);
  text.swap(output);
  return Counted(result);
}

CommandCounters CSystem::Counters() {
  CommandCounters c;
  c.runs = g_Runs.load(std::memory_order_relaxed);
  c.failed = g_FailedRuns.load(std::memory_order_relaxed);
  c.timedOut = g_TimedOutRuns.load(std::memory_order_relaxed);
  return c;
}

bool CSystem::LastTimedOutRun(TimedOutRun& run) {
  std::lock_guard<std::mutex> lock(g_TimedOutLock);
  if (g_LastTimedOut.sequence == 0) return false;
  run = g_LastTimedOut;
  return true;
}

void CSystem::StopAllCommands() {
  std::lock_guard<std::mutex> lock(g_ChildrenLock);
  g_Stopped.store(true);
  for (const pid_t pid : g_Children) KillGroupOf(pid);
}

bool CSystem::CommandsStopped() { return g_Stopped.load(); }

bool CSystem::GetModuleVersion(const std::string& module, std::string& version) {
  version.clear();
  if (module.empty() || module == "." || module == ".." || module.find('/') != std::string::npos) {
    return false;
  }
  std::string content;
  if (!hostfw::ReadSmallFile(GetSysfsRoot() + "/module/" + module + "/version", content, 4096)) {
    return false;
  }
  version = hostfw::Trim(content);
  return true;
}

uint64_t CSystem::CommandCpuNanoseconds() { return g_CommandCpuNs.load(); }

unsigned CSystem::CommandsRunning() { return g_CommandsRunning.load(); }

void CSystem::SetCommandTimeout(unsigned ms) { g_TimeoutMs.store(ms); }

unsigned CSystem::GetCommandTimeout() { return g_TimeoutMs.load(); }

void CSystem::SetSysfsRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(g_RootLock);
  g_SysfsRoot = root.empty() ? "/sys" : root;
}

std::string CSystem::GetSysfsRoot() {
  std::lock_guard<std::mutex> lock(g_RootLock);
  return g_SysfsRoot;
}

}  // namespace TLXX
