// The settings file writer: a write replaces the file atomically, keeping
// its other lines, its mode and a symbolic link to it; a write that cannot
// reach the file fails and leaves what was there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "PI/ConfigFile.h"
#include "PI/Status.h"
#include "TestSupport.h"

namespace {

using nimbra_test::ReadFile;
namespace fs = std::filesystem;

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { PI::CConfigFile::SetConfigDirectory(m_Dir.path()); }
  void TearDown() override { PI::CConfigFile::SetConfigDirectory(""); }

  static long Write(const std::string& key, const std::string& value,
                    const std::string& file = "Nimbra.ini") {
    PI::CConfigFile ini;
    ini.SetFileName(file);
    return ini.WriteKeyValue(key, value, -1, -1);
  }
  long Entries(const std::string& folder) const {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  }

  nimbra_test::TempDir m_Dir;
};

TEST_F(ConfigFileTest, WriteReplacesOneLineAndKeepsTheRest) {
  m_Dir.Write("real/Nimbra.ini", "# settings\r\nA=1\nPollInterval=30\r\n\r\nZ = last");
  chmod((m_Dir / "real/Nimbra.ini").c_str(), 0600);
  fs::create_symlink(m_Dir / "real/Nimbra.ini", m_Dir / "Nimbra.ini");
  ASSERT_EQ(Write("PollInterval", "60"), 0);
  ASSERT_EQ(Write("a", "2"), 0);  // keys in any case
  ASSERT_EQ(Write("New", "x y"), 0);
  EXPECT_EQ(ReadFile(m_Dir / "real/Nimbra.ini"),
            "# settings\r\na=2\nPollInterval=60\r\n\r\nZ = last\nNew=x y\n");
  EXPECT_TRUE(fs::is_symlink(m_Dir / "Nimbra.ini"));
  struct stat st;
  ASSERT_EQ(stat((m_Dir / "real/Nimbra.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Entries(m_Dir / "real"), 1);  // no temporary file left behind
}

// A folder in the file's place, and a missing folder (where a read-only
// folder fails too: no temporary file can be made).
TEST_F(ConfigFileTest, FailedWritesLeaveWhatWasThere) {
  fs::create_directory(m_Dir / "Nimbra.ini");
  EXPECT_EQ(Write("A", "1"), PI::ERR_GENERAL);
  EXPECT_TRUE(fs::is_directory(m_Dir / "Nimbra.ini"));
  EXPECT_EQ(Write("A", "1", m_Dir / "missing-folder/Nimbra.ini"), PI::ERR_GENERAL);
  EXPECT_EQ(Entries(m_Dir.path()), 1);
}

}  // namespace
