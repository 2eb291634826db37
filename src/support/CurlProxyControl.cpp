#include <curl/curl.h>
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <memory>

#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/ProxyControl.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

// Requests to a proxy on this machine or the local network: anything slower is not answering.
constexpr long kConnectTimeoutMs = 2000;
constexpr long kRequestTimeoutMs = 10000;

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

void GlobalInitOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

CurlHandle ProxyRequest(const std::string& address, const std::string& url) {
    GlobalInitOnce();
    CurlHandle curl(curl_easy_init());
    if (!curl) return curl;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, ("http://" + address).c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, DiscardBody);
    return curl;
}

bool ProcessAlive(const std::string& pidFile) {
    if (pidFile.empty()) return false;
    std::string text;
    try {
        text = ReadWholeFile(TheFileSystem(), pidFile);
    } catch (...) {
        return false;
    }
    const std::string_view digits = TrimLeft(text, " \t\r\n");
    if (digits.empty()) return false;
    long pid = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    (void)end;
    if (ec != std::errc() || pid <= 1) return false;
    // EPERM: the process exists and belongs to someone else, as Squid's does.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool Accepts(const std::string& address) {
    CurlHandle curl = ProxyRequest(address, "http://" + address + "/");
    if (!curl) return false;
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
    return curl_easy_perform(curl.get()) == CURLE_OK;
}

}  // namespace

bool CurlProxyControl::SquidRunning(const std::string& pidFile, const std::string& address) {
    return ProcessAlive(pidFile) || (!address.empty() && Accepts(address));
}

int CurlProxyControl::Purge(const std::string& address, const std::string& url,
                            const std::vector<std::string>& headers, std::string& failure) {
    CurlHandle curl = ProxyRequest(address, url);
    if (!curl) {
        failure = "libcurl could not start a request";
        return 0;
    }
    curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, "PURGE");
    curl_slist* list = nullptr;
    for (const std::string& line : headers) list = curl_slist_append(list, line.c_str());
    const std::unique_ptr<curl_slist, SlistDeleter> owned(list);
    if (list) curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, list);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK) {
        failure = curl_easy_strerror(code);
        return 0;
    }
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int>(status);
}

}  // namespace loftwick
