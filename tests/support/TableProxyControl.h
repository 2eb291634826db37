#pragma once
// A ProxyControl that answers from a table: whether a Squid runs, and the status each URL's PURGE gets
// (404 for a URL not in the table). It records every PURGE with its header lines.
#include <map>
#include <string>
#include <vector>

#include "support/ProxyControl.h"

namespace loftwick::test {

class TableProxyControl final : public ProxyControl {
  public:
    struct PurgeCall {
        std::string address, url;
        std::vector<std::string> headers;
    };

    bool running = false;
    std::map<std::string, int> answers;  // URL -> HTTP status; 0 for no answer
    std::vector<PurgeCall> purges;

    bool SquidRunning(const std::string&, const std::string&) override { return running; }
    int Purge(const std::string& address, const std::string& url, const std::vector<std::string>& headers,
              std::string& failure) override {
        purges.push_back({address, url, headers});
        const auto found = answers.find(url);
        const int status = found == answers.end() ? 404 : found->second;
        if (status == 0) failure = "Connection refused";
        return status;
    }
};

}  // namespace loftwick::test
