// The registry reader over hand-made Wine registry files, and drive letters through the prefix.
#include "support/basRegistry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <tuple>

#include "support/FaultFileSystem.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/WineRegistry.h"

namespace loftwick {
namespace {

const char* const kWinProxyKey = "SOFTWARE\\M&Msoft\\WinProxy";

class RegistryTest : public test::ProgramFixture {
  protected:
    RegistryTest() { Platform().desktop = &desktop_; }

    void WriteRegistry(const std::string& body) {
        prefix_.WriteFile(
            "system.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n" + body);
    }
    std::string Query(const std::string& key, const std::string& value) {
        return MyRegQueryStringValue(HKEY_LOCAL_MACHINE, key, value);
    }

    test::TempDir prefix_;
    test::ScopedEnv wine_{"WINEPREFIX", prefix_.path()};
    test::ScriptedDesktop desktop_;
};

TEST_F(RegistryTest, PlainStringWithEscapesReadsAsText) {
    WriteRegistry(
        "[Software\\\\M&Msoft\\\\WinProxy] 1700000000\n"
        "#time=1d9f0c0e2b3a4c0\n"
        "\"CacheDir\"=\"c:\\\\winproxy\\\\cache\\\\\"\n"
        "\"Motto\"=\"say \\\"hi\\\"\\tthen\\nstop \\x00e9t\\xd83d\\xde00\"\n");
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "c:\\winproxy\\cache\\");
    EXPECT_EQ(Query(kWinProxyKey, "Motto"), "say \"hi\"\tthen\nstop \xC3\xA9t\xF0\x9F\x98\x80");
    EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(RegistryTest, OnlyPlainStringValuesAreReturned) {
    WriteRegistry(
        "[Software\\\\M&Msoft\\\\WinProxy] 1700000000\n"
        "\"Expand\"=str(2):\"%SystemRoot%\\\\cache\"\n"
        "\"Number\"=dword:0000001f\n"
        "\"Bytes\"=hex:01,02,03\n"
        "@=\"the default\"\n"
        // A text without its closing NUL is stored as bytes: UTF-16LE "ok".
        "\"Unterminated\"=hex(1):6f,00,6b,00\n");
    EXPECT_EQ(Query(kWinProxyKey, "Expand"), "");
    EXPECT_EQ(Query(kWinProxyKey, "Number"), "");
    EXPECT_EQ(Query(kWinProxyKey, "Bytes"), "");
    EXPECT_EQ(Query(kWinProxyKey, ""), "the default");
    EXPECT_EQ(Query(kWinProxyKey, "Unterminated"), "ok");
}

TEST_F(RegistryTest, MissingPrefixFileKeyOrValueGiveEmptyText) {
    SetLastError(1234);
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "");  // no system.reg yet
    {
        test::ScopedEnv gone("WINEPREFIX", prefix_ / "nowhere");
        EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "");
    }
    WriteRegistry("[Software\\\\M&Msoft\\\\WinProxy] 1\n\"CacheDir\"=\"x\"\n");
    EXPECT_EQ(Query("SOFTWARE\\M&Msoft\\Other", "CacheDir"), "");
    EXPECT_EQ(Query(kWinProxyKey, "Missing"), "");
    EXPECT_EQ(MyRegQueryStringValue(0x80000001u, kWinProxyKey, "CacheDir"), "");  // only the machine root
    EXPECT_EQ(GetLastError(), 1234u);  // looking and not finding is not an error to report later
    SetLastError(0);
    EXPECT_TRUE(desktop_.messages.empty());
}

// Each case: the lines after the header, the key and value asked for, and the answer.
TEST_F(RegistryTest, KeysAndValuesAreFoundAsTheRegistryWouldFindThem) {
    const std::string proxy = "[Software\\\\M&Msoft\\\\WinProxy] 1\n";
    const std::string wow = "[Software\\\\Wow6432Node\\\\M&Msoft\\\\WinProxy] 1\n";
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        // Names match without regard to case, and separators around the key do not count.
        {"[Software\\\\Qbik Software\\\\WinGate\\\\Cache] 1\n\"CacheDirectory\"=\"cache\"\n",
         "\\software\\QBIK SOFTWARE\\wingate\\cache\\", "cachedirectory", "cache"},
        // An embedded NUL cuts the value.
        {proxy + "\"CacheDir\"=\"c:\\\\cache\\0d:\\\\other\"\n", kWinProxyKey, "CacheDir", "c:\\cache"},
        {proxy + "\"Hex\"=\"ab\\x0000cd\"\n", kWinProxyKey, "Hex", "ab"},
        // Subkeys and neighbouring keys do not leak values.
        {"[Software\\\\M&Msoft\\\\WinProxy\\\\Sub] 1\n\"CacheDir\"=\"sub\"\n"
         "[Software\\\\M&Msoft\\\\WinProxyX] 1\n\"CacheDir\"=\"neighbour\"\n" +
             proxy + "\"Other\"=\"o\"\n",
         kWinProxyKey, "CacheDir", ""},
        // The 32-bit view of a 64-bit prefix is asked first.
        {proxy + "\"CacheDir\"=\"n\"\n" + wow + "\"CacheDir\"=\"wow\"\n", kWinProxyKey, "CacheDir", "wow"},
        {proxy + "\"Only64\"=\"n\"\n" + wow, kWinProxyKey, "Only64", "n"},
        // The later value wins, and CR LF lines read.
        {"[Software\\\\M&Msoft\\\\WinProxy] 1\r\n\"CacheDir\"=\"first\"\r\n\"CacheDir\"=\"second\"\r\n",
         kWinProxyKey, "CacheDir", "second"},
    };
    for (const auto& [body, key, value, expected] : cases) {
        WriteRegistry(body);
        EXPECT_EQ(Query(key, value), expected) << body;
    }
    prefix_.WriteFile("system.reg", proxy + "\"CacheDir\"=\"x\"\n");  // without the header: no registry
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "");
}

TEST_F(RegistryTest, GarbageAroundTheKeyIsPassedOver) {
    const char raw[] = "\x01\xff\xfe binary\0garbage";
    const std::string garbage(raw, sizeof raw - 1);
    WriteRegistry(garbage + "\n" +
                  "not a line of the format\n"
                  "[Software\\\\Broken\n"  // a key line without "]"
                  "\"CacheDir\"=\"belongs to no key\"\n"
                  "[Software\\\\M&Msoft\\\\WinProxy] 1\n"
                  "\"Blob\"=hex:00,01,\\\n"  // a hex value continued over lines
                  "  \"CacheDir\"=\"inside the hex value\"\n"
                  "\"Half\"=\"no closing quote\n"
                  "\"Odd\"=str(zz):\"bad type\"\n"
                  "\"CacheDir\"=\"found\"\n");
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "found");
    EXPECT_EQ(Query(kWinProxyKey, "Half"), "");
    EXPECT_EQ(Query("Software\\Broken", "CacheDir"), "");
}

TEST_F(RegistryTest, OverlongLineIsSkippedAndReadingGoesOn) {
    const std::string huge(3 * WineRegistryLookup::kMaxLine, 'A');
    WriteRegistry("[Software\\\\M&Msoft\\\\WinProxy] 1\n\"Long\"=\"" + huge + "\"\n\"CacheDir\"=\"after\"\n");
    EXPECT_EQ(Query(kWinProxyKey, "Long"), "");
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "after");
}

TEST_F(RegistryTest, ReadErrorIsShownAndGivesEmptyText) {
    WriteRegistry("[Software\\\\M&Msoft\\\\WinProxy] 1\n\"CacheDir\"=\"x\"\n");
    test::FaultFileSystem faults;
    faults.FailNth(FsOp::Read, 1, EIO);
    Platform().fileSystem = &faults;
    EXPECT_EQ(Query(kWinProxyKey, "CacheDir"), "");
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].title, "MyRegQueryStringValue");
    EXPECT_EQ(desktop_.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_NE(desktop_.messages[0].text.find("system.reg"), std::string::npos);
}

TEST(WineRegistryLookup, ValuesSplitAcrossFeedsAtEveryByte) {
    const std::string text =
        "WINE REGISTRY Version 2\n[A\\\\B] 1\n\"V\"=hex(1):68,00,\\\n  69,00\n\"W\"=\"x\\\\y\"";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        WineRegistryLookup lookup({"a\\b"}, "w");
        lookup.Feed(std::string_view(text).substr(0, cut));
        lookup.Feed(std::string_view(text).substr(cut));
        lookup.Finish();
        ASSERT_TRUE(lookup.Result(0)) << cut;
        EXPECT_EQ(lookup.Result(0)->data, "x\\y") << cut;
    }
    WineRegistryLookup hex({"A\\B"}, "V");
    hex.Feed(text);
    hex.Finish();
    ASSERT_TRUE(hex.Result(0));
    EXPECT_EQ(hex.Result(0)->type, 1u);
    EXPECT_EQ(hex.Result(0)->data, "hi");
}

class DrivePathTest : public test::ProgramFixture {
  protected:
    test::TempDir prefix_;
    test::ScopedEnv wine_{"WINEPREFIX", prefix_.path() + "/"};
};

TEST_F(DrivePathTest, DriveLinkOfThePrefixIsFollowedToItsTarget) {
    prefix_.MakeDirs("dosdevices");
    prefix_.MakeDirs("drive_c");
    ASSERT_EQ(symlink("../drive_c", (prefix_ / "dosdevices/c:").c_str()), 0);
    ASSERT_EQ(symlink("/srv/data", (prefix_ / "dosdevices/d:").c_str()), 0);
    EXPECT_EQ(WindowsPathToNative("c:\\winproxy\\cache\\"), prefix_ / "drive_c/winproxy/cache/");
    EXPECT_EQ(WindowsPathToNative("C:\\Program Files\\WinGate\\cache"),
              prefix_ / "drive_c/Program Files/WinGate/cache");
    EXPECT_EQ(WindowsPathToNative("D:\\x\\"), "/srv/data/x/");
    EXPECT_EQ(WindowsPathToNative("c:"), prefix_ / "drive_c/");
}

TEST_F(DrivePathTest, WithoutDosdevicesDriveCIsTheDriveCFolderAndNoDriveOnlyChangesSeparators) {
    EXPECT_EQ(WindowsPathToNative("c:\\winproxy\\cache\\"), prefix_ / "drive_c/winproxy/cache/");
    EXPECT_EQ(WindowsPathToNative("c:relative\\name"), prefix_ / "drive_c/relative/name");
    EXPECT_EQ(WindowsPathToNative("\\srv\\cache\\"), "/srv/cache/");
    EXPECT_EQ(WindowsPathToNative("/already/native/"), "/already/native/");
    EXPECT_EQ(WindowsPathToNative(""), "");
}

}  // namespace
}  // namespace loftwick
