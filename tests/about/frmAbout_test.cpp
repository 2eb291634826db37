// The About window model over in-memory controls, as rows of golden/SystemInformation.txt: its texts from
// the shipped language files, the link to the help page, and the search for a system-information program
// in a made-up Wine prefix and PATH.
#include "about/frmAbout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cachebuilder/DescriptionFile.h"
#include "results/clsBrowser.h"
#include "support/MemoryControls.h"
#include "support/ScriptedDesktop.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/basInternational.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

struct TestWindow final : frmAboutWindow {
    std::string caption;
    int unloads = 0;
    void SetCaption(const std::string& text) override { caption = text; }
    void Unload() override { ++unloads; }
};

class AboutTest : public test::ProgramFixture {
  public:
    AboutTest() {
        Platform().desktop = &desktop_;
        Program().ProgramDir = std::string(LOFTWICK_SOURCE_DIR) + "/";
        Program().IniFileName = work_ / "loftwick.ini";
        Program().AppParentDir = work_.path() + "/";
    }
    // `text` with the paths of this test written short: $S the source folder, $W the fixture's folder.
    std::string Short(const std::string& text) const {
        return test::Replaced(test::Replaced(text, LOFTWICK_SOURCE_DIR, "$S"), work_.path(), "$W");
    }
    // Rows of golden/SystemInformation.txt.
    std::string Call(const std::string& call, const std::string& arg) {
        if (call == "load") {
            WriteIniValue("Common", "Language", arg);
            GetUserLanguage();
            about_.Form_Load();
            return Short(window_.caption + " ; " + version_.Caption() + " ; " + link_.Caption());
        }
        if (call == "click") {
            arg == "link" ? about_.lnkHomePage_Click() : ok_.Click();
            std::string out = "opened";
            for (const std::string& page : desktop_.browserPages) out += " " + Short(page);
            return out + (desktop_.startedPrograms.empty() ? "" : ", started") + " ; closed " +
                   std::to_string(window_.unloads);
        }
        if (call == "onpath") {
            const std::string relative = std::filesystem::relative(work_.path()).string();
            test::ScopedEnv env("PATH",
                                test::Replaced(test::Replaced(arg, "$W", work_.path()), "$R", relative));
            const std::string found = FindProgramOnPath("hardinfo");
            return found.empty() ? "(none)" : Short(found);
        }
        if (call == "keyvalue") {
            const std::vector<std::string> fields = test::Fields(arg, 2);
            std::string value = "before";
            const bool found =
                GetKeyValue(std::stoul(fields[0], nullptr, 16), "SOFTWARE\\Test", fields[1], value);
            return found ? "found " + value : value.empty() ? "none" : "none, yet " + value;
        }
        test::ScopedEnv path("PATH", work_ / "bin");
        work_.WriteFile("prefix/system.reg", "WINE REGISTRY Version 2\n\n" + builder::Unescape(arg));
        desktop_.startedPrograms.clear();
        desktop_.messages.clear();
        desktop_.openSucceeds = std::exchange(starts_, true);
        sysInfo_.Click();
        test::EmptyFolder(work_ / "prefix");
        test::EmptyFolder(work_ / "bin");
        std::string out;
        for (const std::vector<std::string>& line : desktop_.startedPrograms) {
            out += out.empty() ? "" : " ; ";
            for (size_t i = 0; i < line.size(); ++i) out += (i ? "|" : "") + Short(line[i]);
        }
        for (const auto& message : desktop_.messages) out += (out.empty() ? "" : " ; ") + message.text;
        return out;
    }
    void Directive(const std::string& line) {
        const std::string what = line.substr(0, line.find(' ')), rest = line.substr(line.find(' ') + 1);
        if (what == "file") work_.WriteFile("prefix/" + rest, "MZ");
        if (what == "program" || what == "plain") {
            work_.WriteFile("bin/" + rest, "#!/bin/sh\nexit 0\n");
            ::chmod((work_ / "bin/" + rest).c_str(), what == "program" ? 0755 : 0644);
        }
        if (what == "fails") starts_ = false;
        if (what == "registry") work_.WriteFile("prefix/system.reg", builder::Unescape(rest));
    }
    bool starts_ = true;
    test::TempDir work_;
    test::ScopedEnv prefix_{"WINEPREFIX", work_ / "prefix"};
    test::ScriptedDesktop desktop_;
    TestWindow window_;
    MemoryLabel title_, version_, description_, disclaimer_, homePage_, link_;
    MemoryButton ok_, sysInfo_;
    clsBrowser browser_;
    frmAbout about_{
        window_, {title_, version_, description_, disclaimer_, homePage_, link_, ok_, sysInfo_}, browser_};
};

TEST_F(AboutTest, SystemInformationTable) {
    EXPECT_GE(test::CheckTable("about/golden/SystemInformation.txt", std::bind_front(&AboutTest::Call, this),
                               std::bind_front(&AboutTest::Directive, this)),
              14);
}

}  // namespace
}  // namespace loftwick
