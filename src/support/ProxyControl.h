#pragma once
#include <string>
#include <vector>

namespace loftwick {

// What the program asks of a running Squid: whether one runs for a cache, and to forget one object.
// Squid keeps its index in memory while it runs, so a swap file removed under it would leave the index
// pointing at nothing; objects of a running Squid are removed by asking it.
class ProxyControl {
  public:
    virtual ~ProxyControl() = default;

    // Whether a Squid runs for the cache: the pid file names a live process, or something accepts a
    // connection at the address ("host:port"). Never throws.
    virtual bool SquidRunning(const std::string& pidFile, const std::string& address) = 0;

    // Sends "PURGE url" to the Squid at the address with the given request header lines (the object's
    // Vary headers, so that the very variant is purged). Returns the HTTP status of the answer, 0 when
    // nothing answered; `failure` then says why. Never throws.
    virtual int Purge(const std::string& address, const std::string& url,
                      const std::vector<std::string>& headers, std::string& failure) = 0;
};

// Over libcurl for the requests; the pid file is read and its process looked for with kill(pid, 0).
class CurlProxyControl final : public ProxyControl {
  public:
    bool SquidRunning(const std::string& pidFile, const std::string& address) override;
    int Purge(const std::string& address, const std::string& url, const std::vector<std::string>& headers,
              std::string& failure) override;
};

}  // namespace loftwick
