// The settings writer keeps its last failure process-wide: the file it meant
// and the failing step with the system's reason, numbered so that a caller
// can tell whether its own write is the one that failed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "PI/ConfigFile.h"
#include "PI/Status.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using PI::CConfigFile;
using PI::ConfigWriteFailure;

// Writes from a thread whose file-system identity is an unprivileged user
// (root ignores permission bits; setfsuid is per thread). False when the
// identity cannot be dropped.
bool WriteUnprivileged(CConfigFile& ini, const std::string& key, long& status) {
  bool unprivileged = geteuid() != 0;
  std::thread writer([&] {
    if (!unprivileged) {
      setfsuid(65534);
      unprivileged = setfsuid(65534) == 65534;
    }
    status = ini.WriteKeyValue(key, "1", -1, -1);
    setfsuid(0);
  });
  writer.join();
  return unprivileged;
}

TEST(ConfigWriteFailure, TheLastFailedWriteNamesTheFileAndTheReason) {
  nimbra_test::TempDir dir;
  fs::create_directories(dir / "folder/Nimbra.ini");
  dir.Write("ro/.keep", "");
  chmod((dir / "ro").c_str(), 0555);
  dir.Write("real/Nimbra.ini", "A=1\n");
  fs::create_symlink(dir / "real/Nimbra.ini", dir / "link.ini");
  fs::create_symlink(dir / "nowhere/x.ini", dir / "dangling.ini");
  const struct {
    std::string file, key, path, reason;
    bool unprivileged;
  } cases[] = {
      {dir / "folder/Nimbra.ini", "A", dir / "folder/Nimbra.ini", "not a regular file", false},
      {dir / "missing/Nimbra.ini", "A", dir / "missing/Nimbra.ini",
       std::string("creating a temporary file beside it: ") + std::strerror(ENOENT), false},
      {dir / "ro/Nimbra.ini", "A", dir / "ro/Nimbra.ini",
       std::string("creating a temporary file beside it: ") + std::strerror(EACCES), true},
      {dir / "dangling.ini", "A", dir / "dangling.ini",
       std::string("following the link: ") + std::strerror(ENOENT), false},
      {dir / "link.ini", "A=B", dir / "link.ini",
       "the key is empty or holds '=' or a line break, or the value a line break", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + c.key);
    CConfigFile ini;
    ini.SetFileName(c.file);
    ConfigWriteFailure before;
    CConfigFile::LastWriteFailure(before);
    long status = 0;
    if (c.unprivileged) {
      if (!WriteUnprivileged(ini, c.key, status)) {
        std::cout << "skipped: cannot drop root's file-system privileges here\n";
        continue;
      }
    } else {
      status = ini.WriteKeyValue(c.key, "1", -1, -1);
    }
    EXPECT_EQ(status, PI::ERR_GENERAL);
    ConfigWriteFailure after;
    ASSERT_TRUE(CConfigFile::LastWriteFailure(after));
    EXPECT_EQ(after.sequence, before.sequence + 1);
    EXPECT_EQ(after.path, c.path);
    EXPECT_EQ(after.reason, c.reason);
  }
  chmod((dir / "ro").c_str(), 0755);

  // A write that succeeds (through the link, to its target) leaves the record.
  ConfigWriteFailure last;
  ASSERT_TRUE(CConfigFile::LastWriteFailure(last));
  CConfigFile ini;
  ini.SetFileName(dir / "link.ini");
  EXPECT_EQ(ini.WriteKeyValue("A", "2", -1, -1), 0);
  ConfigWriteFailure still;
  ASSERT_TRUE(CConfigFile::LastWriteFailure(still));
  EXPECT_EQ(still.sequence, last.sequence);
}

}  // namespace
