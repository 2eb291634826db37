// One test against a real Squid (Debian's squid package): a Squid of its own on a free localhost port,
// filled from a small origin server in this test, then stopped; the scan must list exactly what Squid's
// store.log says it swapped out, find words inside gzip-encoded bodies and copy the bodies the origin
// sent. Squid then starts again, a selection is purged through it, and Squid itself must answer misses
// for those URLs and hits for the others. It fails, never skips, when Squid cannot start.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
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

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kSquid = "/usr/sbin/squid";
constexpr auto kLimit = std::chrono::seconds(40);  // for Squid to start or to stop

// A TCP socket on 127.0.0.1:port (0: a free port), listening or connected; -1 when that failed.
int LoopbackSocket(int port, bool listening) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto* a = reinterpret_cast<const sockaddr*>(&addr);
    if (listening ? bind(fd, a, sizeof addr) == 0 && listen(fd, 16) == 0 : connect(fd, a, sizeof addr) == 0)
        return fd;
    close(fd);
    return -1;
}

int PortOf(int fd) {
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    return ntohs(addr.sin_port);
}

// One reply of the origin: the header lines, the body as sent and with its coding undone.
struct OriginReply {
    std::string head, body, decoded;
};

// A tiny HTTP/1.1 origin on a free localhost port: one connection at a time, closed after each reply.
class Origin {
  public:
    Origin() : listener_(LoopbackSocket(0, true)), thread_([this] { Serve(); }) {}
    ~Origin() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }

    std::map<std::string, OriginReply> replies;  // by path
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(PortOf(listener_)) + path;
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            const int fd = poll(&p, 1, 100) > 0 ? accept(listener_, nullptr, nullptr) : -1;
            if (fd < 0) continue;
            std::string request;
            char buffer[4096];
            for (ssize_t got; request.find("\r\n\r\n") == std::string::npos &&
                              (got = read(fd, buffer, sizeof buffer)) > 0;)
                request.append(buffer, static_cast<size_t>(got));
            const size_t space = request.find(' ');
            const auto found =
                replies.find(request.substr(space + 1, request.find(' ', space + 1) - space - 1));
            const std::string answer =
                found == replies.end()
                    ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                    : found->second.head + "Content-Length: " + std::to_string(found->second.body.size()) +
                          "\r\nConnection: close\r\n\r\n" + found->second.body;
            for (size_t sent = 0; sent < answer.size();) {
                const ssize_t n = write(fd, answer.data() + sent, answer.size() - sent);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            close(fd);
        }
    }

    int listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

size_t Take(char* data, size_t size, size_t count, void* to) {
    static_cast<std::string*>(to)->append(data, size * count);
    return size * count;
}

// Asks for a URL through Squid (the script as gzip, as a browser does); the body and the X-Cache answer.
std::pair<std::string, std::string> Fetch(int proxyPort, const std::string& url) {
    std::string body, head;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, ("http://127.0.0.1:" + std::to_string(proxyPort)).c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Take);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Take);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &head);
    curl_slist* headers =
        url.ends_with(".js") ? curl_slist_append(nullptr, "Accept-Encoding: gzip") : nullptr;
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    const size_t xCache = head.find("X-Cache: ");
    return {body,
            xCache == std::string::npos ? "" : head.substr(xCache + 9, head.find('\r', xCache) - xCache - 9)};
}

// A folder in /tmp that Squid's user owns, with the throw-away squid.conf, the store and the logs.
class SquidRun {
  public:
    SquidRun() {
        const int fd = LoopbackSocket(0, true);
        port_ = PortOf(fd);
        close(fd);
        std::string pattern = "/tmp/loftwick-squid-XXXXXX";
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "no temporary folder";
        dir_ = pattern;
        std::string conf = test::ReadRealFile(LOFTWICK_SOURCE_DIR "/tests/cli/RealSquid.conf");
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"@DIR@", dir_}, {"@PORT@", std::to_string(port_)}})
            for (size_t at; (at = conf.find(name)) != std::string::npos;)
                conf.replace(at, name.size(), value);
        std::ofstream(dir_ + "/squid.conf") << conf;
        fs::create_directory(dir_ + "/cache");
        const passwd* user = getpwnam("proxy");
        if (!user) ADD_FAILURE() << "there is no user 'proxy' for Squid to run as";
        for (const std::string& path : {dir_, dir_ + "/cache", dir_ + "/squid.conf"})
            if (user) chown(path.c_str(), user->pw_uid, user->pw_gid);
        chmod(dir_.c_str(), 0755);
    }
    ~SquidRun() {
        Stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Makes the store's folders ("squid -z"); false when Squid failed.
    bool MakeStore() {
        const std::string command =
            kSquid + " -z -N -f " + dir_ + "/squid.conf >>" + dir_ + "/squid.out 2>&1";
        return std::system(command.c_str()) == 0 && fs::exists(dir_ + "/cache/00/00");
    }
    // Starts Squid in the foreground; true once it accepts connections and has read its index (until
    // then every request is a miss): once more "Completed Validation Procedure" in its log.
    bool Start() {
        const std::string log = dir_ + "/cache.log", conf = dir_ + "/squid.conf", out = dir_ + "/squid.out";
        const auto validations = [&] {
            const std::string text = test::ReadRealFile(log);
            size_t n = 0;
            for (size_t at = text.find("Completed Validation"); at != std::string::npos;
                 at = text.find("Completed Validation", at + 1))
                ++n;
            return n;
        };
        const size_t before = validations();
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execl(kSquid.c_str(), kSquid.c_str(), "-N", "-f", conf.c_str(), nullptr);
            _exit(127);
        }
        for (const auto until = Clock::now() + kLimit; pid_ > 0 && Clock::now() < until;) {
            const int fd = validations() > before ? LoopbackSocket(port_, false) : -1;
            if (fd >= 0) return close(fd) == 0;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Stops it and waits until it has written its index and gone.
    void Stop() {
        for (const int signal : {SIGTERM, SIGKILL}) {
            if (pid_ <= 0) return;
            kill(pid_, signal);
            int status = 0;
            for (const auto until = Clock::now() + kLimit; Clock::now() < until && pid_ > 0;
                 std::this_thread::sleep_for(std::chrono::milliseconds(50)))
                if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = 0;
            EXPECT_EQ(pid_, 0) << "Squid did not stop";
        }
    }

    int Port() const { return port_; }
    std::string CacheDir() const { return dir_ + "/cache"; }
    std::string Log(const std::string& name) const { return test::ReadRealFile(dir_ + "/" + name); }

  private:
    int port_ = 0;
    std::string dir_;
    pid_t pid_ = 0;
};

// A swap file: URL, body length and path below the store.
using Swapped = std::tuple<std::string, int64_t, std::string>;

// What store.log says Squid swapped out and did not release.
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
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line.substr(0, line.find('\r')));
        for (std::string field; std::getline(parts, field, ',');) fields.push_back(field);
        if (fields.size() == 10 && fields[0] != "number")
            listed.insert({fields[2], std::stoll(fields[8]), fields[9]});
    }
    return listed;
}

class RealSquid : public test::ProgramFixture {
  protected:
    RealSquid() {
        Platform().proxyControl = nullptr;  // the real one: libcurl towards the Squid started here
        std::string script, image = "\x89PNG\r\n\x1a\n", big;
        for (int i = 0; i < 200; ++i) script += "function f" + std::to_string(i) + "() { return 'lorem'; }\n";
        script += "// INSIDEGZIP\n";
        for (int i = 0; i < 3000; ++i) image += static_cast<char>((i * 7919) & 0xff);
        for (int i = 0; big.size() < 1536 * 1024; ++i)
            big += "block " + std::to_string(i) + " of a big object\n";
        // HTML, gzip-encoded JavaScript with variants, an image, an object over 1 MB, a query, a redirect.
        const struct {
            std::string path, status, type, body, more;
        } objects[] = {
            {"/sel-index.html", "200 OK", "text/html", "<html><body>A page kept by Squid.</body></html>", ""},
            {"/sel-app.js", "200 OK", "application/javascript", builder::Gzip(script),
             "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n"},
            {"/img.png", "200 OK", "image/png", image, ""},
            {"/big.bin", "200 OK", "application/octet-stream", big, ""},
            {"/search?q=squid&page=2", "200 OK", "text/plain", "results for squid, page 2", ""},
            {"/old", "301 Moved Permanently", "text/plain", "moved",
             "Location: " + origin_.Url("/sel-index.html") + "\r\n"},
        };
        char date[64];
        const time_t now = time(nullptr);
        strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", gmtime(&now));
        for (const auto& o : objects)
            origin_.replies[o.path] = {"HTTP/1.1 " + o.status + "\r\nDate: " + date + "\r\nContent-Type: " +
                                           o.type + "\r\nCache-Control: max-age=3600\r\n" + o.more,
                                       o.body, o.path.ends_with(".js") ? script : o.body};
    }

    int Scan(std::vector<std::string> flags) {
        std::vector<std::string> args = {"loftwick-scan", "--proxy", "squid", "--cache", squid_.CacheDir()};
        args.insert(args.end(), flags.begin(), flags.end());
        out_.str("");
        err_.str("");
        return BatchMain(args, out_, err_);
    }
    const OriginReply& ReplyOf(const std::string& url) {
        return origin_.replies.at(url.substr(url.find('/', 7)));
    }

    Origin origin_;
    SquidRun squid_;
    std::ostringstream out_, err_;
};

TEST_F(RealSquid, ListsSearchesCopiesAndPurgesWhatSquidStored) {
    ASSERT_TRUE(fs::exists(kSquid)) << kSquid << " is missing: install Debian's squid package";
    ASSERT_TRUE(squid_.MakeStore()) << squid_.Log("squid.out") << squid_.Log("cache.log");
    ASSERT_TRUE(squid_.Start()) << squid_.Log("squid.out") << squid_.Log("cache.log");
    for (const auto& [path, reply] : origin_.replies)
        EXPECT_EQ(Fetch(squid_.Port(), origin_.Url(path)).first, reply.body) << path;
    squid_.Stop();

    // Exactly what Squid swapped out, each with the length of the body sent and its swap file.
    const std::set<Swapped> swapped = SwappedOut(squid_.Log("store.log"), squid_.CacheDir());
    ASSERT_GE(swapped.size(), 5u) << squid_.Log("store.log");
    ASSERT_EQ(Scan({"--format", "csv"}), kExitOk) << err_.str();
    EXPECT_EQ(Listed(out_.str()), swapped) << out_.str() << squid_.Log("store.log");
    for (const auto& [url, length, file] : swapped)
        EXPECT_EQ(length, static_cast<int64_t>(ReplyOf(url).body.size())) << url;

    // A word inside the gzip-encoded script is found; the Vary marker beside it is no object.
    ASSERT_EQ(Scan({"--contents", "INSIDEGZIP"}), kExitOk) << err_.str();
    EXPECT_NE(out_.str().find("100% " + origin_.Url("/sel-app.js")), std::string::npos) << out_.str();
    const std::string selected =
        "1 of " + std::to_string(swapped.size() + 1) + " files selected, 1 files skipped";
    EXPECT_NE(out_.str().find(selected), std::string::npos) << out_.str();

    // Copies hold the bodies the origin sent: as sent, and decoded.
    test::TempDir copies;
    for (const auto& [url, length, file] : swapped) {
        clsCacheSquid object;
        object.setFileName(file);
        for (const bool decode : {false, true}) {
            Program().DecodeContent = decode;
            ASSERT_TRUE(object.FileCopy(copies / "copy")) << url;
            EXPECT_EQ(copies.ReadFile("copy"), decode ? ReplyOf(url).decoded : ReplyOf(url).body) << url;
        }
    }

    // With Squid running again, the selection is purged through it and the rest stays cached.
    ASSERT_TRUE(squid_.Start()) << squid_.Log("cache.log");
    const std::string address = "127.0.0.1:" + std::to_string(squid_.Port());
    ASSERT_EQ(Scan({"--url", "/sel-", "--delete", "--squid-address", address}), kExitOk)
        << out_.str() << err_.str();
    EXPECT_NE(out_.str().find("Purged through Squid at " + address + ": 2 objects"), std::string::npos)
        << out_.str();
    for (const auto& [url, length, file] : swapped) {
        const std::string xCache = Fetch(squid_.Port(), url).second;
        EXPECT_EQ(xCache.rfind(url.find("/sel-") != std::string::npos ? "MISS" : "HIT", 0), 0u)
            << url << ": " << xCache;
    }
    squid_.Stop();
}

}  // namespace
}  // namespace loftwick::cli
