// One test against a real Squid (Debian's squid package): a Squid of its own on a free localhost port,
// filled from a small origin server in this test, then stopped; loftwick-scan itself must list exactly what
// Squid's store.log says it swapped out, find words inside gzip-encoded bodies and copy the bodies the origin
// sent. Squid then starts again, a selection is purged through it, and Squid itself must answer misses
// for those URLs and hits for the others. It fails, never skips, when Squid cannot start.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
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

// What the peer sends: the head of a request, or all until it closes the connection.
std::string Receive(int fd, bool all) {
    std::string got;
    char buffer[4096];
    for (ssize_t n;
         (all || got.find("\r\n\r\n") == std::string::npos) && (n = read(fd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    return got;
}

void Send(int fd, const std::string& text) {
    for (ssize_t n = 0, sent = 0; sent < static_cast<ssize_t>(text.size()) &&
                                  (n = write(fd, text.data() + sent, text.size() - sent)) > 0;)
        sent += n;
}

// Asks for a URL through Squid (the script as gzip, as a browser does); the body and the header lines.
std::pair<std::string, std::string> Fetch(int proxyPort, const std::string& url) {
    const int fd = LoopbackSocket(proxyPort, false);
    Send(fd,
         "GET " + url + " HTTP/1.0\r\n" + (url.ends_with(".js") ? "Accept-Encoding: gzip\r\n" : "") + "\r\n");
    const std::string answer = Receive(fd, true);
    close(fd);
    const size_t end = answer.find("\r\n\r\n");
    return {end == std::string::npos ? "" : answer.substr(end + 4), answer.substr(0, end)};
}

// The origin's objects by path: HTML, gzip-encoded JavaScript with variants, an image, an object over
// 1 MB, a query and a redirect; each with the header lines it is sent with and the body before coding.
struct Reply {
    std::string head, body, decoded = "";
};
std::map<std::string, Reply> Replies(const std::string& origin) {
    std::string script, image = "\x89PNG\r\n\x1a\n", big;
    for (int i = 0; i < 200; ++i) script += "function f" + std::to_string(i) + "() { return 'lorem'; }\n";
    script += "// INSIDEGZIP\n";
    for (int i = 0; i < 3000; ++i) image += static_cast<char>((i * 7919) & 0xff);
    for (int i = 0; big.size() < 1536 * 1024; ++i) big += "block " + std::to_string(i) + " of a big object\n";
    char date[64];
    const time_t now = time(nullptr);
    strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", gmtime(&now));
    const std::string common = std::string("\r\nDate: ") + date + "\r\nCache-Control: max-age=3600\r\n";
    std::map<std::string, Reply> replies = {
        {"/sel-index.html",
         {"200 OK\r\nContent-Type: text/html", "<html><body>Kept by Squid.</body></html>"}},
        {"/sel-app.js",
         {"200 OK\r\nContent-Type: application/javascript\r\nContent-Encoding: gzip\r\nVary: Accept-Encoding",
          builder::Gzip(script), script}},
        {"/img.png", {"200 OK\r\nContent-Type: image/png", image}},
        {"/big.bin", {"200 OK\r\nContent-Type: application/octet-stream", big}},
        {"/search?q=squid&page=2", {"200 OK\r\nContent-Type: text/plain", "results for squid, page 2"}},
        {"/old",
         {"301 Moved Permanently\r\nContent-Type: text/plain\r\nLocation: " + origin + "/sel-index.html",
          "moved"}},
    };
    for (auto& [path, reply] : replies) {
        reply.head = "HTTP/1.1 " + reply.head + common;
        if (reply.decoded.empty()) reply.decoded = reply.body;
    }
    return replies;
}

// A tiny HTTP/1.1 origin on a free localhost port, a Squid of its own in a folder in /tmp that Squid's
// user owns (the throw-away squid.conf, the store and the logs), and the scan of its store.
class RealSquid : public test::ProgramFixture {
  protected:
    RealSquid() {
        Platform().proxyControl = nullptr;  // the real one: libcurl towards the Squid started here
        const int fd = LoopbackSocket(0, true);
        port_ = PortOf(fd);
        close(fd);
        const std::string conf = test::ReadRealFile(LOFTWICK_SOURCE_DIR "/tests/cli/RealSquid.conf");
        std::ofstream(dir_ + "/squid.conf") << std::regex_replace(
            std::regex_replace(conf, std::regex("@DIR@"), dir_), std::regex("@PORT@"), std::to_string(port_));
        fs::create_directory(dir_ + "/cache");
        EXPECT_EQ(std::system(("chown -R proxy: " + dir_).c_str()), 0)
            << "no user 'proxy' for Squid to run as";
        chmod(dir_.c_str(), 0755);
    }
    ~RealSquid() override {
        StopSquid();
        stop_ = true;
        origin_.join();
        close(listener_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(PortOf(listener_)) + path;
    }
    // One connection at a time, closed after each reply.
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            const int fd = poll(&p, 1, 100) > 0 ? accept(listener_, nullptr, nullptr) : -1;
            if (fd < 0) continue;
            const std::string request = Receive(fd, false);
            const size_t space = request.find(' ');
            const auto found =
                replies_.find(request.substr(space + 1, request.find(' ', space + 1) - space - 1));
            const Reply reply =
                found == replies_.end() ? Reply{"HTTP/1.1 404 Not Found\r\n", ""} : found->second;
            Send(fd, reply.head + "Content-Length: " + std::to_string(reply.body.size()) +
                         "\r\nConnection: close\r\n\r\n" + reply.body);
            close(fd);
        }
    }

    // Starts Squid in the foreground; true once it accepts connections and has read its index (until
    // then every request is a miss): once more "Completed Validation Procedure" in its log.
    bool StartSquid() {
        const size_t logged = Log("cache.log").size();
        const std::string conf = dir_ + "/squid.conf", out = dir_ + "/squid.out";
        if ((pid_ = fork()) == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execl(kSquid.c_str(), kSquid.c_str(), "-N", "-f", conf.c_str(), nullptr);
            _exit(127);
        }
        for (const auto until = Clock::now() + std::chrono::seconds(40); pid_ > 0 && Clock::now() < until;) {
            const bool validated = Log("cache.log").find("Completed Validation", logged) != std::string::npos;
            const int fd = validated ? LoopbackSocket(port_, false) : -1;
            if (fd >= 0) return close(fd) == 0;
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Stops it and waits until it has written its index and gone.
    void StopSquid() {
        for (const int signal : {SIGTERM, SIGKILL}) {
            if (pid_ <= 0) return;
            kill(pid_, signal);
            for (const auto until = Clock::now() + std::chrono::seconds(40); Clock::now() < until && pid_ > 0;
                 std::this_thread::sleep_for(std::chrono::milliseconds(50)))
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;
            EXPECT_EQ(pid_, 0) << "Squid did not stop";
        }
    }
    std::string Log(const std::string& name) const { return test::ReadRealFile(dir_ + "/" + name); }

    // The real loftwick-scan, as a cron job runs it: its exit status; what it said in out_ and err_.
    int Scan(const std::string& flags) {
        FILE* pipe = popen((LOFTWICK_SCAN_PROGRAM " --proxy squid --cache " + dir_ + "/cache " + flags +
                            " 2>" + dir_ + "/scan.err")
                               .c_str(),
                           "r");
        out_.str(Receive(fileno(pipe), true));
        const int status = pclose(pipe);
        err_.str(Log("scan.err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int port_ = 0;
    std::string dir_ = test::MakeTempFolder("loftwick-squid", "/tmp");
    pid_t pid_ = 0;
    int listener_ = LoopbackSocket(0, true);
    std::map<std::string, Reply> replies_ = Replies(Url(""));
    std::atomic<bool> stop_{false};
    std::thread origin_{[this] { Serve(); }};
    std::ostringstream out_, err_;
};

TEST_F(RealSquid, ListsSearchesCopiesAndPurgesWhatSquidStored) {
    ASSERT_TRUE(fs::exists(kSquid)) << kSquid << " is missing: install Debian's squid package";
    const std::string make = kSquid + " -z -N -f " + dir_ + "/squid.conf >>" + dir_ + "/squid.out 2>&1";
    ASSERT_TRUE(std::system(make.c_str()) == 0 && fs::exists(dir_ + "/cache/00/00")) << Log("squid.out");
    ASSERT_TRUE(StartSquid()) << Log("squid.out") << Log("cache.log");
    for (const auto& [path, reply] : replies_) EXPECT_EQ(Fetch(port_, Url(path)).first, reply.body) << path;
    StopSquid();

    // Exactly the URLs Squid swapped out and did not release, each with the length of the body sent.
    std::map<std::string, std::string> swapped;  // by swap file number
    std::istringstream log(Log("store.log"));
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);  // time action dir number key status 3 dates type sizes method url
        const std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        if (f.size() < 13) continue;
        if (f[1] == "RELEASE") swapped.erase(f[3]);
        if (f[2] != "-1" && f[1] == "SWAPOUT" && !f[9].starts_with("x-squid-internal/"))
            swapped[f[3]] = f[12];
    }
    ASSERT_GE(swapped.size(), 5u) << Log("store.log");
    ASSERT_EQ(Scan("--format csv"), kExitOk) << err_.str();
    std::set<std::string> expected, listed;
    for (const auto& [number, url] : swapped) expected.insert(url);
    std::map<std::string, std::string> files;  // by URL
    std::istringstream csv(out_.str());
    for (std::string line; std::getline(csv, line);) {
        std::vector<std::string> f;
        std::istringstream parts(line.substr(0, line.find('\r')));
        for (std::string field; std::getline(parts, field, ',');) f.push_back(field);
        if (f.size() != 10 || f[0] == "number") continue;
        listed.insert(f[2]);
        files[f[2]] = f[9];
        EXPECT_EQ(f[8], std::to_string(replies_.at(f[2].substr(f[2].find('/', 7))).body.size())) << line;
    }
    EXPECT_EQ(listed, expected) << out_.str() << Log("store.log");

    // Copies hold the bodies the origin sent: as sent, and decoded. The head an export takes is the one
    // sent, and the metadata shown holds Squid's key and times.
    test::TempDir copies;
    for (const auto& [url, file] : files) {
        clsCacheSquid object;
        object.setFileName(file);
        const Reply& reply = replies_.at(url.substr(url.find('/', 7)));
        const std::string head = object.ResponseHeadOf(*object.OpenContent()),
                          info = object.StoredMetadataText();
        EXPECT_TRUE(head.starts_with(reply.head.substr(0, reply.head.find('\r'))) &&
                    head.ends_with("\r\n\r\n") &&
                    head.find("\r\nCache-Control: max-age=3600\r\n") != std::string::npos)
            << head;
        EXPECT_TRUE(info.starts_with("Squid key: ") && info.find("Squid key: none") == std::string::npos &&
                    info.find("Time stamp: none") == std::string::npos)
            << info;
        for (const bool decode : {false, true}) {
            Program().DecodeContent = decode;
            ASSERT_TRUE(object.FileCopy(copies / "copy")) << url;
            EXPECT_EQ(copies.ReadFile("copy"), decode ? reply.decoded : reply.body) << url;
        }
    }

    // With Squid running again: a word inside the gzip-encoded script is found, the Vary marker beside it
    // is no object; the selection is purged through Squid, which then answers misses for it and hits for
    // the rest.
    ASSERT_TRUE(StartSquid()) << Log("cache.log");
    const std::string address = "127.0.0.1:" + std::to_string(port_),
                      all = std::to_string(swapped.size() + 1);
    const std::pair<std::string, std::string> scans[] = {
        {"--contents INSIDEGZIP", "100% " + Url("/sel-app.js")},
        {"--contents INSIDEGZIP", "1 of " + all + " files selected, 1 files skipped"},
        {"--url /sel- --delete --squid-address " + address,
         "Purged through Squid at " + address + ": 2 objects"},
    };
    for (const auto& [flags, says] : scans) {
        ASSERT_EQ(Scan(flags), kExitOk) << out_.str() << err_.str();
        EXPECT_NE(out_.str().find(says), std::string::npos) << flags << "\n" << out_.str();
    }
    for (const std::string& url : expected)
        EXPECT_NE(Fetch(port_, url)
                      .second.find(url.find("/sel-") != std::string::npos ? "X-Cache: MISS" : "X-Cache: HIT"),
                  std::string::npos)
            << url;
    StopSquid();
}

}  // namespace
}  // namespace loftwick::cli
