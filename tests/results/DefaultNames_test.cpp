// Names, content types, result numbers, the default-name prompt and what Open and the other view commands
// hand the desktop, as data (golden/DefaultNames.txt); the browser object.
#include <gtest/gtest.h>

#include "cache/clsCacheBase.h"
#include "results/ContentTypes.h"
#include "results/SavePath.h"
#include "results/SaveTestSupport.h"
#include "results/ViewCommands.h"
#include "results/basDefaultNames.h"
#include "results/clsBrowser.h"

namespace loftwick::test {
namespace {

class DefaultNames : public SaveFixture {
  protected:
    // The name for a single result of the given content type.
    std::string Fix(const std::string& path, const std::string& contentType, bool checkExtension = false) {
        host_.results.Clear();
        Add("http://server/any", contentType);
        return FixDefaultName(host_, path, 1, checkExtension);
    }

    // A view command on the only result (or on the line given): what the desktop was handed, paths below
    // the sandbox beginning "{dir}".
    std::string View(const std::string& command, const std::vector<std::string>& parts) {
        host_.results.Clear();
        const auto object = Add(parts[0], "text/html", parts[1]);
        object->failCopy = parts[1] == "(copy fails)";
        if (command == "info") {
            object->contentType = "text/html; charset=iso-8859-1";
            object->file = "/cache/www.example.com/3f2a_page.html";
            object->retrieved = MakeDate(2024, 11, 26, 10, 0, 0);
            object->modified = MakeDate(2024, 10, 27, 8, 5, 9);
            object->reportedLength = 4096;
        }
        host_.current = host_.selectedLine = parts[2].empty() ? 1 : std::stoi(parts[2]);
        if (command == "dblclick") lstStatus_DblClick(host_);
        if (command == "local") mnuFileOpenLocal_Click(host_, browser_);
        if (command == "text") mnuFileOpenText_Click(host_);
        if (command == "info") mnuResourceInfo_Click(host_);
        if (command == "shortcut") mnuCopyShortcut_Click(host_);
        if (command == "delete") mnuFileDelete_Click(host_);
        std::string out;
        const auto file = [&](const std::string& path) {
            return "{dir}" + path.substr(dir_.path().size()) + ": " + ReadRealFile(path);
        };
        for (const auto& url : desktop_.openedUrls) out += " + url " + url;
        for (const auto& page : desktop_.browserPages) out += " + browser " + file(page);
        for (const auto& document : desktop_.openedDocuments) out += " + document " + file(document);
        for (const auto& program : desktop_.startedPrograms) out += " + program " + program.at(0);
        for (const auto& text : desktop_.clipboard) out += " + clipboard " + text;
        for (const auto& location : ReportLocations()) out += " + report " + location;
        for (const auto& message : desktop_.messages) {
            const std::string text = Replaced(message.title + ": " + message.text, "\r\n", " / ");
            if (message.text.find("Code module: ") != std::string::npos) continue;
            out += command == "info"                          ? " + message " + text
                   : text.find(parts[0]) == std::string::npos ? " + message"
                                                              : " + message naming it";
        }
        desktop_ = ScriptedDesktop();
        return out.empty() ? "nothing" : out.substr(3);
    }

    std::string Call(const std::string& call, const std::string& arg) {
        const std::vector<std::string> parts = Fields(arg, 3);
        if (call == "extension") return GetFileExtension(arg, "x");
        if (call == "type") return ContentTypeFromFileName(arg, "?");
        if (call == "extensionof") return ExtensionFromContentType(arg, "?");
        if (call == "number") return std::to_string(ResultNumberOfLine(arg));
        if (call == "prefix") return ContentTypePrefix(arg);
        if (call == "parts") {
            std::string joined;
            for (const std::string& part : SafeNameParts(arg)) joined += (joined.empty() ? "" : "/") + part;
            return joined;
        }
        for (const char* command : {"dblclick", "local", "text", "info", "shortcut", "delete"}) {
            if (call == command) return View(call, parts);
        }
        if (call == "asked") {
            if (!parts[2].empty()) desktop_.inputAnswers = {parts[2]};
            std::string name = Fix(parts[0], parts[1]);
            for (const auto& p : desktop_.prompts) {
                name += " + asked \"" + Replaced(p.prompt, "\r\n", " / ") + "\" offering " + p.defaultText +
                        (p.title == Program().AppTitle ? "" : " titled " + p.title);
            }
            desktop_.prompts.clear();
            return name + (host_.skipPrompt ? ", skipped from now" : "");
        }
        host_.skipPrompt = !parts[2].empty();
        host_.defaultName = parts[2];
        if (call == "default" || call == "checked") return Fix(parts[0], parts[1], call == "checked");
        ADD_FAILURE() << "unknown call " << call;
        return {};
    }

    ScopedEnv cache_{"XDG_CACHE_HOME", dir_.path()};
    clsBrowser browser_;
};

TEST_F(DefaultNames, Table) {
    const int rows = CheckTable(
        "results/golden/DefaultNames.txt",
        [&](const std::string& call, const std::string& arg) { return Call(call, arg); },
        [&](const std::string& stored) {  // "stored NAME"
            host_.defaultName = stored.substr(7);
            host_.skipPrompt = false;
            desktop_.prompts.clear();
        });
    EXPECT_GE(rows, 100);
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_FALSE(dir_.Exists("loftwick/loftwick_temp2.txt")) << "an empty file left by a failed copy";
}

// Web addresses go to the opener, local pages to a web browser; when none starts, the report names every
// one tried, and the fallback hands the generic opener a folder, never a saved program.
TEST_F(DefaultNames, NavigateSendsWebAddressesAndLocalPagesTheirOwnWay) {
    browser_.Navigate("");
    browser_.Navigate("https://example.com/", 1);
    browser_.Navigate(dir_ / "out/page.html", 1);
    EXPECT_EQ(desktop_.openedUrls, std::vector<std::string>{"https://example.com/"});
    EXPECT_EQ(desktop_.browserPages, std::vector<std::string>{dir_ / "out/page.html"});
    desktop_.openSucceeds = false;
    desktop_.browsersTried = {"w3m", "x-www-browser"};
    dir_.WriteFile("out/saved.exe", "MZ");
    browser_.Navigate(dir_ / "out");
    browser_.Navigate(dir_ / "out/saved.exe");
    EXPECT_EQ(desktop_.openedDocuments, std::vector<std::string>{dir_ / "out"});
    EXPECT_TRUE(desktop_.startedPrograms.empty());
    ASSERT_EQ(ReportLocations(), (std::vector<std::string>{"clsBrowser:Navigate", "clsBrowser:Navigate"}));
    const std::string& report = desktop_.messages[1].text;
    EXPECT_NE(report.find("show this address (tried: w3m, x-www-browser)"), std::string::npos) << report;
    EXPECT_NE(report.find("URL: '" + dir_ / "out/saved.exe" + "'"), std::string::npos) << report;
}

}  // namespace
}  // namespace loftwick::test
