#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "results/SaveObjects.h"
#include "results/SavePath.h"
#include "results/SaveTestSupport.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;

// Everything below a folder, relative, links not followed; a trailing "/" marks a directory, "@" a link.
std::set<std::string> Tree(const std::string& folder) {
    std::set<std::string> found;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder, ec))) return found;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        std::string name = it->path().lexically_relative(folder).string();
        if (it->is_symlink())
            name += "@";
        else if (it->is_directory())
            name += "/";
        found.insert(name);
    }
    return found;
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> files;
    for (const std::string& entry : Tree(folder)) {
        if (entry.back() != '/') files.insert(entry);
    }
    return files;
}

class SaveOneFileTest : public SaveFixture {
  protected:
    std::string Save(const std::string& url, const std::string& contentType, const std::string& mode = "tree",
                     bool overwrite = true) {
        Add(url, contentType, "body of " + url);
        return SaveOneFile(host_, mode, overwrite);
    }
    std::string Out(const std::string& relative) const { return root() + "/" + relative; }
    std::string Read(const std::string& relative) const { return dir_.ReadFile("out/" + relative); }
};

// --- Naming, one folder per case -------------------------------------------------------------------------

struct GoldenCase {
    std::string name;
    std::map<std::string, std::string> fields;  // url, type, tree, domain, none
};

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    const fs::path base = fs::path(LOFTWICK_SOURCE_DIR) / "tests/results/golden/SaveOneFile";
    for (const auto& entry : fs::directory_iterator(base)) {
        GoldenCase c{entry.path().filename().string(), {}};
        std::ifstream in(entry.path() / "case.txt");
        for (std::string line; std::getline(in, line);) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) c.fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
        cases.push_back(c);
    }
    std::sort(cases.begin(), cases.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return cases;
}

// Each case is saved in each mode into an empty root, with the default-name prompt cancelled: the copy
// lands at the expected path, and it is the only file anywhere below the sandbox.
TEST_F(SaveOneFileTest, GoldenCasesLandAtTheirPathInEveryMode) {
    const std::vector<GoldenCase> cases = GoldenCases();
    ASSERT_GE(cases.size(), 10u);
    const std::set<std::string> sandboxBefore = Tree(dir_.path());
    for (const GoldenCase& c : cases) {
        for (const std::string mode : {"tree", "domain", "none"}) {
            SCOPED_TRACE(c.name + " / " + mode);
            fs::remove_all(root());
            host_.results.Clear();
            host_.skipPrompt = false;
            const std::string saved = Save(c.fields.at("url"), c.fields.at("type"), mode);
            EXPECT_EQ(saved, Out(c.fields.at(mode)));
            EXPECT_EQ(FilesIn(root()), std::set<std::string>{c.fields.at(mode)});
            EXPECT_EQ(Read(c.fields.at(mode)), "body of " + c.fields.at("url"));
            fs::remove_all(root());
            EXPECT_EQ(Tree(dir_.path()), sandboxBefore) << "written outside the root";
        }
    }
    EXPECT_TRUE(ReportLocations().empty());
}

TEST_F(SaveOneFileTest, UnknownModeSavesLikeNoneAndModesAreCaseSensitive) {
    EXPECT_EQ(Save("http://h/a/b.gif", "image/gif", "Tree"), Out("b.gif"));
    EXPECT_EQ(Save("http://h/a/c.gif", "image/gif", "flat"), Out("c.gif"));
}

// --- The save root -----------------------------------------------------------------------------------

TEST_F(SaveOneFileTest, RootTextIsTrimmedAndMayEndInEitherSeparator) {
    host_.tempDir = "  " + root() + "  ";
    EXPECT_EQ(Save("http://h/a.gif", "image/gif"), Out("h/a.gif"));
    host_.tempDir = root() + "\\";
    EXPECT_EQ(Save("http://h/b.gif", "image/gif"), Out("h/b.gif"));
    host_.tempDir = root() + "/new/deeper";
    EXPECT_EQ(Save("http://h/c.gif", "image/gif"), Out("new/deeper/h/c.gif"));
    EXPECT_EQ(FilesIn(root()), (std::set<std::string>{"h/a.gif", "h/b.gif", "new/deeper/h/c.gif"}));
}

TEST_F(SaveOneFileTest, EmptyRootSavesBelowTheCurrentDirectory) {
    dir_.MakeDirs("cwd");
    const std::string previous = fs::current_path().string();
    ASSERT_EQ(chdir((dir_ / "cwd").c_str()), 0);
    host_.tempDir = "   ";
    const std::string saved = Save("http://h/a/b.gif", "image/gif");
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(saved, "h/a/b.gif");
    EXPECT_EQ(dir_.ReadFile("cwd/h/a/b.gif"), "body of http://h/a/b.gif");
}

TEST_F(SaveOneFileTest, NoCurrentResultSavesNothing) {
    Add("http://h/a.gif", "image/gif");
    host_.current = 0;
    EXPECT_EQ(SaveOneFile(host_, "tree", true), "");
    EXPECT_FALSE(dir_.Exists("out"));
    EXPECT_TRUE(desktop_.messages.empty());
}

// --- Files and folders in the way -------------------------------------------------------------------

TEST_F(SaveOneFileTest, FileStandingWhereDirectoryIsNeededMovesInsideUnderTheDefaultName) {
    EXPECT_EQ(Save("proto://server/a.b", "text/html"), Out("server/a.b"));
    EXPECT_EQ(Save("proto://server/a.b/c.gif", "image/gif"), Out("server/a.b/c.gif"));

    EXPECT_EQ(Tree(root()),
              (std::set<std::string>{"server/", "server/a.b/", "server/a.b/c.gif", "server/a.b/index.gif"}));
    // The displaced file keeps its content; its new name comes from the object being saved.
    EXPECT_EQ(Read("server/a.b/index.gif"), "body of proto://server/a.b");
    EXPECT_EQ(Read("server/a.b/c.gif"), "body of proto://server/a.b/c.gif");
    ASSERT_EQ(desktop_.prompts.size(), 1u);
    EXPECT_EQ(desktop_.prompts[0].prompt, Out("server/a.b/") + "\r\nType name for default file: ");
    EXPECT_TRUE(ReportLocations().empty());
}

TEST_F(SaveOneFileTest, DisplacedFileTakesTheAnsweredDefaultName) {
    Save("proto://server/a.b", "text/html");
    desktop_.inputAnswers = {std::string("start.htm")};
    Save("proto://server/a.b/c.gif", "image/gif");
    EXPECT_EQ(Read("server/a.b/start.gif"), "body of proto://server/a.b");
    EXPECT_EQ(host_.defaultName, "start.htm");
    // A typed name keeps its characters, Latin-1 or beyond, and still goes through the name rules.
    for (const auto& [typed, saved] : std::vector<std::pair<std::string, std::string>>{
             {"\xD0\xB8\xD0\xBD\xD0\xB4\xD0\xB5\xD0\xBA\xD1\x81.html",
              "\xD0\xB8\xD0\xBD\xD0\xB4\xD0\xB5\xD0\xBA\xD1\x81.html"},
             {"caf\xC3\xA9 \xE2\x82\xAC.htm", "caf\xC3\xA9 \xE2\x82\xAC.html"},
             {"a\tb\xF0\x9F\x93\x84", "a_b\xF0\x9F\x93\x84.html"}}) {
        host_.defaultName = typed;
        host_.skipPrompt = true;
        EXPECT_EQ(Save("proto://server/dir/", "text/html", "none"), Out(saved)) << typed;
    }
}

TEST_F(SaveOneFileTest, NeitherTheParkingNameNorASimilarNameBesideTheDirectoryIsDisturbed) {
    Save("proto://server/a.b_tmp", "text/html");
    Save("proto://server/a.b", "text/html");
    Save("proto://server/a.b/c.gif", "image/gif");
    EXPECT_EQ(Save("proto://server/a", "text/html"), Out("server/a.html"));
    EXPECT_EQ(Save("proto://server/a/b.gif", "image/gif"), Out("server/a/b.gif"));
    EXPECT_EQ(Tree(root()), (std::set<std::string>{"server/", "server/a.b_tmp", "server/a.b/",
                                                   "server/a.b/c.gif", "server/a.b/index.gif",
                                                   "server/a.html", "server/a/", "server/a/b.gif"}));
    EXPECT_EQ(Read("server/a.b_tmp"), "body of proto://server/a.b_tmp");
    EXPECT_EQ(Read("server/a.b/index.gif"), "body of proto://server/a.b");
}

TEST_F(SaveOneFileTest, TargetThatIsAnExistingFolderGetsTheDefaultNameInside) {
    dir_.MakeDirs("out/server/x.htm");
    EXPECT_EQ(Save("proto://server/x.htm", "text/html"), Out("server/x.htm/index.html"));
    EXPECT_EQ(Read("server/x.htm/index.html"), "body of proto://server/x.htm");
}

TEST_F(SaveOneFileTest, FailedMoveOfADisplacedFilePutsItBackAndIsReported) {
    Save("proto://server/a.b", "text/html");
    fs_.FailNth(FsOp::Rename, 2, EACCES);  // the park succeeds, the move into the new folder fails
    EXPECT_EQ(Save("proto://server/a.b/c.gif", "image/gif"), "");
    EXPECT_EQ(Tree(root()), (std::set<std::string>{"server/", "server/a.b"}));
    EXPECT_EQ(Read("server/a.b"), "body of proto://server/a.b");
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"frmMain:SaveOneFile"});
    EXPECT_NE(
        desktop_.messages.at(0).text.find("Saving file: " + Out("server/a.b/c.gif") + "\r\n mode: tree"),
        std::string::npos);
}

TEST_F(SaveOneFileTest, FailedCopyIsReportedByTheObjectAndThePathIsStillReturned) {
    auto object = Add("http://h/a.gif", "image/gif");
    object->failCopy = true;
    EXPECT_EQ(SaveOneFile(host_, "tree", true), Out("h/a.gif"));
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"clsCacheWinProxy:clsCache_FileCopy"});
    EXPECT_FALSE(dir_.Exists("out/h/a.gif"));
}

// --- Open Local Copy: no overwriting ----------------------------------------------------------------------

TEST_F(SaveOneFileTest, WithoutOverwriteAnExistingCopyIsKept) {
    dir_.WriteFile("out/h/a.gif", "older copy");
    auto object = Add("http://h/a.gif", "image/gif", "new");
    EXPECT_EQ(SaveOneFile(host_, "tree", false), Out("h/a.gif"));
    EXPECT_EQ(Read("h/a.gif"), "older copy");
    EXPECT_TRUE(object->copies.empty());

    EXPECT_EQ(SaveOneFile(host_, "tree", true), Out("h/a.gif"));
    EXPECT_EQ(Read("h/a.gif"), "new");
}

// --- Symbolic links below the root ---------------------------------------------------------------------

class SaveThroughLinks : public SaveOneFileTest {
  protected:
    SaveThroughLinks() { dir_.MakeDirs("elsewhere"); }
};

TEST_F(SaveThroughLinks, LinkOrDanglingLinkPlantedWhereTheHostDirectoryGoesIsRefused) {
    dir_.MakeDirs("out");
    for (const std::string target : {"elsewhere", "elsewhere/new"}) {
        fs::remove(Out("server"));
        ASSERT_EQ(symlink((dir_ / target).c_str(), Out("server").c_str()), 0);
        EXPECT_EQ(Save("proto://server/a/b.gif", "image/gif"), "");
        EXPECT_TRUE(Tree(dir_ / "elsewhere").empty());
        EXPECT_EQ(Tree(root()), std::set<std::string>{"server@"});
    }
    EXPECT_EQ(ReportLocations(), (std::vector<std::string>{"frmMain:SaveOneFile", "frmMain:SaveOneFile"}));
}

TEST_F(SaveThroughLinks, LinkDeeperDownIsRefusedInEveryMode) {
    dir_.MakeDirs("out/server");
    ASSERT_EQ(symlink((dir_ / "elsewhere").c_str(), Out("server/a").c_str()), 0);
    EXPECT_EQ(Save("proto://server/a/b.gif", "image/gif", "tree"), "");
    // Domain mode does not go through "a", so it saves.
    EXPECT_EQ(Save("proto://server/a/b.gif", "image/gif", "domain"), Out("server/b.gif"));
    EXPECT_TRUE(Tree(dir_ / "elsewhere").empty());
}

TEST_F(SaveThroughLinks, LinkAtTheFileNameIsReplacedNotFollowed) {
    dir_.WriteFile("elsewhere/victim", "precious");
    dir_.MakeDirs("out/h");
    ASSERT_EQ(symlink((dir_ / "elsewhere/victim").c_str(), Out("h/a.gif").c_str()), 0);
    // Even without overwriting: a link is not a kept copy.
    EXPECT_EQ(Save("http://h/a.gif", "image/gif", "tree", false), Out("h/a.gif"));
    EXPECT_EQ(dir_.ReadFile("elsewhere/victim"), "precious");
    EXPECT_EQ(Tree(root()), (std::set<std::string>{"h/", "h/a.gif"}));
    EXPECT_EQ(Read("h/a.gif"), "body of http://h/a.gif");
}

// --- Hostile URLs -----------------------------------------------------------------------------------

TEST_F(SaveOneFileTest, ControlCharactersAndNulBecomeUnderscoresAndCacheBytesUtf8) {
    EXPECT_EQ(Save("http://h/a\x01"
                   "b\x7f\tc.gif",
                   "image/gif"),
              Out("h/a_b__c.gif"));
    EXPECT_EQ(Save(std::string("http://h/x") + '\0' + "y/z.gif", "image/gif"), Out("h/x_y/z.gif"));
    EXPECT_EQ(Save("http://h/line\r\nbreak.gif", "image/gif"), Out("h/line__break.gif"));
    EXPECT_EQ(Save("http://h/caf\xe9.gif", "image/gif"), Out("h/caf\xc3\xa9.gif"));
    EXPECT_EQ(Read("h/caf\xc3\xa9.gif"), "body of http://h/caf\xe9.gif");
}

TEST_F(SaveOneFileTest, VeryLongNamesAreShortenedAndStayDistinct) {
    const std::string longDir(400, 'd');
    const std::string common(300, 'n');
    const std::string first = Save("http://h/" + longDir + "/" + common + "1.gif", "image/gif");
    const std::string second = Save("http://h/" + longDir + "/" + common + "2.gif", "image/gif");
    const std::string longQuery = Save("http://h/p.gif?" + std::string(500, 'q'), "image/gif");
    ASSERT_NE(first, "");
    ASSERT_NE(second, "");
    ASSERT_NE(longQuery, "");
    EXPECT_NE(first, second);

    const std::set<std::string> files = FilesIn(root());
    EXPECT_EQ(files.size(), 3u);
    for (const std::string& file : files) {
        for (const auto& part : fs::path(file)) {
            EXPECT_LE(part.string().size(), kMaxSavedNameBytes) << file;
        }
        EXPECT_EQ(fs::path(file).extension(), ".gif") << file;
    }
    EXPECT_EQ(dir_.ReadFile(first.substr(dir_.path().size() + 1)),
              "body of http://h/" + longDir + "/" + common + "1.gif");
}

TEST_F(SaveOneFileTest, NothingIsEverWrittenOutsideTheRoot) {
    const std::vector<std::string> hostile = {
        "http://h/../../etc/passwd",
        "http://h/a?../../x",
        "http://h/%2e%2e/%2e%2e/x",
        "http://h//..//..//x",
        "../../x",
        "..",
        ".",
        "/",
        "//",
        "///",
        "\\..\\..\\x",
        "http://..",
        "http://../..",
        "http://h/..\\x",
        "http://h/a/..",
        "http://h/a?/..",
        "http://h/.%2e/x",
        "ftp://h/\x01..",
        std::string(1, '\0'),
        "http://h/x/../../../../../../../tmp/evil",
        "c:/../x",
        "c:..",
        "http://h/" + std::string(300, '.'),
        "http://h/" + std::string(300, '/') + "x",
    };
    dir_.WriteFile("sentinel", "unchanged");
    const std::set<std::string> before = Tree(dir_.path());
    for (const std::string mode : {"tree", "domain", "none"}) {
        for (const std::string& url : hostile) {
            SCOPED_TRACE(mode + " " + url);
            const std::string saved = Save(url, "text/html", mode);
            ASSERT_EQ(saved.rfind(root() + "/", 0), 0u);
            const fs::path canonical = fs::weakly_canonical(saved);
            EXPECT_EQ(canonical.string().rfind(fs::canonical(root()).string() + "/", 0), 0u) << canonical;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(saved)));
        }
    }
    // The sandbox apart from the root and the log folder.
    auto outside = [](std::set<std::string> entries) {
        std::erase_if(
            entries, [](const std::string& p) { return p.rfind("out/", 0) == 0 || p.rfind("log/", 0) == 0; });
        return entries;
    };
    EXPECT_EQ(outside(Tree(dir_.path())), outside(before));
    EXPECT_EQ(dir_.ReadFile("sentinel"), "unchanged");
    for (const std::string& entry : Tree(root())) {
        for (const auto& part : fs::path(entry)) {
            EXPECT_NE(part, "..") << entry;
            EXPECT_NE(part, ".") << entry;
        }
    }
    EXPECT_TRUE(ReportLocations().empty());
}

// --- The naming of file-system parts --------------------------------------------------------------------

TEST(SafeNameParts, OneLeadingSeparatorJoinsTheRootOthersBecomeUnderscores) {
    EXPECT_EQ(SafeNameParts("\\a\\b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SafeNameParts("/a/b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SafeNameParts("\\\\a"), (std::vector<std::string>{"_", "a"}));
    EXPECT_EQ(SafeNameParts("a\\\\b\\"), (std::vector<std::string>{"a", "_", "b", "_"}));
    EXPECT_EQ(SafeNameParts("..\\.\\..."), (std::vector<std::string>{"%2E%2E", "%2E", "..."}));
    EXPECT_TRUE(SafeNameParts("").empty());
}

TEST(SafeNamePart, LongPartKeepsItsHeadAShortExtensionAndAHashOfTheWhole) {
    const std::string name = std::string(250, 'a') + ".gif";
    const std::string shortened = SafeNamePart(name);
    EXPECT_EQ(shortened.substr(0, 200), std::string(200, 'a'));
    EXPECT_EQ(shortened.substr(200, 1), "~");
    EXPECT_EQ(shortened.size(), 200u + 1 + 16 + 4);
    EXPECT_EQ(shortened.substr(217), ".gif");
    EXPECT_NE(SafeNamePart(std::string(250, 'a') + "b.gif"), shortened);
    EXPECT_EQ(SafeNamePart(name), shortened) << "stable";
    // A long "extension" is not kept.
    const std::string tail = SafeNamePart(std::string(250, 'a') + "." + std::string(40, 'x'));
    EXPECT_EQ(tail.size(), 200u + 1 + 16);
    // Exactly at the limit nothing changes.
    EXPECT_EQ(SafeNamePart(std::string(kMaxSavedNameBytes, 'z')), std::string(kMaxSavedNameBytes, 'z'));
}

TEST(SafeNamePart, ShorteningNeverSplitsACharacter) {
    const std::string name = "a" + std::string(150, '\xe9');  // 301 bytes once UTF-8
    const std::string shortened = SafeNamePart(name);
    const size_t tilde = shortened.find('~');
    ASSERT_NE(tilde, std::string::npos);
    EXPECT_EQ(tilde, 199u);  // 1 + 99 two-byte characters; the 100th would cross byte 200
}

TEST(SaveRoot, TrimmedWithASlashAndEmptyStaysEmpty) {
    EXPECT_EQ(SaveRoot("rel\\dir"), "rel/dir/");
    EXPECT_EQ(SaveRoot("/tmp/x/"), "/tmp/x/");
    EXPECT_EQ(SaveRoot("   "), "");
}

}  // namespace
}  // namespace loftwick::test
