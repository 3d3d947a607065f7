// CConfigFile: one "key=value" settings file. A relative file name resolves
// against the host's configuration directory (SetConfigDirectory, default the
// current directory) at each read or write.
//
// Syntax: one setting per line; the key is the text before the first "=",
// the value the text after it, both with blanks trimmed; keys compare
// without regard to ASCII case. Blank lines and lines starting with "#", ";"
// or "[" are not settings and are kept as they are.
//
// Reads and writes never throw and are not cancellation points. A write
// replaces the file atomically (temporary file in the same folder, fsync,
// then rename; a symbolic link is written through to its target) and keeps
// every other line byte for byte and the file's permissions, so a failed
// write leaves the old file whole. Two objects writing the same file at once
// may lose one of the two updates; lock outside if that matters. An object is
// not synchronised: one per thread, or lock outside.
//
// The last failed write of any object is kept process-wide (the file it
// meant and why, the failing step with the system's words), so that a host
// can say more than the status.
#pragma once

#include <cstdint>
#include <string>

namespace PI {

// A write that failed: the path it resolved to (through a link, the
// target), the failing step and the system's reason ("creating a temporary
// file beside it: Read-only file system"), and a number that grows with
// each failure (1 for the first in the process).
struct ConfigWriteFailure {
  std::string path;
  std::string reason;
  uint64_t sequence = 0;
};

class CConfigFile {
 public:
  CConfigFile() = default;

  void SetFileName(const std::string& path) { m_FileName = path; }
  const std::string& GetFileName() const { return m_FileName; }

  // The path a read or write uses now (relative names resolved).
  std::string ResolvedPath() const;

  // What a read finds at ResolvedPath() now: no file (nothing there, or a
  // dangling link), a file that cannot be read (no permission, a link loop,
  // not a regular file, too large), or a readable file. Lets a caller say
  // why ReadKeyValue failed.
  enum class FileState { kMissing, kUnreadable, kReadable };
  FileState State() const;

  // Reads the value of the first line of `key`. Returns 0 when found;
  // PI::ERR_GENERAL when the file or the key is missing or the file is
  // unreadable, with `value` untouched. The two int arguments are reserved
  // and passed as -1.
  long ReadKeyValue(const std::string& key, std::string& value, int, int) const;

  // Sets `key` to `value`, replacing the first line of that key (keeping its
  // line end) or appending one; creates the file when missing. Returns 0 on
  // success, PI::ERR_GENERAL when the file cannot be read back or written (a
  // read-only folder, a folder in the file's place) or when the key is empty
  // or holds "=" or a line break, or the value a line break.
  long WriteKeyValue(const std::string& key, const std::string& value, int, int);

  // The last failed WriteKeyValue of the process; false when none failed.
  // Thread-safe.
  static bool LastWriteFailure(ConfigWriteFailure& failure);

  // Host setting (thread-safe): folder that relative file names resolve
  // against; "" means the current directory.
  static void SetConfigDirectory(const std::string& dir);
  static std::string GetConfigDirectory();

 private:
  std::string m_FileName;
};

}  // namespace PI
