#include "HookRunner.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>

extern char** environ;

namespace nimbra_host {
namespace {

using Clock = std::chrono::steady_clock;

const char kPrefix[] = "nimbra-host: ";

// "1 event", "2 events".
std::string Events(uint64_t n) { return std::to_string(n) + (n == 1 ? " event" : " events"); }

std::string LimitText(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// The harness's environment without the names the run sets, then the run's
// variables in order.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& vars) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    const std::string name =
        eq != nullptr ? std::string(*e, static_cast<size_t>(eq - *e)) : std::string(*e);
    const bool replaced =
        std::any_of(vars.begin(), vars.end(), [&](const auto& v) { return v.first == name; });
    if (!replaced) env.emplace_back(*e);
  }
  for (const auto& v : vars) env.push_back(v.first + "=" + v.second);
  return env;
}

// Starts `/bin/sh -c command` as the leader of a new group; 0 or an errno.
int Spawn(const std::string& command, std::vector<std::string> env, pid_t* pid) {
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The harness's stdout carries its own output (watch): the hook writes to stderr.
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // A descriptor a library opened without close-on-exec stays behind too.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  // The harness blocks the stop signals in all its threads; the hook must not inherit that.
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  char sh[] = "sh", dashC[] = "-c";
  char* argv[] = {sh, dashC, const_cast<char*>(command.c_str()), nullptr};
  const int rc = posix_spawn(pid, "/bin/sh", &actions, &attr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc;
}

// True once `pid` has exited; it stays unreaped.
bool Exited(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// True when a live process other than the leader `group` is in that group.
bool GroupHasOthers(pid_t group) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* e = readdir(proc);
    if (e == nullptr) break;
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == group) continue;
    const int fd =
        open((std::string("/proc/") + e->d_name + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char buf[512];
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) continue;
    buf[n] = '\0';
    const char* paren = std::strrchr(buf, ')');  // the name in parentheses may hold anything
    char state = 0;
    int ppid = 0, pgrp = 0;
    found = paren != nullptr && std::sscanf(paren + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 &&
            pgrp == group && state != 'Z' && state != 'X';
  }
  closedir(proc);
  return found;
}

std::string StatusProblem(int status) {
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  if (!WIFEXITED(status)) return "ended with wait status " + std::to_string(status);
  switch (WEXITSTATUS(status)) {
    case 0:
      return "";
    case 126:
      return "the shell could not run the command (status 126)";
    case 127:
      return "the shell could not find the command (status 127)";
    default:
      return "exited with status " + std::to_string(WEXITSTATUS(status));
  }
}

}  // namespace

HookRunner::HookRunner(std::string command, std::chrono::milliseconds limit,
                       std::function<void(const std::string&)> report, size_t capacity)
    : m_Command(std::move(command)),
      m_Limit(limit),
      m_Report(std::move(report)),
      m_Capacity(std::max<size_t>(capacity, 1)) {
  m_Wakeup = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_Wakeup < 0) throw std::system_error(errno, std::generic_category(), "hook runner eventfd");
  try {
    m_Thread = std::thread(&HookRunner::Loop, this);
  } catch (...) {
    close(m_Wakeup);
    throw;
  }
}

HookRunner::~HookRunner() {
  Stop();
  close(m_Wakeup);
}

void HookRunner::Post(HookRun run) {
  bool firstDrop = false;
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Stopping) return;
    if (m_Queue.size() >= m_Capacity) {
      m_Queue.pop_front();
      ++m_Counters.dropped;
      firstDrop = m_DroppedSinceEmpty++ == 0;
    }
    m_Queue.push_back(std::move(run));
  }
  m_Posted.notify_one();
  const uint64_t one = 1;
  // The runner is inside a hook: wake it to say that dropping started.
  if (firstDrop && write(m_Wakeup, &one, sizeof one) < 0) {
  }
}

bool HookRunner::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_Lock);
  return m_Changed.wait_for(lock, timeout, [&] { return m_Queue.empty() && !m_Busy; });
}

void HookRunner::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Stopping = true;
  }
  m_Posted.notify_all();
  const uint64_t one = 1;
  if (write(m_Wakeup, &one, sizeof one) < 0) {
  }
  std::lock_guard<std::mutex> join(m_JoinLock);
  if (m_Thread.joinable()) m_Thread.join();
}

HookCounters HookRunner::Counters() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Counters;
}

void HookRunner::Loop() {
  std::unique_lock<std::mutex> lock(m_Lock);
  for (;;) {
    const std::vector<std::string> notes = TakeNotes(m_Queue.empty());
    if (!notes.empty()) {
      lock.unlock();
      Say(notes);
      lock.lock();
      continue;
    }
    if (m_Stopping) break;
    if (m_Queue.empty()) {
      m_Busy = false;
      m_Changed.notify_all();
      m_Posted.wait(lock, [&] { return m_Stopping || !m_Queue.empty(); });
      continue;
    }
    const HookRun run = std::move(m_Queue.front());
    m_Queue.pop_front();
    m_Busy = true;
    ++m_Counters.runs;
    lock.unlock();
    std::string problem;
    try {
      problem = RunOne(run);
    } catch (const std::exception& e) {
      problem = std::string("could not run: ") + e.what();
    }
    if (!problem.empty()) Say({kPrefix + ("hook for " + run.what) + ": " + problem});
    lock.lock();
    if (!problem.empty()) ++m_Counters.failures;
  }
  const size_t waiting = m_Queue.size();
  m_Queue.clear();
  lock.unlock();
  if (waiting > 0) {
    Say({kPrefix + ("hooks stopped: dropped " + Events(waiting)) + " that waited"});
  }
  lock.lock();
  m_Busy = false;
  m_Changed.notify_all();
}

std::vector<std::string> HookRunner::TakeNotes(bool queueEmpty) {
  std::vector<std::string> lines;
  if (m_DroppedSinceEmpty > 0 && !m_DropNoted) {
    m_DropNoted = true;
    lines.push_back(
        kPrefix +
        ("hooks fall behind: dropped the oldest waiting event (" + std::to_string(m_Capacity)) +
        " wait)");
  }
  if (queueEmpty && m_DroppedSinceEmpty > 0) {
    lines.push_back(kPrefix + ("hooks caught up: " + Events(m_DroppedSinceEmpty)) + " dropped");
    m_DroppedSinceEmpty = 0;
    m_DropNoted = false;
  }
  return lines;
}

void HookRunner::Say(const std::vector<std::string>& lines) const {
  for (const std::string& line : lines) {
    try {
      m_Report(line);
    } catch (...) {  // the caller's output failed: the runner goes on
    }
  }
}

HookRunner::Wake HookRunner::Attend() {
  uint64_t count = 0;
  if (read(m_Wakeup, &count, sizeof count) < 0) {
  }
  std::unique_lock<std::mutex> lock(m_Lock);
  if (m_Stopping) return Wake::kStop;
  const std::vector<std::string> notes = TakeNotes(false);
  lock.unlock();
  Say(notes);
  return Wake::kNothing;
}

std::string HookRunner::RunOne(const HookRun& run) {
  pid_t pid = -1;
  const int rc = Spawn(m_Command, Environment(run.environment), &pid);
  if (rc != 0) return "could not start /bin/sh: " + std::generic_category().message(rc);
  // Readable once the shell exits (close-on-exec); -1 on kernels before 5.3.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  std::string ending = WaitChild(pid, pidfd);
  if (pidfd >= 0) close(pidfd);
  // The shell has ended (or is killed) but is not reaped yet, so its group
  // id cannot be reused: kill whatever is left in the group, then reap it.
  const bool leftovers = ending.empty() && GroupHasOthers(pid);
  kill(-pid, SIGKILL);
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (!ending.empty()) return ending;
  std::string problem = reaped == pid ? StatusProblem(status) : "its exit status was lost";
  if (leftovers)
    problem += (problem.empty() ? "" : "; ") + std::string("left processes running; killed them");
  return problem;
}

std::string HookRunner::WaitChild(pid_t pid, int pidfd) {
  const Clock::time_point deadline = Clock::now() + m_Limit;
  pollfd fds[2] = {{pidfd, POLLIN, 0}, {m_Wakeup, POLLIN, 0}};  // poll skips a pidfd of -1
  for (;;) {
    if (pidfd < 0 && Exited(pid)) return "";
    int timeout = -1;
    if (m_Limit.count() > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        kill(-pid, SIGKILL);
        return "killed at its time limit of " + LimitText(m_Limit);
      }
      timeout = static_cast<int>(std::min<int64_t>(left.count(), 1 << 30));
    }
    if (pidfd < 0) timeout = timeout < 0 ? 10 : std::min(timeout, 10);  // no pidfd: look often
    if (poll(fds, 2, timeout) < 0) continue;                            // EINTR
    if ((fds[1].revents & POLLIN) != 0 && Attend() == Wake::kStop) {
      kill(-pid, SIGKILL);
      return "killed: the harness stops";
    }
    if ((fds[0].revents & POLLIN) != 0) return "";
  }
}

std::string HookCommandProblem(const std::string& command) {
  static const char* const kBuiltins[] = {
      ".", ":", "[", "alias", "bg", "break", "cd", "chdir", "command", "continue", "echo", "eval",
      "exec", "exit", "export", "false", "fc", "fg", "getopts", "hash", "jobs", "kill", "local",
      "printf", "pwd", "read", "readonly", "return", "set", "shift", "test", "times", "trap",
      "true", "type", "ulimit", "umask", "unalias", "unset", "wait",
      // Reserved words: a compound command is judged by running it.
      "case", "do", "done", "elif", "else", "esac", "fi", "for", "if", "in", "then", "until",
      "while"};
  const size_t start = command.find_first_not_of(" \t\n");
  if (start == std::string::npos) return "the hook command is empty";
  const size_t end = command.find_first_of(" \t\n;&|<>()", start);
  const std::string word = command.substr(start, end == std::string::npos ? end : end - start);
  // Shell syntax in the first word (or none: a redirection, a subshell) is
  // only known once the shell has read it.
  if (word.empty() || word.find_first_of("'\"`$=\\*?[]{}~#!") != std::string::npos) return "";
  if (std::find_if(std::begin(kBuiltins), std::end(kBuiltins),
                   [&](const char* b) { return word == b; }) != std::end(kBuiltins)) {
    return "";
  }
  auto runnable = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (word.find('/') != std::string::npos) {
    if (runnable(word)) return "";
    return "'" + word +
           (access(word.c_str(), F_OK) == 0 ? "' is not an executable file" : "' does not exist");
  }
  const char* path = std::getenv("PATH");
  const std::string dirs =
      path != nullptr ? path : "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  for (size_t from = 0; from <= dirs.size();) {
    size_t colon = dirs.find(':', from);
    if (colon == std::string::npos) colon = dirs.size();
    std::string file = colon == from ? "." : dirs.substr(from, colon - from);
    file += '/';
    file += word;
    if (runnable(file)) return "";
    from = colon + 1;
  }
  return "'" + word + "' is not a command /bin/sh can find";
}

}  // namespace nimbra_host
