// HookRunner with real /bin/sh hooks: what a hook sees, how each bad ending
// is reported and counted, runs one at a time, the queue's bound, Stop, and
// the first-word check of a hook command.
#include "HookRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace nimbra_test {
namespace {

using namespace std::chrono_literals;
using nimbra_host::HookRun;

// A runner whose report lines the test reads.
struct Hooks {
  explicit Hooks(const std::string& command, std::chrono::milliseconds limit = 10s,
                 size_t capacity = 1000)
      : runner(
            command, limit,
            [this](const std::string& line) {
              std::lock_guard<std::mutex> hold(lock);
              text += line + "\n";
            },
            capacity) {}
  std::string Text() {
    std::lock_guard<std::mutex> hold(lock);
    return text;
  }
  std::mutex lock;
  std::string text;
  nimbra_host::HookRunner runner;  // last: it ends before what it reports to
};

HookRun Event(const std::string& id) { return {{{"NIMBRA_EVENT_ID", id}}, "event " + id}; }

// Points this process's descriptor `fd` at the file `path` while it lives.
struct Redirect {
  Redirect(int fd, const std::string& path) : fd(fd), saved(dup(fd)) {
    fflush(nullptr);
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    dup2(file, fd);
    close(file);
  }
  ~Redirect() {
    dup2(saved, fd);
    close(saved);
  }
  int fd, saved;
};

// Gone, or a zombie that its new parent has yet to reap.
bool Gone(const std::string& pidFile) {
  const int pid = atoi(ReadFile(pidFile).c_str());
  if (pid <= 0 || kill(pid, 0) != 0) return pid > 0;
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  return stat.compare(stat.rfind(')') + 1, 3, " Z ") == 0;
}

TEST(HookRunner, EachEndingIsReportedAndCounted) {
  TempDir dir;
  setenv("NIMBRA_HOOK_KEPT", "kept", 1);
  setenv("NIMBRA_HOOK_REPLACED", "inherited", 1);
  const int fd = open("/dev/null", O_RDONLY);  // without close-on-exec: still not the hook's
  // The runner's thread has SIGTERM blocked, as in the harness, and the
  // process ignores it: the hook must do neither.
  sigset_t term, before;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &before);
  const sighandler_t handler = signal(SIGTERM, SIG_IGN);
  const struct {
    std::string command, report;  // report: "" for none
    std::chrono::milliseconds limit;
  } cases[] = {
      {"echo to-stderr; printf '%s %s %s %s %s' \"$NIMBRA_EVENT_ID\" \"$NIMBRA_HOOK_KEPT\" "
       "\"$NIMBRA_HOOK_REPLACED\""
       " $(tr '\\0' '\\n' </proc/$$/environ | grep -c ^NIMBRA_HOOK_REPLACED=)"
       " $(readlink /proc/$$/fd/0) >" +
           dir / "env; exec >" + dir / "fds; ls /proc/$$/fd; true",
       "", 10s},
      {"exit 1", "hook for event 7: exited with status 1", 10s},
      {"kill -TERM $$", "hook for event 7: killed by signal 15", 10s},
      {"nosuch-command-xyz", "hook for event 7: the shell could not find the command (status 127)",
       10s},
      {"sleep 5", "hook for event 7: killed at its time limit of 300 ms", 300ms},
      {"sh -c 'echo $$ >" + dir / "pid; exec sleep 60' & until [ -s " + dir / "pid ]; do :; done",
       "hook for event 7: left processes running; killed them", 10s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Hooks hooks(c.command, c.limit);
    const auto start = std::chrono::steady_clock::now();
    bool idle = false;
    {
      Redirect in(STDIN_FILENO, dir / "stdin"), out(STDOUT_FILENO, dir / "stdout"),
          err(STDERR_FILENO, dir / "stderr");
      hooks.runner.Post(
          {{{"NIMBRA_EVENT_ID", "7"}, {"NIMBRA_HOOK_REPLACED", "replaced"}}, "event 7"});
      idle = hooks.runner.WaitIdle(5s);
    }
    ASSERT_TRUE(idle);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(c.report.empty() ? "" : "nimbra-host: " + c.report + "\n", hooks.Text());
    EXPECT_EQ(1u, hooks.runner.Counters().runs);
    EXPECT_EQ(c.report.empty() ? 0u : 1u, hooks.runner.Counters().failures);
  }
  close(fd);
  signal(SIGTERM, handler);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  EXPECT_EQ("7 kept replaced 1 /dev/null", ReadFile(dir / "env"));
  EXPECT_EQ("", ReadFile(dir / "stdout"));
  EXPECT_EQ(0u, ReadFile(dir / "stderr").find("to-stderr\n"));
  EXPECT_EQ("0\n1\n2\n", ReadFile(dir / "fds"));
  EXPECT_TRUE(WaitFor([&] { return Gone(dir / "pid"); }, 2s)) << "the hook's child lives on";
}

TEST(HookRunner, RunsOneAtATimeInOrder) {
  TempDir dir;
  Hooks hooks("mkdir " + dir / "lock" + " || echo overlap >>" + dir / "overlap" +
              "; echo $NIMBRA_EVENT_ID >>" + dir / "order; sleep 0.05; rmdir " + dir / "lock");
  for (const char* id : {"1", "2", "3", "4", "5"}) hooks.runner.Post(Event(id));
  ASSERT_TRUE(hooks.runner.WaitIdle(5s));
  EXPECT_EQ("1\n2\n3\n4\n5\n", ReadFile(dir / "order"));
  EXPECT_EQ("", ReadFile(dir / "overlap"));
  EXPECT_EQ(0u, hooks.runner.Counters().failures);
}

TEST(HookRunner, AFullQueueDropsTheOldestWaitingRun) {
  TempDir dir;
  Hooks hooks("echo $NIMBRA_EVENT_ID >>" + dir / "ran" + "; until [ -e " + dir / "go" +
                  " ]; do sleep 0.02; done",
              10s, 2);
  hooks.runner.Post(Event("1"));
  ASSERT_TRUE(WaitFor([&] { return ReadFile(dir / "ran") == "1\n"; }, 2s));
  EXPECT_FALSE(hooks.runner.WaitIdle(50ms)) << "one runs";
  for (const char* id : {"2", "3", "4"}) hooks.runner.Post(Event(id));
  // Said while the first hook still runs, not once it ends.
  const std::string behind =
      "nimbra-host: hooks fall behind: dropped the oldest waiting event (2 wait)\n";
  EXPECT_TRUE(WaitFor([&] { return hooks.Text() == behind; }, 2s)) << hooks.Text();
  dir.Write("go", "");
  ASSERT_TRUE(hooks.runner.WaitIdle(5s));
  EXPECT_EQ("1\n3\n4\n", ReadFile(dir / "ran"));
  EXPECT_EQ(behind + "nimbra-host: hooks caught up: 1 event dropped\n", hooks.Text());
  EXPECT_EQ(3u, hooks.runner.Counters().runs);
  EXPECT_EQ(1u, hooks.runner.Counters().dropped);
}

TEST(HookRunner, StopKillsTheRunningHookAndDropsTheWaiting) {
  TempDir dir;
  Hooks hooks("echo $$ >" + dir / "pid" + "; sleep 30; echo $NIMBRA_EVENT_ID >>" + dir / "ran");
  for (const char* id : {"1", "2", "3"}) hooks.runner.Post(Event(id));
  ASSERT_TRUE(WaitFor([&] { return !ReadFile(dir / "pid").empty(); }, 2s));
  const auto start = std::chrono::steady_clock::now();
  hooks.runner.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(Gone(dir / "pid"));
  hooks.runner.Post(Event("4"));  // dropped
  EXPECT_TRUE(hooks.runner.WaitIdle(1s));
  EXPECT_EQ(
      "nimbra-host: hook for event 1: killed: the harness stops\n"
      "nimbra-host: hooks stopped: dropped 2 events that waited\n",
      hooks.Text());
  EXPECT_EQ(1u, hooks.runner.Counters().failures);
}

TEST(HookRunner, CommandProblem) {
  // Runnable, or not to be judged without running them (shell syntax in the first word).
  for (const char* fine : {"true", "/bin/echo hi", "echo hi | cat", "  cat</dev/null",
                           "if true; then :; fi", "FOO=1 true", "'quoted' x"}) {
    EXPECT_EQ("", nimbra_host::HookCommandProblem(fine)) << fine;
  }
  TempDir dir;
  const std::string plain = dir.Write("plain", "");
  const std::pair<std::string, std::string> problems[] = {
      {"/no/such/file", "'/no/such/file' does not exist"},
      {plain + " x", "'" + plain + "' is not an executable file"},
      {"nosuch-command-xyz arg", "'nosuch-command-xyz' is not a command /bin/sh can find"},
      {" \t", "the hook command is empty"},
  };
  for (const auto& p : problems) EXPECT_EQ(p.second, nimbra_host::HookCommandProblem(p.first));
}

}  // namespace
}  // namespace nimbra_test
