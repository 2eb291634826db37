// The functions of src/support as rows: golden/Values.txt (conversions, paths, the language of the
// environment, SHA-1 and Base32, error reports, the web browsers a page is offered to, the messages of
// mistaken description files) and
// golden/Files.txt (files, folders, temporary names, waiting, the error log and the real browser lookup,
// over a folder of its own).
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
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
#include "support/TextCodec.h"
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

class Values : public ProgramFixture {
  public:
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
        const size_t space = line.find(' ');
        const std::string what = line.substr(0, space), rest = In(builder::Unescape(line.substr(space + 1)));
        const size_t equals = rest.find('=');
        const std::string name = rest.substr(0, equals),
                          value = equals == std::string::npos ? "" : rest.substr(equals + 1);
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
        if (what == "desktop") desktop_.messagesFail = rest == "failing";
    }

    std::string Call(const std::string& call, const std::string& arg) {
        try {
            const std::vector<std::string> f = Fields(arg, 5);
            if (call == "numordefault") return Shown(NumOrDefault(VariantOf(arg), Variant(9)));
            if (call == "formatwhole") return Escaped(FormatWhole(VariantOf(arg)));
            if (call == "nz") return Shown(Nz(VariantOf(arg), Variant("x")));
            if (call == "stripnulls") return StripNulls(builder::Unescape(arg));
            if (call == "tolong") return std::to_string(ToLong(VariantOf(arg), 7));
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
            if (call == "report") {
                // "Win32 error ; notes ; exception": the report of the exception ("none": nothing pending).
                SetLastError(std::stoul(f[0]));
                std::string report;
                try {
                    if (f[2] == "runtime") throw RuntimeError(std::stoi(f[3]), f[4]);
                    if (f[2] == "custom")
                        throw RuntimeError(kCustomErrorBase + std::stoi(f[3]), f[4], "Component");
                    if (f[2] == "bad_alloc") throw std::bad_alloc();
                    if (f[2] == "std") throw std::runtime_error(f[4]);
                    if (f[2] == "eacces") RaiseFromErrno(EACCES, f[4]);
                    report = HandleError("L", f[1]);
                } catch (...) {
                    report = HandleError("L", f[1]);
                }
                if (firstReport_.empty()) firstReport_ = report;
                return Escaped(report) + (GetLastError() == 0 ? "" : " (the error is left)");
            }
            if (call == "browsers") return Browsers(arg);
            if (call == "start") return Start(f.at(0), f.at(1));
            if (call == "mistake") {
                std::istringstream in(builder::Unescape(arg));
                builder::BuildFromDescription(in, parent_ / "built");
                return "built";
            }
            ADD_FAILURE() << "unknown call " << call;
            return {};
        } catch (const RuntimeError& e) {  // the error a row's call raises
            return "error " + std::to_string(e.Number());
        } catch (const std::runtime_error& e) {
            return e.what();
        }
    }

    // The digest of the text whole, and fed in pieces of changing sizes.
    static std::string Sha1Hex(const std::string& text) {
        Sha1 sha;
        for (size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece % 131 + 7)
            sha.Update(text.data() + at, std::min(piece, text.size() - at));
        const auto hex = [](const Sha1::Digest& d) {
            return HexOf(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()), true);
        };
        const std::string whole = hex(Sha1Of(text)), pieces = hex(sha.Final());
        return whole == pieces ? whole : whole + " whole, " + pieces + " in pieces";
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
                [files = std::exchange(files_, {})](const std::string& path) {
                    return files.count(path) ? std::optional(files.at(path)) : std::nullopt;
                },
                [&asked, answer = std::exchange(defaultBrowser_, std::nullopt)](const Words& commandLine) {
                    asked.push_back(commandLine);
                    return answer;
                }};
    }

    // The command lines offered for `page`, less the usual names that close every list.
    std::string Browsers(const std::string& page) {
        std::vector<Words> asked;
        const std::vector<BrowserCommand> commands = WebBrowserCommands(page, Lookup(asked));
        std::string out, usual;
        for (const BrowserCommand& command : commands) out += " ; " + Joined(command.commandLine);
        for (const char* name : {"x-www-browser", "sensible-browser", "firefox", "chromium", "google-chrome"})
            usual += " ; " + std::string(name) + "|" +
                     (commands.empty() ? "" : commands.back().commandLine.back());
        if (!out.ends_with(usual)) return "no usual names";
        out = out.size() == usual.size() ? "(none)" : out.substr(3, out.size() - usual.size() - 3);
        return out + (asked == std::vector<Words>{{"xdg-settings", "get", "default-web-browser"}}
                          ? ""
                          : " (asked wrongly)");
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
    EXPECT_GE(CheckTable("support/golden/Values.txt", std::bind_front(&Values::Call, this),
                         std::bind_front(&Values::Directive, this)),
              65);
    // The first report is shown with the time, and logged.
    ASSERT_FALSE(desktop_.messages.empty());
    EXPECT_EQ(desktop_.messages[0].title, "Loftwick v. 2.1.20");
    EXPECT_EQ(desktop_.messages[0].text, firstReport_ + "\r\n\r\nТекущее время: 2024-12-06 10:00:00");
    EXPECT_EQ(parent_.ReadFile("ex241206.log").rfind("\r\n10:00:00 " + firstReport_, 0), 0u);
    EXPECT_FALSE(IsCustomError(kCustomErrorBase));
    EXPECT_FALSE(IsCustomError(kCustomErrorEnd));
}

TEST_F(Values, Files) {
    EXPECT_GE(CheckTable("support/golden/Files.txt", std::bind_front(&Values::FileCall, this),
                         std::bind_front(&Values::Directive, this)),
              30);
}

}  // namespace
}  // namespace loftwick::test
