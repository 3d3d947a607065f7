#include "SimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "NimbraCmdEmuPatterns.h"

extern char** environ;

namespace simtest {
namespace P = NAMESPACE_Nimbra::Patterns;

std::regex compile(const char* pattern, bool ignoreCase) {
  std::string text = pattern;
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"[:xdigit:]", "[0-9A-Fa-f]"}, {"[:digit:]", "[0-9]"}}) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), to);
      at += to.size();
    }
  }
  auto flags = std::regex::ECMAScript;
  if (ignoreCase) flags |= std::regex::icase;
  return std::regex(text, flags);
}

std::vector<std::regex> inventoryPatterns() {
  std::vector<std::regex> patterns;
  for (const char* p : P::kInventory) patterns.push_back(compile(p, false));
  return patterns;
}

std::regex inventoryHeader() { return compile(P::kInventoryHeader, false); }

std::vector<std::regex> page2Patterns() {
  std::vector<std::regex> patterns;
  for (const char* p : P::kPage2) patterns.push_back(compile(p, true));
  return patterns;
}

std::regex page197Pattern() { return compile(P::kPage197, true); }
std::regex page202Throttle() { return compile(P::kPage202Throttle, true); }
std::regex page202Wear() { return compile(P::kPage202Wear, true); }
std::regex versionPattern() { return compile(P::kVersion, false); }

int firstMatch(const std::vector<std::regex>& patterns, const std::string& line) {
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    if (std::regex_match(line, patterns[i])) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto lf = text.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    std::size_t end = lf;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

std::string joinLines(const std::string& text) {
  std::string joined;
  for (const std::string& line : splitLines(text)) joined += line;
  return joined;
}

bool exceeds(const std::string& number, unsigned long long max) {
  const bool hex = number.rfind("0x", 0) == 0 || number.rfind("0X", 0) == 0;
  const std::string digits = hex ? number.substr(2) : number;
  if (digits.empty()) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (*end != '\0') return false;
  return errno == ERANGE || value > max;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/isdct-sim-test.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string toolPath() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/bin/isdct";
}

namespace {

// The environment of this process with ISDCT_SIM_FLEET replaced.
std::vector<std::string> environmentWith(const std::optional<std::string>& fleet) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ISDCT_SIM_FLEET=", 16) != 0) env.emplace_back(*e);
  }
  if (fleet) env.push_back("ISDCT_SIM_FLEET=" + *fleet);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

pid_t spawn(std::vector<std::string> argv, const std::optional<std::string>& fleet, int outFd,
            int errFd) {
  std::vector<std::string> env = environmentWith(fleet);
  std::vector<char*> argp = pointers(argv);
  std::vector<char*> envp = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("posix_spawn failed: " + std::string(std::strerror(rc)));
  return pid;
}

ProcessResult runArgv(const std::vector<std::string>& argv,
                      const std::optional<std::string>& fleet) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_t pid = spawn(argv, fleet, outPipe[1], errPipe[1]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ProcessResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

ProcessResult runTool(const std::vector<std::string>& args,
                      const std::optional<std::string>& fleet) {
  std::vector<std::string> argv = {toolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return runArgv(argv, fleet);
}

ProcessResult runShell(const std::string& commandLine, const std::optional<std::string>& fleet) {
  return runArgv({"/bin/sh", "-c", "'" + toolPath() + "' " + commandLine}, fleet);
}

pid_t startTool(const std::vector<std::string>& args, const std::optional<std::string>& fleet) {
  std::vector<std::string> argv = {toolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = spawn(argv, fleet, devNull, devNull);
  ::close(devNull);
  return pid;
}

}  // namespace simtest
