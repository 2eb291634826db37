#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "results/FixNameForLocal.h"
#include "results/SaveObjects.h"
#include "results/SavePath.h"
#include "results/SaveTestSupport.h"
#include "support/FaultSweep.h"
#include "support/TableCheck.h"
#include "support/TextCodec.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;

// The files below a folder by relative path, each with its content ("-> target" for a link), and the
// empty folders as "path/", so that a folder a save leaves behind is seen too.
std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& [path, file] : SnapshotFolder(folder)) files[path] = file.content;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory() && !it->is_symlink() && fs::is_empty(it->path()))
            files[fs::relative(it->path(), folder).string() + "/"] = "";
    }
    return files;
}

struct GoldenCase {
    std::string name;
    std::map<std::string, std::string> fields;  // url, type, local, tree, domain, none, default name
    std::vector<std::pair<std::string, std::string>> lines;  // in file order
};

// "\xNN" in a field stands for that byte.
std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int high =
            i + 3 < text.size() && text.compare(i, 2, "\\x") == 0 ? HexDigitValue(text[i + 2]) : -1;
        const int low = high < 0 ? -1 : HexDigitValue(text[i + 3]);
        out += low < 0 ? text[i] : static_cast<char>(high * 16 + low);
        if (low >= 0) i += 3;
    }
    return out;
}

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    const fs::path base = fs::path(LOFTWICK_SOURCE_DIR) / "tests/results/golden/SaveOneFile";
    for (const auto& entry : fs::directory_iterator(base)) {
        GoldenCase c{entry.path().filename().string(), {}, {}};
        std::ifstream in(entry.path() / "case.txt");
        for (std::string line; std::getline(in, line);) {
            const size_t colon = line.find(": ");
            if (colon == std::string::npos || line[0] == '#') continue;
            c.lines.emplace_back(line.substr(0, colon), Unescaped(line.substr(colon + 2)));
            c.fields[c.lines.back().first] = c.lines.back().second;
        }
        cases.push_back(c);
    }
    return cases;
}

// A case names a URL, its local-copy name and where a save in each mode puts it: into an empty root, with
// the default-name prompt cancelled (or skipped for the case's default name), the copy lands at that path
// and is the only file anywhere below the sandbox (so do the hostile URLs, at a path of plain names). Or
// it is a sequence of saves: "root:" sets the root text, "folder:" makes a folder below the root, "link:"
// a link there to a file outside it, "fail:" fails that rename from now on, "skipped:" skips the
// default-name prompt; "save: url ; type ; mode ; expected [; keep]" saves (keeping existing files), "add:
// url ; type" adds a result and "save all: tree" saves them all; "prompt:" and "report:" are the default-name
// prompts and error reports (by location) expected; "after: path ; url" lists every file below the root
// then, with the URL whose body it holds. "{out}" is the root, and the current directory.
TEST_F(SaveFixture, GoldenCases) {
    const auto save = [&](const std::string& url, const std::string& type, const std::string& mode,
                          bool keep) {
        Add(url, type, "body of " + url);
        return SaveOneFile(host_, mode, !keep);
    };
    std::vector<GoldenCase> cases = GoldenCases();
    std::ifstream hostile(fs::path(LOFTWICK_SOURCE_DIR) / "tests/results/golden/HostileUrls.txt");
    for (std::string line; std::getline(hostile, line);) {
        if (line[0] != '#')
            cases.push_back({"hostile", {{"url", Unescaped(line)}, {"type", "text/html"}}, {}});
    }
    ASSERT_GE(cases.size(), 60u);
    const std::string previous = fs::current_path().string();
    dir_.WriteFile("victim", "precious");
    const auto sandboxBefore = Files(dir_.path());
    int sequences = 0;
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.name);
        sequences += c.fields.count("url") == 0;
        fs::remove_all(root());
        dir_.MakeDirs("out");
        host_.tempDir = root();
        host_.results.Clear();
        host_.skipPrompt = c.fields.count("default name") > 0;
        host_.defaultName = host_.skipPrompt ? c.fields.at("default name") : "";
        ASSERT_EQ(chdir(root().c_str()), 0);
        std::map<std::string, std::string> after;
        std::vector<std::string> prompts, reports;
        for (auto [key, value] : c.lines) {
            value = Replaced(value, "{out}", root());
            const std::vector<std::string> part = Fields(value);
            if (key == "root") {
                host_.tempDir = value;
            } else if (key == "folder") {
                dir_.MakeDirs("out/" + value);
            } else if (key == "link") {
                ASSERT_EQ(symlink((dir_ / "victim").c_str(), (root() + "/" + value).c_str()), 0);
            } else if (key == "fail") {
                fs_.FailNth(FsOp::Rename, std::stoi(value), EACCES);
            } else if (key == "prompt") {
                prompts.push_back(value);
            } else if (key == "report") {
                reports.push_back(value);
            } else if (key == "skipped") {
                host_.skipPrompt = true;
            } else if (key == "add") {
                Add(part.at(0), part.at(1), "body of " + part.at(0));
            } else if (key == "save all") {
                mnuSaveTreeAll_Click(host_);
            } else if (key == "save") {
                EXPECT_EQ(save(part.at(0), part.at(1), part.at(2), part.size() > 4), part.at(3)) << value;
            } else if (key == "after") {
                after[part.at(0)] = "body of " + part.at(1);
            }
        }
        for (const std::string mode : {"tree", "domain", "none"}) {
            if (c.fields.count("url") == 0) break;
            const std::string url = c.fields.at("url");
            SCOPED_TRACE(mode + " / " + url);
            Add(url, c.fields.at("type"));
            const std::string local = FixNameForLocal(host_, host_.current);
            EXPECT_EQ(local, c.fields.count("local") > 0 ? c.fields.at("local") : local);
            host_.skipPrompt = c.fields.count("default name") > 0;
            const std::string saved = save(url, c.fields.at("type"), mode, false);
            const auto files = Files(root());
            ASSERT_EQ(files.size(), 1u);
            const auto& [path, content] = *files.begin();
            EXPECT_EQ(saved, root() + "/" + path);
            EXPECT_EQ(content, "body of " + url);
            EXPECT_EQ(path, c.fields.count(mode) > 0 ? c.fields.at(mode) : path);
            for (const auto& part : fs::path(path)) {
                EXPECT_TRUE(part != ".." && part != "." && part.string().size() <= kMaxSavedNameBytes)
                    << path;
            }
            fs::remove_all(root());
            EXPECT_EQ(Files(dir_.path()), sandboxBefore) << "written outside the root";
            desktop_.prompts.clear();
        }
        ASSERT_EQ(chdir(previous.c_str()), 0);
        EXPECT_EQ(Files(root()), after);
        EXPECT_EQ(dir_.ReadFile("victim"), "precious");
        std::vector<std::string> asked;
        for (const auto& p : desktop_.prompts) asked.push_back(p.prompt);
        EXPECT_EQ(asked, prompts);
        EXPECT_EQ(ReportLocations(), reports);
        desktop_.prompts.clear();
        desktop_.messages.clear();
    }
    EXPECT_EQ(sequences, 5);
    host_.current = 0;  // no current result saves nothing
    EXPECT_EQ(SaveOneFile(host_, "tree", true), "");
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_EQ(FixNameForLocal(host_, host_.results.Count() + 1), "");
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"frmMain:FixNameForLocal"});
    EXPECT_NE(desktop_.messages.at(0).text.find("file name: ''"), std::string::npos);
}

TEST(SafeNamePart, LongPartKeepsItsHeadAShortExtensionAndAHashOfTheWhole) {
    const std::string a250(250, 'a'), shortened = SafeNamePart(a250 + ".gif");
    EXPECT_EQ(shortened.substr(0, 201), std::string(200, 'a') + "~");
    EXPECT_EQ(shortened.substr(200 + 1 + 16), ".gif");
    EXPECT_NE(SafeNamePart(a250 + "b.gif"), shortened);
    EXPECT_EQ(SafeNamePart(a250 + ".gif"), shortened) << "stable";
    EXPECT_EQ(SafeNamePart(a250 + "." + std::string(40, 'x')).size(), 200u + 1 + 16) << "a long extension";
    EXPECT_EQ(SafeNamePart(std::string(kMaxSavedNameBytes, 'z')), std::string(kMaxSavedNameBytes, 'z'));
    // Shortening never splits a character: 1 + 99 two-byte characters; the 100th would cross byte 200.
    EXPECT_EQ(SafeNamePart("a" + std::string(150, '\xe9')).find('~'), 199u);
}

}  // namespace
}  // namespace loftwick::test
