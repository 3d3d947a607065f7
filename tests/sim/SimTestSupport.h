// Helpers shared by the simulator's tests: the plug-in's pattern tables as
// std::regex, output split into lines the way the host's command runner
// splits them, a temporary folder, and a runner for the built bin/isdct.
#pragma once

#include <sys/types.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace simtest {

// A pattern of the plug-in's tables in std::regex form ("[:digit:]" and
// "[:xdigit:]" stand alone there; std::regex wants them in brackets).
std::regex compile(const char* pattern, bool ignoreCase);

struct PatternSet {
  std::vector<std::regex> exact;   // each line must match one of these whole
  std::vector<std::regex> search;  // or contain one of these
};

// The key patterns the plug-in reads the output of each query with.
std::vector<std::regex> inventoryPatterns();  // 26, in table order
std::regex inventoryHeader();                 // search
std::vector<std::regex> page2Patterns();      // 13, in table order
std::regex page197Pattern();
std::regex page202Throttle();  // search in the joined text
std::regex page202Wear();      // search in the joined text
std::regex versionPattern();

// Index of the first pattern that matches the whole line, or -1.
int firstMatch(const std::vector<std::regex>& patterns, const std::string& line);

// One element per line: a line ends at LF, a CR right before the LF belongs
// to the terminator, and a last line without LF is still a line.
std::vector<std::string> splitLines(const std::string& text);
// The lines joined back to back without their terminators.
std::string joinLines(const std::string& text);

// True when the decimal or 0x-hexadecimal text is a number above `max`.
bool exceeds(const std::string& number, unsigned long long max);

// A fresh folder under TMPDIR (or /tmp), removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);

// bin/isdct beside the test program.
std::string toolPath();

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
};

// Runs bin/isdct with `args`, ISDCT_SIM_FLEET set to `fleet` (unset when
// nullopt), stdin from /dev/null; waits for it to end.
ProcessResult runTool(const std::vector<std::string>& args,
                      const std::optional<std::string>& fleet);
// The same through /bin/sh -c with a command line, as the host runs the tool.
ProcessResult runShell(const std::string& commandLine, const std::optional<std::string>& fleet);
// Starts bin/isdct without waiting; output goes to /dev/null.
pid_t startTool(const std::vector<std::string>& args, const std::optional<std::string>& fleet);

}  // namespace simtest
