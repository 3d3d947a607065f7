// CConfigFile: one "key=value" settings file. A relative file name resolves
// against the host's configuration directory (SetConfigDirectory, default the
// current directory) at each read or write. Reads never throw. A write
// replaces the file atomically (temporary file in the same folder, then
// rename) and keeps every other line as it was, so a failed write leaves the
// old file whole. Not synchronised: one object per thread, or lock outside.
#pragma once

#include <string>

namespace PI {

class CConfigFile {
 public:
  CConfigFile() = default;

  void SetFileName(const std::string& path) { m_FileName = path; }
  const std::string& GetFileName() const { return m_FileName; }

  // The path a read or write uses now (relative names resolved).
  std::string ResolvedPath() const;

  // Reads the value of `key` (text after the first "=", blanks around key and
  // value trimmed). Returns 0 when found; a non-zero status when the file or
  // the key is missing or unreadable, with `value` untouched. The two int
  // arguments are reserved and passed as -1.
  long ReadKeyValue(const std::string& key, std::string& value, int, int) const;

  // Sets `key` to `value`, replacing the first line of that key or appending
  // one. Returns 0 on success, PI::ERR_GENERAL when the file cannot be read
  // back or written (a read-only folder, a folder in the file's place).
  long WriteKeyValue(const std::string& key, const std::string& value, int, int);

  // Host setting: folder that relative file names resolve against.
  static void SetConfigDirectory(const std::string& dir);
  static std::string GetConfigDirectory();

 private:
  std::string m_FileName;
};

}  // namespace PI
