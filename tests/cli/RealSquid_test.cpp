// One test against a real Squid (Debian's squid package): a Squid of its own on a free localhost port,
// filled from a small origin server in this test, then stopped; the scan must list exactly what Squid's
// store.log says it swapped out, find words inside gzip-encoded bodies and copy the bodies the origin
// sent. Squid then starts again, a selection is purged through it, and Squid itself must answer misses
// for those URLs and hits for the others. It fails, never skips, when Squid cannot start.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "cache/clsCacheSquid.h"
#include "cachebuilder/Encodings.h"
#include "cli/BatchScan.h"
#include "support/Program.h"
#include "support/TestEnv.h"

extern char** environ;

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSquid = "/usr/sbin/squid";
constexpr auto kStartLimit = std::chrono::seconds(40);
constexpr auto kStopLimit = std::chrono::seconds(30);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t length = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    close(fd);
    return ntohs(addr.sin_port);
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// One reply of the origin: what a request for the path is answered.
struct OriginReply {
    std::string status = "200 OK";
    std::vector<std::string> headers;
    std::string body;     // as sent
    std::string decoded;  // the body with its coding undone (the body itself when not encoded)
};

std::string HttpNow() {
    const time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    char text[64];
    strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

// A tiny HTTP/1.1 origin on a free localhost port: one connection at a time, closed after each reply.
class Origin {
  public:
    Origin() : port_(FreePort()) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port_));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listener_, 16) != 0)
            ADD_FAILURE() << "the origin cannot listen on port " << port_;
        thread_ = std::thread([this] { Serve(); });
    }
    ~Origin() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }

    void Add(const std::string& path, OriginReply reply) { replies_[path] = std::move(reply); }
    const OriginReply& Reply(const std::string& path) const { return replies_.at(path); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            Answer(fd);
            close(fd);
        }
    }

    void Answer(int fd) {
        std::string request;
        char buffer[4096];
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (request.find("\r\n\r\n") == std::string::npos && Clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) return;
            request.append(buffer, static_cast<size_t>(got));
        }
        const size_t space = request.find(' ');
        const std::string target = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        const auto found = replies_.find(target);
        std::string answer;
        if (found == replies_.end()) {
            answer = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            const OriginReply& r = found->second;
            answer = "HTTP/1.1 " + r.status + "\r\nDate: " + HttpNow() + "\r\n";
            for (const std::string& h : r.headers) answer += h + "\r\n";
            answer +=
                "Content-Length: " + std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" + r.body;
        }
        for (size_t sent = 0; sent < answer.size();) {
            const ssize_t n = write(fd, answer.data() + sent, answer.size() - sent);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }

    int port_;
    int listener_ = -1;
    std::map<std::string, OriginReply> replies_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What a request through Squid was answered.
struct Fetched {
    long status = 0;
    std::string xCache;
    std::string body;
};

size_t TakeBody(char* data, size_t size, size_t count, void* to) {
    static_cast<std::string*>(to)->append(data, size * count);
    return size * count;
}
size_t TakeHeader(char* data, size_t size, size_t count, void* to) {
    const std::string line(data, size * count);
    if (line.rfind("X-Cache:", 0) == 0) *static_cast<std::string*>(to) = line.substr(9, line.find('\r') - 9);
    return size * count;
}

Fetched Fetch(int proxyPort, const std::string& url, const std::vector<std::string>& headers) {
    Fetched f;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, ("http://127.0.0.1:" + std::to_string(proxyPort)).c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, TakeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &f.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, TakeHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &f.xCache);
    curl_slist* list = nullptr;
    for (const std::string& h : headers) list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &f.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return f;
}

// A folder in /tmp that Squid's user owns, with the throw-away squid.conf, the store and the logs.
class SquidRun {
  public:
    SquidRun() : port_(FreePort()) {
        std::string pattern = "/tmp/loftwick-squid-XXXXXX";
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "no temporary folder";
        dir_ = pattern;
        const passwd* user = getpwnam("proxy");
        if (!user) ADD_FAILURE() << "there is no user 'proxy' for Squid to run as";
        std::ofstream conf(dir_ + "/squid.conf");
        conf << "http_port 127.0.0.1:" << port_ << "\n"
             << "visible_hostname loftwick-test\n"
             << "pid_filename " << dir_ << "/squid.pid\n"
             << "cache_dir ufs " << dir_ << "/cache 64 4 4\n"
             << "cache_effective_user proxy\n"
             << "strip_query_terms off\n"
             << "cache_store_log " << dir_ << "/store.log\n"
             << "access_log " << dir_ << "/access.log\n"
             << "cache_log " << dir_ << "/cache.log\n"
             << "coredump_dir " << dir_ << "\n"
             << "maximum_object_size 16 MB\n"
             << "cache_mem 8 MB\n"
             << "acl purge method PURGE\n"
             << "http_access allow localhost purge\n"
             << "http_access deny purge\n"
             << "http_access allow localhost\n"
             << "http_access deny all\n"
             << "refresh_pattern . 60 50% 1440\n"
             << "shutdown_lifetime 1 seconds\n";
        conf.close();
        fs::create_directory(dir_ + "/cache");
        if (user) {
            for (const auto& e : fs::recursive_directory_iterator(dir_))
                chown(e.path().c_str(), user->pw_uid, user->pw_gid);
            chown(dir_.c_str(), user->pw_uid, user->pw_gid);
        }
        chmod(dir_.c_str(), 0755);
    }
    ~SquidRun() {
        Stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Makes the store's folders ("squid -z"); false when Squid failed.
    bool MakeStore() {
        const pid_t pid = Spawn({kSquid, "-z", "-N", "-f", Conf()});
        return pid > 0 && WaitFor(pid, kStartLimit) == 0 && fs::exists(dir_ + "/cache/00/00");
    }
    // Starts Squid in the foreground; true once it accepts connections and has read its index (until
    // then every request is a miss).
    bool Start() {
        pid_ = Spawn({kSquid, "-N", "-f", Conf()});
        if (pid_ <= 0) return false;
        ++starts_;
        for (const auto until = Clock::now() + kStartLimit; Clock::now() < until;) {
            if (Accepts(port_) && Count(Log("cache.log"), "Completed Validation Procedure") >= starts_)
                return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Stops it and waits until it has written its index and gone.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (WaitFor(pid_, kStopLimit) < 0) {
            kill(pid_, SIGKILL);
            WaitFor(pid_, kStopLimit);
            ADD_FAILURE() << "Squid did not stop";
        }
        pid_ = 0;
    }

    int Port() const { return port_; }
    std::string CacheDir() const { return dir_ + "/cache"; }
    std::string Log(const std::string& name) const { return ReadFile(dir_ + "/" + name); }
    std::string Conf() const { return dir_ + "/squid.conf"; }

  private:
    pid_t Spawn(const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = dir_ + "/squid.out";
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }
    // The exit status, or -1 when the process has not ended in time.
    static int WaitFor(pid_t pid, Clock::duration limit) {
        for (const auto until = Clock::now() + limit; Clock::now() < until;) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    static size_t Count(const std::string& text, const std::string& what) {
        size_t count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
        return count;
    }

    int port_;
    std::string dir_;
    pid_t pid_ = 0;
    size_t starts_ = 0;
};

// A swap file store.log says Squid wrote and did not release: URL, body length and path below the store.
struct Swapped {
    std::string url;
    int64_t length;
    std::string file;
    auto operator<=>(const Swapped&) const = default;
};

std::set<Swapped> SwappedOut(const std::string& storeLog, const std::string& cacheDir) {
    std::map<std::string, Swapped> files;
    std::istringstream in(storeLog);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string time, action, dir, number, key, status, date, lastmod, expires, type, sizes, method, url;
        fields >> time >> action >> dir >> number >> key >> status >> date >> lastmod >> expires >> type >>
            sizes >> method >> url;
        if (dir == "-1") continue;
        if (action == "RELEASE") files.erase(number);
        if (action != "SWAPOUT" || type.rfind("x-squid-internal/", 0) == 0) continue;
        const uint32_t n = static_cast<uint32_t>(std::stoul(number, nullptr, 16));
        char path[64];
        std::snprintf(path, sizeof path, "/%02X/%02X/%08X", (n / 4 / 4) % 4, (n / 4) % 4, n);
        files[number] = {url, std::stoll(sizes.substr(sizes.find('/') + 1)), cacheDir + path};
    }
    std::set<Swapped> swapped;
    for (const auto& [number, s] : files) swapped.insert(s);
    return swapped;
}

// The objects a CSV scan listed.
std::set<Swapped> Listed(const std::string& csv) {
    std::set<Swapped> listed;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ',');) fields.push_back(field);
        if (fields.size() != 10) continue;
        listed.insert({fields[2], std::stoll(fields[8]), fields[9]});
    }
    return listed;
}

class RealSquid : public test::ProgramFixture {
  protected:
    RealSquid() {
        Platform().proxyControl = nullptr;  // the real one: libcurl towards the Squid started here
        const std::string page = "<html><body>A page kept by Squid, with SELECTEDPAGE in it.</body></html>";
        origin_.Add("/sel-index.html",
                    {"200 OK", {"Content-Type: text/html", "Cache-Control: max-age=3600"}, page, page});
        std::string script;
        for (int i = 0; i < 200; ++i)
            script += "function f" + std::to_string(i) + "() { return 'lorem ipsum'; }\n";
        script += "// INSIDEGZIP\n";
        origin_.Add("/sel-app.js", {"200 OK",
                                    {"Content-Type: application/javascript", "Content-Encoding: gzip",
                                     "Vary: Accept-Encoding", "Cache-Control: max-age=3600"},
                                    builder::Gzip(script),
                                    script});
        std::string image = "\x89PNG\r\n\x1a\n";
        for (int i = 0; i < 3000; ++i) image += static_cast<char>((i * 7919) & 0xff);
        origin_.Add("/img.png",
                    {"200 OK", {"Content-Type: image/png", "Cache-Control: max-age=3600"}, image, image});
        std::string big;
        for (int i = 0; big.size() < 1536 * 1024; ++i)
            big += "block " + std::to_string(i) + " of a big object\n";
        origin_.Add(
            "/big.bin",
            {"200 OK", {"Content-Type: application/octet-stream", "Cache-Control: max-age=3600"}, big, big});
        const std::string found = "results for squid, page 2";
        origin_.Add("/search?q=squid&page=2",
                    {"200 OK", {"Content-Type: text/plain", "Cache-Control: max-age=3600"}, found, found});
        const std::string moved = "moved";
        origin_.Add("/old", {"301 Moved Permanently",
                             {"Location: " + origin_.Url("/sel-index.html"), "Content-Type: text/plain",
                              "Cache-Control: max-age=3600"},
                             moved,
                             moved});
    }

    // Asks for every object through Squid (the script as gzip, as a browser does).
    void Fill() {
        for (const std::string& path : kPaths) {
            const Fetched f = Fetch(squid_.Port(), origin_.Url(path), Headers(path));
            EXPECT_EQ(f.body, origin_.Reply(path).body) << path;
        }
    }
    static std::vector<std::string> Headers(const std::string& path) {
        return path == "/sel-app.js" ? std::vector<std::string>{"Accept-Encoding: gzip"}
                                     : std::vector<std::string>{};
    }

    int Scan(std::vector<std::string> flags) {
        std::vector<std::string> args = {"loftwick-scan", "--proxy", "squid", "--cache", squid_.CacheDir()};
        args.insert(args.end(), flags.begin(), flags.end());
        out_.str("");
        err_.str("");
        return BatchMain(args, out_, err_);
    }

    const std::vector<std::string> kPaths = {"/sel-index.html",        "/sel-app.js", "/img.png", "/big.bin",
                                             "/search?q=squid&page=2", "/old"};
    Origin origin_;
    SquidRun squid_;
    std::ostringstream out_, err_;
};

TEST_F(RealSquid, ListsSearchesCopiesAndPurgesWhatSquidStored) {
    ASSERT_TRUE(fs::exists(kSquid)) << kSquid << " is missing: install Debian's squid package";
    ASSERT_TRUE(squid_.MakeStore()) << squid_.Log("squid.out") << squid_.Log("cache.log");
    ASSERT_TRUE(squid_.Start()) << squid_.Log("squid.out") << squid_.Log("cache.log");
    Fill();
    squid_.Stop();

    // Exactly what Squid swapped out, each with its body length and swap file.
    const std::set<Swapped> swapped = SwappedOut(squid_.Log("store.log"), squid_.CacheDir());
    ASSERT_GE(swapped.size(), 5u) << squid_.Log("store.log");
    ASSERT_EQ(Scan({"--format", "csv"}), kExitOk) << err_.str();
    EXPECT_EQ(Listed(out_.str()), swapped) << out_.str() << squid_.Log("store.log");
    for (const Swapped& s : swapped) {
        const std::string path = s.url.substr(s.url.find('/', 7));
        EXPECT_EQ(s.length, static_cast<int64_t>(origin_.Reply(path).body.size())) << s.url;
    }

    // A word inside the gzip-encoded script is found; the Vary marker beside it is no object.
    ASSERT_EQ(Scan({"--contents", "INSIDEGZIP"}), kExitOk) << err_.str();
    EXPECT_NE(out_.str().find("100% " + origin_.Url("/sel-app.js")), std::string::npos) << out_.str();
    EXPECT_NE(
        out_.str().find("1 of " + std::to_string(swapped.size() + 1) + " files selected, 1 files skipped"),
        std::string::npos)
        << out_.str();

    // Copies hold the bodies the origin sent: as sent, and decoded.
    test::TempDir copies;
    for (const Swapped& s : swapped) {
        const OriginReply& reply = origin_.Reply(s.url.substr(s.url.find('/', 7)));
        clsCacheSquid object;
        object.setFileName(s.file);
        for (const bool decode : {false, true}) {
            Program().DecodeContent = decode;
            ASSERT_TRUE(object.FileCopy(copies / "copy")) << s.url;
            EXPECT_EQ(copies.ReadFile("copy"), decode ? reply.decoded : reply.body) << s.url;
        }
    }
    ASSERT_EQ(
        Scan({"--save-all", "domain", "--temp-dir", copies / "saved", "--warc", copies / "all.warc.gz"}),
        kExitOk)
        << err_.str();
    EXPECT_NE(err_.str().find("Exported " + std::to_string(swapped.size()) + " objects"), std::string::npos)
        << err_.str();

    // With Squid running again, the selection is purged through it and the rest stays cached.
    ASSERT_TRUE(squid_.Start()) << squid_.Log("cache.log");
    ASSERT_EQ(
        Scan({"--url", "/sel-", "--delete", "--squid-address", "127.0.0.1:" + std::to_string(squid_.Port())}),
        kExitOk)
        << out_.str() << err_.str();
    EXPECT_NE(
        out_.str().find("Purged through Squid at 127.0.0.1:" + std::to_string(squid_.Port()) + ": 2 objects"),
        std::string::npos)
        << out_.str();
    for (const Swapped& s : swapped) {
        const std::string path = s.url.substr(s.url.find('/', 7));
        const Fetched f = Fetch(squid_.Port(), s.url, Headers(path));
        const bool purged = path.rfind("/sel-", 0) == 0;
        EXPECT_EQ(f.xCache.rfind(purged ? "MISS" : "HIT", 0), 0u) << s.url << ": " << f.xCache;
    }
    squid_.Stop();
}

}  // namespace
}  // namespace loftwick::cli
