#include "support/WebBrowser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"

extern char** environ;

namespace loftwick {
namespace {

// Tried last, when neither $BROWSER nor the desktop names a browser that starts.
constexpr const char* kUsualBrowsers[] = {"x-www-browser", "sensible-browser", "firefox", "chromium",
                                          "google-chrome"};

// `xdg-settings` is a shell script that asks the desktop; a desktop that does not answer must not hold
// up the window for long.
constexpr int kOutputTimeoutMs = 3000;
constexpr size_t kOutputLimit = 64 * 1024;

std::vector<std::string> SplitOn(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string_view Trimmed(std::string_view text) { return Trim(text, " \t\r\n"); }

// One $BROWSER entry, split at blanks as the shell does for an unquoted variable. "%s" is the page and
// "%%" a percent sign; without "%s" the page goes last.
std::vector<std::string> BrowserEntryCommand(std::string_view entry, const std::string& url) {
    std::vector<std::string> words;
    bool pagePlaced = false;
    for (const std::string& word : SplitOn(entry, ' ')) {
        if (Trimmed(word).empty()) continue;
        std::string expanded;
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size() && (word[i + 1] == 's' || word[i + 1] == '%')) {
                if (word[++i] == 's') {
                    expanded += url;
                    pagePlaced = true;
                } else {
                    expanded += '%';
                }
            } else {
                expanded += word[i];
            }
        }
        words.push_back(std::string(Trimmed(expanded)));
    }
    if (!words.empty() && !pagePlaced) words.push_back(url);
    return words;
}

// The value of the Exec key of the [Desktop Entry] group, its escapes (\s, \t, \n, \r, \\) undone.
std::string DesktopEntryExec(std::string_view text) {
    bool inEntry = false;
    for (const std::string& rawLine : SplitOn(text, '\n')) {
        const std::string_view line = Trimmed(rawLine);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos || Trimmed(line.substr(0, equals)) != "Exec")
            continue;
        const std::string_view value = Trimmed(line.substr(equals + 1));
        std::string exec;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] != '\\' || i + 1 == value.size()) {
                exec += value[i];
                continue;
            }
            const char next = value[++i];
            exec += next == 's' ? ' ' : next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        }
        return exec;
    }
    return "";
}

// An Exec command line as its words: blanks separate them, double quotes keep a word together (inside
// them a backslash takes the next character as it is). The field codes %f and %F become the page's path,
// %u and %U its URL, "%%" a percent sign; the others (icon, name, entry file) are dropped. Without a
// field code for the page, the URL goes last.
std::vector<std::string> ExecCommand(std::string_view exec, const std::string& path, const std::string& url) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false, pagePlaced = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (c == '\\' && i + 1 < exec.size())
                word += exec[++i];
            else
                word += c;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            inWord = true;
            const char code = exec[++i];
            if (code == '%') word += '%';
            if (code == 'f' || code == 'F') word += path;
            if (code == 'u' || code == 'U') word += url;
            pagePlaced = pagePlaced || code == 'f' || code == 'F' || code == 'u' || code == 'U';
            // A word that was only a dropped field code is no word at all.
            if (word.empty() && (i + 1 == exec.size() || exec[i + 1] == ' ' || exec[i + 1] == '\t'))
                inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    if (!words.empty() && !pagePlaced) words.push_back(url);
    return words;
}

// The XDG data folders, most important first: $XDG_DATA_HOME (default ~/.local/share), then
// $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Relative entries are ignored, as the
// base-directory rules say.
std::vector<std::string> DataFolders(const BrowserLookup& lookup) {
    std::vector<std::string> folders;
    std::string home = lookup.environ("XDG_DATA_HOME");
    if (home.empty() || home.front() != '/') {
        home = lookup.environ("HOME").empty() ? std::string() : lookup.environ("HOME") + "/.local/share";
    }
    if (!home.empty()) folders.push_back(home);
    std::string dirs = lookup.environ("XDG_DATA_DIRS");
    if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
    for (const std::string& dir : SplitOn(dirs, ':')) {
        if (!dir.empty() && dir.front() == '/') folders.push_back(dir);
    }
    for (std::string& folder : folders) {
        if (folder.back() != '/') folder += '/';
    }
    return folders;
}

// The desktop's default web browser, as the command line of its desktop entry; nothing when the desktop
// names none or its entry cannot be found.
std::optional<BrowserCommand> DefaultBrowser(const std::string& path, const std::string& url,
                                             const BrowserLookup& lookup) {
    const std::optional<std::string> answer = lookup.output({"xdg-settings", "get", "default-web-browser"});
    if (!answer) return std::nullopt;
    const std::string id(Trimmed(*answer));
    // A desktop file ID is a plain file name; anything else is not looked up.
    const bool plainName = id.size() > 8 && id.compare(id.size() - 8, 8, ".desktop") == 0 &&
                           id.find('/') == std::string::npos && id.front() != '.';
    if (!plainName) return std::nullopt;
    for (const std::string& folder : DataFolders(lookup)) {
        const std::optional<std::string> entry = lookup.readFile(folder + "applications/" + id);
        if (!entry) continue;
        // The first entry found is the one the desktop uses, even when it cannot be run.
        std::vector<std::string> commandLine = ExecCommand(DesktopEntryExec(*entry), path, url);
        if (commandLine.empty()) return std::nullopt;
        return BrowserCommand{id, std::move(commandLine)};
    }
    return std::nullopt;
}

// The descriptor of a pipe end, closed when it goes.
class PipeEnd {
  public:
    explicit PipeEnd(int fd = -1) : fd_(fd) {}
    ~PipeEnd() { Close(); }
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

std::optional<std::string> ProgramOutput(const std::vector<std::string>& commandLine) {
    if (commandLine.empty()) return std::nullopt;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    PipeEnd readEnd(fds[0]), writeEnd(fds[1]);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words = commandLine;
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Close();
    if (spawned != 0) return std::nullopt;

    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kOutputTimeoutMs);
    bool ended = false;
    while (out.size() < kOutputLimit) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[4096];
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = n == 0;
            break;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
    if (!ended) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

}  // namespace

BrowserLookup SystemBrowserLookup() {
    return {Environ,
            [](const std::string& path) -> std::optional<std::string> {
                try {
                    // Desktop entries are often links into a package's own folder.
                    auto in = TheFileSystem().OpenRead(path, true);
                    std::string text;
                    char buffer[16384];
                    while (text.size() < kOutputLimit) {
                        const size_t n = in->Read(buffer, sizeof buffer);
                        if (n == 0) break;
                        text.append(buffer, n);
                    }
                    return text;
                } catch (...) {
                    return std::nullopt;
                }
            },
            ProgramOutput};
}

std::string FileUrl(std::string_view path) { return "file://" + PercentEncode(path, "-._~/"); }

std::vector<BrowserCommand> WebBrowserCommands(const std::string& path, const BrowserLookup& lookup) {
    const std::string url = FileUrl(path);
    std::vector<BrowserCommand> commands;
    for (const std::string& entry : SplitOn(lookup.environ("BROWSER"), ':')) {
        std::vector<std::string> commandLine = BrowserEntryCommand(entry, url);
        if (!commandLine.empty()) commands.push_back({std::string(Trimmed(entry)), std::move(commandLine)});
    }
    if (std::optional<BrowserCommand> desktopDefault = DefaultBrowser(path, url, lookup)) {
        commands.push_back(std::move(*desktopDefault));
    }
    for (const char* name : kUsualBrowsers) commands.push_back({name, {name, url}});
    return commands;
}

BrowserStart StartWebBrowser(const std::string& path, const BrowserLookup& lookup,
                             const std::function<bool(const std::vector<std::string>&)>& start) {
    BrowserStart result;
    std::vector<std::vector<std::string>> started;
    for (const BrowserCommand& command : WebBrowserCommands(path, lookup)) {
        // The same browser named twice (in $BROWSER and as the default) is not started twice.
        bool seen = false;
        for (const auto& earlier : started) seen = seen || earlier == command.commandLine;
        if (seen) continue;
        started.push_back(command.commandLine);
        result.tried.push_back(command.name);
        if (start(command.commandLine)) {
            result.started = true;
            return result;
        }
    }
    return result;
}

}  // namespace loftwick
