// Settings and message files, the module registry and the process path.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "HostTestUtil.h"
#include "PI/ConfigFile.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TestSupport.h"

namespace {

using nimbra_test::ReadFile;

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { PI::CConfigFile::SetConfigDirectory(m_Dir.path()); }
  void TearDown() override { PI::CConfigFile::SetConfigDirectory(""); }

  std::string Read(const std::string& key, const std::string& file = "Nimbra.ini") {
    PI::CConfigFile ini;
    ini.SetFileName(file);
    std::string value = "<untouched>";
    return ini.ReadKeyValue(key, value, -1, -1) == 0 ? value : "<" + value + ">";
  }
  long Write(const std::string& key, const std::string& value,
             const std::string& file = "Nimbra.ini") {
    PI::CConfigFile ini;
    ini.SetFileName(file);
    return ini.WriteKeyValue(key, value, -1, -1);
  }

  nimbra_test::TempDir m_Dir;
};

TEST_F(ConfigFileTest, ReadsKeysOfAFileInTheConfigDirectory) {
  m_Dir.Write(
      "Nimbra.ini",
      "# comment=1\n[section]\n  PollInterval = 45 \r\nName=a=b\nEmpty=\nPollInterval=99\n");
  EXPECT_EQ(Read("PollInterval"), "45");  // the first line of a key, blanks and CR trimmed
  EXPECT_EQ(Read("pollinterval"), "45");
  EXPECT_EQ(Read("Name"), "a=b");
  EXPECT_EQ(Read("Empty"), "");
  EXPECT_EQ(Read("# comment"), "<<untouched>>");
  EXPECT_EQ(Read("Missing"), "<<untouched>>");
  EXPECT_EQ(Read("PollInterval", "Other.ini"), "<<untouched>>");
  EXPECT_EQ(Read("PollInterval", m_Dir / "Nimbra.ini"), "45");  // absolute name
}

TEST_F(ConfigFileTest, WriteReplacesOneLineAndKeepsTheOthers) {
  const std::string before = "# settings\r\nA=1\r\nPollInterval=30\r\n\r\nZ = last";
  m_Dir.Write("Nimbra.ini", before);
  chmod((m_Dir / "Nimbra.ini").c_str(), 0600);
  ASSERT_EQ(Write("PollInterval", "60"), 0);
  EXPECT_EQ(ReadFile(m_Dir / "Nimbra.ini"), "# settings\r\nA=1\r\nPollInterval=60\r\n\r\nZ = last");
  ASSERT_EQ(Write("New", "x y"), 0);
  EXPECT_EQ(ReadFile(m_Dir / "Nimbra.ini"),
            "# settings\r\nA=1\r\nPollInterval=60\r\n\r\nZ = last\nNew=x y\n");
  struct stat st;
  ASSERT_EQ(stat((m_Dir / "Nimbra.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // permissions kept
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir.path()), {}), 1);
}

TEST_F(ConfigFileTest, WriteThroughASymbolicLinkKeepsTheLink) {
  m_Dir.Write("real/Nimbra.ini", "A=1\n");
  std::filesystem::create_symlink(m_Dir / "real/Nimbra.ini", m_Dir / "Nimbra.ini");
  ASSERT_EQ(Write("A", "2"), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(m_Dir / "Nimbra.ini"));
  EXPECT_EQ(ReadFile(m_Dir / "real/Nimbra.ini"), "A=2\n");
}

TEST_F(ConfigFileTest, RefusedWritesChangeNothing) {
  m_Dir.Write("Nimbra.ini", "A=1\n");
  for (const auto& kv : {std::make_pair("", "1"), std::make_pair("B=C", "1"),
                         std::make_pair("B\nC", "1"), std::make_pair("B", "1\nC=2")}) {
    EXPECT_EQ(Write(kv.first, kv.second), PI::ERR_GENERAL) << kv.first;
  }
  EXPECT_EQ(ReadFile(m_Dir / "Nimbra.ini"), "A=1\n");
}

TEST_F(ConfigFileTest, AFolderInTheFilesPlaceFails) {
  std::filesystem::create_directory(m_Dir / "Nimbra.ini");
  EXPECT_EQ(Read("A"), "<<untouched>>");
  EXPECT_EQ(Write("A", "1"), PI::ERR_GENERAL);
  EXPECT_TRUE(std::filesystem::is_directory(m_Dir / "Nimbra.ini"));
  EXPECT_EQ(Write("A", "1", "missing-folder/Nimbra.ini"), PI::ERR_GENERAL);
}

// A read-only folder: the write fails and the old file stays whole. Root
// ignores permission bits, so the write then runs on a thread whose file
// system identity is an unprivileged user (setfsuid is per thread).
TEST_F(ConfigFileTest, ReadOnlyFolderFailsAndKeepsTheOldFile) {
  const std::string old = "A=1\nPollInterval=30\n";
  m_Dir.Write("Nimbra.ini", old);
  chmod((m_Dir / "Nimbra.ini").c_str(), 0644);
  chmod(m_Dir.path().c_str(), 0555);
  long status = 0;
  bool unprivileged = geteuid() != 0;
  std::string value;
  std::thread writer([&] {
    if (!unprivileged) {
      setfsuid(65534);
      unprivileged = setfsuid(65534) == 65534;  // returns the identity now in force
    }
    status = Write("PollInterval", "60");
    PI::CConfigFile ini;
    ini.SetFileName("Nimbra.ini");
    ini.ReadKeyValue("PollInterval", value, -1, -1);  // reading still works
  });
  writer.join();
  chmod(m_Dir.path().c_str(), 0755);
  if (!unprivileged) GTEST_SKIP() << "cannot drop root's file-system privileges here";
  EXPECT_EQ(status, PI::ERR_GENERAL);
  EXPECT_EQ(value, "30");
  EXPECT_EQ(ReadFile(m_Dir / "Nimbra.ini"), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir.path()), {}), 1);
}

TEST_F(ConfigFileTest, LanguageFileTexts) {
  static const char* const kErrors[] = {"first", "second"};
  TLX::Language_Support::CLanguageSupport::CLngFile lng("Nimbra.nls", 1, "UTF-8", 0, kErrors, 2);
  m_Dir.Write("Nimbra.nls", "11093=Adapter %s added\nbad line\nx=y\n11094 = removed \n");
  EXPECT_EQ(lng.Text(11093), "Adapter %s added");
  EXPECT_EQ(lng.Text(11094), "removed");
  EXPECT_EQ(lng.Text(1), "");
  EXPECT_EQ(lng.ErrorText(1), "second");
  EXPECT_EQ(lng.ErrorText(2), "");
  EXPECT_EQ(lng.ErrorText(-1), "");
  TLX::Language_Support::CLanguageSupport::CLngFile missing("None.nls", 1, "UTF-8", 0, nullptr, 0);
  EXPECT_EQ(missing.Text(11093), "");
}

TEST(ModuleInfoTest, MaskSetBeforeOrAfterRegistrationApplies) {
  TLX::Language_Support::CLanguageSupport::CLngFile lng("x.nls", 1, "UTF-8", 0, nullptr, 0);
  TLX::Misc::SetModuleTraceMask("Early", 0x12);
  TLX::Misc::CModuleInfo early(309, "Early", "1.0", lng, nullptr, 0);
  EXPECT_EQ(early.TraceMask(), 0x12u);
  EXPECT_TRUE(early.TraceEnabled(2));
  EXPECT_FALSE(early.TraceEnabled(4));
  EXPECT_EQ(early.Tag(), 309u << 16);
  EXPECT_EQ(TLX::Misc::FindModule("Early"), &early);

  TLX::Misc::CModuleInfo late(310, "Late", "1.0", lng, nullptr, 0);
  EXPECT_EQ(late.TraceMask(), 0u);
  TLX::Misc::SetModuleTraceMask("Late", 8);
  EXPECT_EQ(late.TraceMask(), 8u);
  TLX::Misc::SetModuleTraceMask("*", 30);
  EXPECT_EQ(early.TraceMask(), 30u);
  EXPECT_EQ(late.TraceMask(), 30u);
  TLX::Misc::CModuleInfo later(311, "Early", "1.0", lng, nullptr, 0);
  EXPECT_EQ(later.TraceMask(), 30u);  // "*" replaced the earlier per-name setting
  TLX::Misc::SetModuleTraceMask("*", 0);
}

TEST(ModuleInfoTest, UnregistersOnDestruction) {
  TLX::Language_Support::CLanguageSupport::CLngFile lng("x.nls", 1, "UTF-8", 0, nullptr, 0);
  { TLX::Misc::CModuleInfo gone(1, "Gone", "1", lng, nullptr, 0); }
  EXPECT_EQ(TLX::Misc::FindModule("Gone"), nullptr);
}

TEST(ProcessPathTest, RealPathAndOverride) {
  std::string path;
  ASSERT_TRUE(TLX::Misc::CTlxApplication::GetProcessPath(path));
  EXPECT_EQ(std::filesystem::path(path).filename(), "host_unit_test");
  TLX::Misc::CTlxApplication::SetProcessPathOverride("/opt/host/bin/host");
  ASSERT_TRUE(TLX::Misc::CTlxApplication::GetProcessPath(path));
  EXPECT_EQ(path, "/opt/host/bin/host");
  TLX::Misc::CTlxApplication::SetProcessPathOverride("-");
  EXPECT_FALSE(TLX::Misc::CTlxApplication::GetProcessPath(path));
  EXPECT_EQ(path, "");
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  ASSERT_TRUE(TLX::Misc::CTlxApplication::GetProcessPath(path));
  EXPECT_EQ(std::filesystem::path(path).filename(), "host_unit_test");
}

}  // namespace
