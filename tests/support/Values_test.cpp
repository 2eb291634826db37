// The functions of src/support as rows: golden/Values.txt (conversions, paths, the language of the
// environment, SHA-1 and Base32, error reports, the web browsers a page is offered to) and
// golden/Files.txt (files, folders, temporary names, waiting, the error log and the real browser lookup,
// over a folder of its own).
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <iomanip>
#include <list>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>

#include "cachebuilder/DescriptionFile.h"
#include "support/Base32.h"
#include "support/FaultSweep.h"
#include "support/FileTimeUtils.h"
#include "support/PosixFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/Sha1.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/WebBrowser.h"
#include "support/basErrorHandler.h"
#include "support/basInternational.h"
#include "support/basUtils.h"

namespace loftwick::test {
namespace {

using Words = std::vector<std::string>;

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out.empty() ? "(empty)" : out;
}

// empty, null, 7 (whole), 7.5 (not whole), date 45632.5, "text" (with the description files' escapes).
Variant VariantOf(const std::string& text) {
    if (text == "empty") return Variant();
    if (text == "null") return Variant::Null();
    if (text.rfind("date ", 0) == 0) return Variant(OleDate(std::stod(text.substr(5))));
    if (text[0] == '"') return Variant(builder::Unescape(text.substr(1, text.size() - 2)));
    if (text.find_first_of(".e") != std::string::npos) return Variant(std::stod(text));
    return Variant(std::stoll(text));
}

std::string Shown(const Variant& v) {
    if (v.IsEmpty() || v.IsNull()) return v.IsNull() ? "null" : "empty";
    if (v.IsText()) return "\"" + v.AsText() + "\"";
    std::ostringstream out;
    out << std::setprecision(15) << (v.IsDate() ? "date " : "")
        << (v.IsDate() ? v.AsDate().Serial() : v.AsDouble());
    const bool whole =
        v.kind() == Variant::Kind::Double && out.str().find_first_of(".e") == std::string::npos;
    return out.str() + (whole ? ".0" : "");
}

void Throw(const std::string& what) {
    const size_t space = what.find(' ');
    const std::string kind = what.substr(0, space),
                      rest = space == std::string::npos ? "" : what.substr(space + 1);
    const size_t next = rest.find(' ');
    const std::string tail = next == std::string::npos ? "" : rest.substr(next + 1);
    if (kind == "runtime") throw RuntimeError(std::stoi(rest), tail);
    if (kind == "custom") throw RuntimeError(kCustomErrorBase + std::stoi(rest), tail, "Component");
    if (kind == "bad_alloc") throw std::bad_alloc();
    if (kind == "std") throw std::runtime_error(rest);
    if (kind == "eacces") RaiseFromErrno(EACCES, rest);
}

class Values : public ProgramFixture {
  protected:
    Values() {
        Platform().desktop = &desktop_;
        Program().AppParentDir = parent_.path() + "/";
        SetLastError(0);
    }
    ~Values() override {
        while (!envs_.empty()) envs_.pop_back();
        SetLastError(0);
    }

    // "$P" stands for the fixture's folder.
    std::string In(const std::string& text) const { return Replaced(text, "$P", parent_.path()); }
    std::string Out(const std::string& text) const { return Replaced(text, parent_.path(), "$P"); }

    // Rows of golden/Files.txt.
    std::string FileCall(const std::string& call, const std::string& arg) {
        SetLastError(0);
        const std::string path = In(arg);
        std::string out;
        if (call == "exists") out = FileExists(path) ? "true" : "false";
        if (call == "hasfiles") out = FolderHasFiles(path) ? "true" : "false";
        if (call == "makedir" || call == "kill") {
            call == "kill" ? KillFile(path) : MakeDir(path);
            std::set<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(GetFolder(path)))
                names.insert(entry.path().filename().string());
            out = Out(GetFolder(path));
            for (const std::string& name : names) out += " " + name;
        }
        if (call == "read") out = Out(Escaped(ReadRealFile(path)));
        if (call == "mode") {
            const auto perms = std::filesystem::status(path).permissions() & std::filesystem::perms::mask;
            out = (std::ostringstream() << std::oct << static_cast<int>(perms)).str();
        }
        if (call == "tempname") out = Out(MakeTempFileName(arg));
        if (call == "tempfolder") out = Out(TempFolder());
        if (call == "wait") {
            const std::vector<std::string> f = Fields(arg);
            desktop_.doEvents = 0;
            desktop_.onDoEvents = [&, step = std::stoi(f.at(1))] { clock_.AdvanceMilliseconds(step); };
            Wait(VariantOf(f.at(0)));
            desktop_.onDoEvents = nullptr;
            out = std::to_string(desktop_.doEvents);
        }
        if (call == "error") {
            const size_t shown = desktop_.messages.size();
            out = Escaped(HandleError(arg));  // before the count: the operands of + are not sequenced
            if (desktop_.messages.size() > shown) out += " (shown)";
        }
        if (call == "writelog") {
            WriteToLog(arg);
            out = "done";
        }
        if (call == "stamp") {
            const std::vector<std::string> f = Fields(path);
            ModifyFileStamp(f.at(0), MakeDate(2024, 7, 1, 12, 0, 0), f.at(1) == "true", f.at(2) == "true");
            out = "written " + std::to_string(PosixFileSystem().Stat(f.at(0))->writeTime.seconds) +
                  ", created " + std::to_string(PosixFileSystem().GetCreationTime(f.at(0))->seconds);
        }
        if (call == "string2file") out = std::to_string(String2File("x", path));
        if (call == "systembrowsers") {
            const std::vector<BrowserCommand> commands = WebBrowserCommands(arg, SystemBrowserLookup());
            for (size_t i = 0; i < std::min<size_t>(2, commands.size()); ++i)
                out += (i ? " ; " : "") + commands[i].name + ": " + Joined(commands[i].commandLine);
        }
        return GetLastError() == 0 ? out : out + " (error " + std::to_string(GetLastError()) + ")";
    }

    // "env NAME=VALUE", "file PATH=CONTENT" and "default TEXT" set up the next browsers row; the others
    // are those of golden/Files.txt.
    void Directive(const std::string& line) {
        const size_t space = line.find(' '), equals = line.find('=');
        const std::string what = line.substr(0, space), rest = In(builder::Unescape(line.substr(space + 1)));
        const std::string name = In(line.substr(space + 1, equals - space - 1)),
                          value = equals == std::string::npos
                                      ? ""
                                      : In(builder::Unescape(line.substr(equals + 1)));
        namespace fs = std::filesystem;
        if (what == "default") defaultBrowser_ = rest;
        if (what == "env") environ_[name] = value;
        if (what == "file") files_[name] = value;
        if (what == "write") WriteRealFile(name, value);
        if (what == "program") fs::permissions(rest, fs::perms::owner_all);
        if (what == "mkdir") fs::create_directories(rest);
        if (what == "link") fs::create_symlink(value, name);
        if (what == "remove") fs::remove(rest);
        if (what == "setenv") envs_.emplace_back(name, value);
        if (what == "clock") clock_.Set(std::stoll(rest));
        if (what == "unattended") Program().IsUnattended = rest == "yes";
        if (what == "resetlog") ResetLogFolder();
        if (what == "fail") {
            const std::vector<std::string> f = Fields(rest);
            faults_.FailPath(FsOpNamed(f.at(0)), f.at(1), ErrnoNamed(f.at(2)));
            Platform().fileSystem = &faults_;
        }
        if (what == "logfolder") {
            Program().AppParentDir = rest + "/";
            ResetLogFolder();
        }
        if (what == "tz") timeZone_.emplace(rest);
        if (what == "stamped") {
            PosixFileSystem().SetFileTimes(rest, kOld, kOld);
            PosixFileSystem().SetCreationTime(rest, kOld);
        }
        if (what == "desktop")
            Platform().desktop = rest == "failing" ? static_cast<Desktop*>(&failing_) : &desktop_;
    }

    std::string Call(const std::string& call, const std::string& arg) {
        const std::vector<std::string> f = Fields(arg);
        if (call == "numordefault") return Shown(NumOrDefault(VariantOf(arg), Variant(9)));
        if (call == "formatwhole") return Escaped(FormatWhole(VariantOf(arg)));
        if (call == "nz") return Shown(Nz(VariantOf(arg), Variant("x")));
        if (call == "stripnulls") return StripNulls(builder::Unescape(arg));
        if (call == "tolong") {
            try {
                return std::to_string(ToLong(VariantOf(arg), 7));
            } catch (const RuntimeError& e) {
                return "error " + std::to_string(e.Number());
            }
        }
        if (call == "increment") {
            Variant v = VariantOf(arg);
            Increment(v);
            return Shown(v);
        }
        if (call == "withseparator") {
            std::string path = arg;
            const std::string added = AddPathSeparator(path);
            return Escaped(added == path ? added : "returned " + added + ", path " + path);
        }
        if (call == "folder") return Escaped(arg == "null" ? GetFolder(Variant::Null()) : GetFolder(arg));
        if (call == "filename") return Escaped(GetFileName(arg));
        if (call == "langid") {
            ScopedEnv all("LC_ALL", f.at(0)), messages("LC_MESSAGES", f.at(1)), lang("LANG", f.at(2));
            return std::to_string(GetUserDefaultLangID());
        }
        if (call == "sha1") return Sha1Hex(builder::Unescape(arg));
        if (call == "sha1-repeated") return Sha1Hex(std::string(std::stoul(f.at(1)), f.at(0)[0]));
        if (call == "base32")
            return Escaped(Base32(reinterpret_cast<const uint8_t*>(arg.data()), arg.size()));
        if (call == "report") return Report(f.at(0), f.at(1), f.at(2));
        if (call == "browsers") return Browsers(arg);
        if (call == "start") return Start(f.at(0), f.at(1));
        if (call == "mistake") {
            std::istringstream in(builder::Unescape(arg));
            try {
                builder::BuildFromDescription(in, parent_ / "built");
            } catch (const std::runtime_error& e) {
                return e.what();
            }
            return "built";
        }
        ADD_FAILURE() << "unknown call " << call;
        return {};
    }

    // The digest of the text whole, and fed in pieces of changing sizes.
    static std::string Sha1Hex(const std::string& text) {
        Sha1 sha;
        for (size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece % 131 + 7)
            sha.Update(text.data() + at, std::min(piece, text.size() - at));
        const auto hex = [](const Sha1::Digest& d) {
            std::ostringstream out;
            for (const uint8_t b : d) out << std::hex << std::setw(2) << std::setfill('0') << int{b};
            return out.str();
        };
        const std::string whole = hex(Sha1Of(text)), pieces = hex(sha.Final());
        return whole == pieces ? whole : whole + " whole, " + pieces + " in pieces";
    }

    // The report of the exception `thrown` raises ("none": nothing pending), with the Win32 error set.
    std::string Report(const std::string& win32, const std::string& thrown, const std::string& notes) {
        SetLastError(std::stoul(win32));
        std::string report;
        try {
            Throw(thrown);
            report = HandleError("L", notes);
        } catch (...) {
            report = HandleError("L", notes);
        }
        if (firstReport_.empty()) firstReport_ = report;
        return Escaped(report) + (GetLastError() == 0 ? "" : " (the error is left)");
    }

    static std::string Joined(const Words& words) {
        std::string out;
        for (size_t i = 0; i < words.size(); ++i) out += (i ? "|" : "") + words[i];
        return out;
    }

    // A lookup over the environment, files and default of the row, which are then forgotten; the
    // command lines it runs go to `asked`.
    BrowserLookup Lookup(std::vector<Words>& asked) {
        return {[env = std::exchange(environ_, {})](const std::string& name) {
                    return env.count(name) ? env.at(name) : "";
                },
                [files = std::exchange(files_, {})](const std::string& path) -> std::optional<std::string> {
                    if (!files.count(path)) return std::nullopt;
                    return files.at(path);
                },
                [&asked, answer = std::exchange(defaultBrowser_, std::nullopt)](const Words& commandLine) {
                    asked.push_back(commandLine);
                    return answer;
                }};
    }

    // The command lines offered for `page`, less the usual names that close every list.
    std::string Browsers(const std::string& page) {
        std::vector<Words> asked;
        std::vector<Words> lines;
        for (const BrowserCommand& command : WebBrowserCommands(page, Lookup(asked)))
            lines.push_back(command.commandLine);
        const Words usual = {"x-www-browser", "sensible-browser", "firefox", "chromium", "google-chrome"};
        for (size_t i = 0; i < usual.size(); ++i) {
            const size_t at = lines.size() + i - usual.size();
            if (at >= lines.size() || lines[at].size() != 2 || lines[at][0] != usual[i])
                return "no usual names";
        }
        lines.resize(lines.size() - usual.size());
        std::string out;
        for (const Words& line : lines) out += (out.empty() ? "" : " ; ") + Joined(line);
        if (asked != std::vector<Words>{{"xdg-settings", "get", "default-web-browser"}})
            out += " (asked wrongly)";
        return out.empty() ? "(none)" : out;
    }

    // What starting the page tries, the program named `starts` being the only one that starts; each
    // program is started once only.
    std::string Start(const std::string& page, const std::string& starts) {
        std::vector<Words> asked;
        Words started;
        const BrowserStart start = StartWebBrowser(page, Lookup(asked), [&](const Words& commandLine) {
            started.push_back(commandLine[0]);
            return commandLine[0] == starts;
        });
        std::string out = start.started ? "started after" : "none of";
        for (const std::string& name : start.tried) out += " " + name;
        return out + (started == start.tried ? "" : " (started otherwise)");
    }

    // A desktop whose every call throws.
    class Failing final : public Desktop {
      public:
        void MessageBox(const std::string&, const std::string&, MsgIcon) override {
            throw std::runtime_error("gone");
        }
        void DoEvents() override { throw std::runtime_error("gone"); }
    } failing_;
    TempDir parent_;
    ScriptedDesktop desktop_;
    FaultFileSystem faults_;
    std::list<ScopedEnv> envs_;
    std::optional<ScopedTimeZone> timeZone_;
    static constexpr FileTimeSpec kOld{1000000000, 0};
    std::map<std::string, std::string> environ_, files_;
    std::optional<std::string> defaultBrowser_;
    std::string firstReport_;
};

TEST_F(Values, Table) {
    const int rows = CheckTable(
        "support/golden/Values.txt",
        [&](const std::string& call, const std::string& arg) { return Call(call, arg); },
        [&](const std::string& line) { Directive(line); });
    EXPECT_GE(rows, 60);
    // The first report is shown with the time, and logged.
    ASSERT_FALSE(desktop_.messages.empty());
    EXPECT_EQ(desktop_.messages[0].title, "Loftwick v. 2.1.20");
    EXPECT_EQ(desktop_.messages[0].text, firstReport_ + "\r\n\r\nТекущее время: 2024-12-06 10:00:00");
    EXPECT_EQ(parent_.ReadFile("ex241206.log").rfind("\r\n10:00:00 " + firstReport_, 0), 0u);
    EXPECT_FALSE(IsCustomError(kCustomErrorBase));
    EXPECT_FALSE(IsCustomError(kCustomErrorEnd));
}

// The cache builder is exercised by every suite that builds a cache; what none of them sees is the
// message a mistaken description file gets, which names its line.
TEST_F(Values, DescriptionMistakes) {
    EXPECT_EQ(CheckTable("support/golden/DescriptionMistakes.txt",
                         [&](const std::string& call, const std::string& arg) { return Call(call, arg); }),
              5);
}

TEST_F(Values, Files) {
    EXPECT_GE(CheckTable(
                  "support/golden/Files.txt",
                  [&](const std::string& call, const std::string& arg) { return FileCall(call, arg); },
                  [&](const std::string& line) { Directive(line); }),
              30);
}

}  // namespace
}  // namespace loftwick::test
