// The settings file: profile-string semantics, edits that keep the rest of the file, atomic replacement.
#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/FaultFileSystem.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

class SettingsTest : public test::ProgramFixture {
  protected:
    SettingsTest() { Program().IniFileName = dir_ / "loftwick.ini"; }

    std::string Content() const { return dir_.ReadFile("loftwick.ini"); }

    test::TempDir dir_;
};

TEST_F(SettingsTest, SectionsAndKeysMatchWithoutCaseAndValuesAreTrimmed) {
    dir_.WriteFile("loftwick.ini", "[ Common ]\n  ProxyType =  2  \nCacheDir=\t/srv/cache/ \n");
    EXPECT_EQ(GetIniValue("common", "PROXYTYPE", "0"), "2");
    EXPECT_EQ(GetIniValue("COMMON", "cachedir", ""), "/srv/cache/");
    dir_.WriteFile("loftwick.ini", "[A]\nk=1\nk=2\n[a]\nk=3\nonly=4\n");  // the first section and key count
    EXPECT_EQ(GetIniValue("A", "k", ""), "1");
    EXPECT_EQ(GetIniValue("A", "only", "none"), "none");
}

TEST_F(SettingsTest, MissingOrEmptyValuesGiveTheDefault) {
    EXPECT_EQ(GetIniValue("Common", "ProxyType", "dflt"), "dflt");  // no file at all
    dir_.WriteFile("loftwick.ini",
                   "[Common]\nProxyType=\nBlank=   \n; CacheDir=commented\n[Other]\nCacheDir=x\n");
    EXPECT_EQ(GetIniValue("Common", "ProxyType", "dflt"), "dflt");
    EXPECT_EQ(GetIniValue("Common", "Blank", "dflt"), "dflt");
    EXPECT_EQ(GetIniValue("Common", "CacheDir", "dflt"), "dflt");
    EXPECT_EQ(GetIniValue("Missing", "CacheDir", "dflt"), "dflt");
}

TEST_F(SettingsTest, LongValueReadsBackWhole) {
    const std::string value = std::string(5000, 'x') + "\xD0\xBA\xD1\x8D\xD1\x88" + "end";
    ASSERT_TRUE(WriteIniValue("DataBase", "URL1", value));
    EXPECT_EQ(GetIniValue("DataBase", "URL1", ""), value);
}

TEST_F(SettingsTest, WritingCreatesFileSectionAndKey) {
    ASSERT_TRUE(WriteIniValue("Common", "ProxyType", "1"));
    EXPECT_EQ(Content(), "[Common]\nProxyType=1\n");
    ASSERT_TRUE(WriteIniValue("Persistence", "DirPrev", "/home/me/"));
    ASSERT_TRUE(WriteIniValue("Common", "CacheDir", "/srv/c/"));
    EXPECT_EQ(Content(), "[Common]\nProxyType=1\nCacheDir=/srv/c/\n\n[Persistence]\nDirPrev=/home/me/\n");
}

TEST_F(SettingsTest, WritingKeepsCommentsOrderOtherSectionsAndLineEnds) {
    const std::string before =
        "\xEF\xBB\xBF; settings of Loftwick\r\n[Common]\r\nproxytype = 1\r\n; keep me\r\nCacheDir=/a/\r\n\r\n"
        "[DataBase]\r\nHost1=example\r\n";
    dir_.WriteFile("loftwick.ini", before);
    ASSERT_TRUE(WriteIniValue("COMMON", "ProxyType", "2"));
    ASSERT_TRUE(WriteIniValue("Common", "Language", "ru"));
    EXPECT_EQ(Content(),
              "\xEF\xBB\xBF; settings of Loftwick\r\n[Common]\r\nproxytype=2\r\n; keep me\r\nCacheDir=/a/\r\n"
              "Language=ru\r\n\r\n[DataBase]\r\nHost1=example\r\n");
}

TEST_F(SettingsTest, UnchangedValueLeavesTheFileUntouched) {
    dir_.WriteFile("loftwick.ini", "[Common]\nProxyType=1\n");
    struct stat before {};
    ASSERT_EQ(stat((dir_ / "loftwick.ini").c_str(), &before), 0);
    ASSERT_TRUE(WriteIniValue("Common", "ProxyType", "1"));
    struct stat after {};
    ASSERT_EQ(stat((dir_ / "loftwick.ini").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced
}

TEST_F(SettingsTest, NoSettingsFileNameMeansNothingIsReadOrWritten) {
    Program().IniFileName.clear();
    EXPECT_EQ(GetIniValue("Common", "ProxyType", "d"), "d");
    EXPECT_FALSE(WriteIniValue("Common", "ProxyType", "1"));
    EXPECT_EQ(GetIniValue("Common", "ProxyType", "d", dir_ / "strings.txt"), "d");
}

TEST_F(SettingsTest, TextsThatWouldBreakTheFileAreRefused) {
    dir_.WriteFile("loftwick.ini", "[Common]\nProxyType=1\n");
    EXPECT_FALSE(WriteIniValue("Common", "ProxyType", "1\n[Evil]\nx=y"));
    EXPECT_FALSE(WriteIniValue("Com]mon", "k", "v"));
    EXPECT_FALSE(WriteIniValue("Common", "a=b", "v"));
    EXPECT_FALSE(WriteIniValue("", "k", "v"));
    EXPECT_EQ(Content(), "[Common]\nProxyType=1\n");
}

class SettingsFaultTest : public SettingsTest {
  protected:
    SettingsFaultTest() {
        dir_.WriteFile("loftwick.ini", kBefore);
        Platform().fileSystem = &fs_;
    }
    static constexpr const char* kBefore = "[Common]\nProxyType=1\n; comment\n";
    test::FaultFileSystem fs_;
};

// A write failing at any point leaves the old file and no temporary one (SettingsFaults sweeps every point).
TEST_F(SettingsFaultTest, FailedWriteOrRenameLeavesTheOldFileAndNoTemporaryFile) {
    fs_.FailWritesAfterBytes(5, ENOSPC);
    EXPECT_FALSE(WriteIniValue("Common", "ProxyType", "2"));
    fs_.Reset();
    fs_.FailNth(FsOp::Rename, 1, EIO);
    EXPECT_FALSE(WriteIniValue("Common", "ProxyType", "2"));
    EXPECT_EQ(Content(), kBefore);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
    fs_.Reset();
    EXPECT_TRUE(WriteIniValue("Common", "ProxyType", "2"));
    EXPECT_EQ(GetIniValue("Common", "ProxyType", ""), "2");
}

TEST_F(SettingsFaultTest, UnreadableFileIsNotReplacedByOneKey) {
    fs_.FailPath(FsOp::OpenRead, "loftwick.ini", EACCES);
    EXPECT_EQ(GetIniValue("Common", "ProxyType", "d"), "d");
    EXPECT_FALSE(WriteIniValue("Common", "CacheDir", "/x/"));
    EXPECT_EQ(Content(), kBefore);
}

TEST_F(SettingsFaultTest, SettingsFileGoesToTheConfigFolderWhenTheProgramFolderIsReadOnly) {
    test::TempDir config;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", config / "deeper");
    EXPECT_EQ(ChooseIniFileName(dir_.path(), "loftwick"), dir_ / "loftwick.ini");
    fs_.FailPath(FsOp::Stat, dir_.path(), EACCES);
    EXPECT_EQ(ChooseIniFileName(dir_.path() + "/", "loftwick"), config / "deeper/loftwick/loftwick.ini");
    EXPECT_TRUE(std::filesystem::is_directory(config / "deeper/loftwick"));
}

TEST(IniDocument, KeyLinesNeedAnEqualsSignAndAFileWithoutFinalLineEndGetsOne) {
    IniDocument doc("[S]\nnot a key\nk=v=w");
    EXPECT_EQ(doc.Get("S", "not a key"), std::nullopt);
    EXPECT_EQ(doc.Get("s", "K"), "v=w");
    ASSERT_TRUE(doc.Set("S", "n", "1"));
    EXPECT_EQ(doc.Text(), "[S]\nnot a key\nk=v=w\nn=1\n");
}

}  // namespace
}  // namespace loftwick
