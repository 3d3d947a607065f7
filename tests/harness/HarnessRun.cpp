#include "HarnessRun.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <thread>

extern char** environ;

namespace nimbra_test {

std::string Harness() { return nimbra_test::BuildDir() + "/nimbra-host"; }
std::string Isdct() { return nimbra_test::BuildDir() + "/bin/isdct"; }

HarnessRun::HarnessRun(const std::string& fleet) {
  m_Dir.Write("fleet.json", fleet);
  m_Dir.Write("tmp/.keep", "");
}

Result HarnessRun::Shell(const std::string& command) const {
  Result r;
  const std::string errFile = m_Dir / "stderr.txt";
  r.status = nimbra_test::RunShell(
      "cd '" + m_Dir.path() + "' && TMPDIR='" + Tmp() + "' " + command + " 2>'" + errFile + "'",
      &r.out);
  nimbra_test::RunShell("cat '" + errFile + "'", &r.err);
  return r;
}

Result HarnessRun::Run(const std::string& args, unsigned settle) const {
  return Shell("'" + Harness() + "' --config-dir '" + m_Dir.path() + "' --settle " +
               std::to_string(settle) + " --simulate '" + Fleet() + "' " + args);
}

Result HarnessRun::RunPlain(const std::string& args) const {
  return Shell("'" + Harness() + "' " + args);
}

Result HarnessRun::RunWith(const std::string& prefix, const std::string& args,
                           unsigned settle) const {
  return Shell(prefix + " '" + Harness() + "' --config-dir '" + m_Dir.path() + "' --settle " +
               std::to_string(settle) + " --simulate '" + Fleet() + "' " + args);
}

pid_t HarnessRun::Start(const std::string& args, unsigned settle) const {
  const std::string command = "cd '" + m_Dir.path() + "' && TMPDIR='" + Tmp() + "' exec '" +
                              Harness() + "' --config-dir '" + m_Dir.path() + "' --settle " +
                              std::to_string(settle) + " --simulate '" + Fleet() + "' " + args +
                              " >'" + (m_Dir / "stdout.txt") + "' 2>'" + (m_Dir / "stderr.txt") +
                              "' </dev/null";
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);  // not SIGINT ignored, as a test runner may have it
  char sh[] = "sh", dashC[] = "-c";
  char* argv[] = {sh, dashC, const_cast<char*>(command.c_str()), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

Result HarnessRun::Finish(pid_t pid, std::chrono::milliseconds limit) const {
  Result r;
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + limit;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    r.status = -1;
  } else {
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  r.out = nimbra_test::ReadFile(m_Dir / "stdout.txt");
  r.err = nimbra_test::ReadFile(m_Dir / "stderr.txt");
  return r;
}

std::string DefaultFleet(int drives) {
  std::string text = "{\"drives\": [";
  for (int i = 0; i < drives; ++i) text += i == 0 ? "{}" : ", {}";
  return text + "]}";
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace nimbra_test
