#pragma once
// The demo caches `make run` starts on when no proxy is configured: a WinProxy and a WinGate cache with
// realistic hosts, types, sizes and dates over the months before `now`, some gzip-encoded objects, and a
// few objects whose URLs would be hostile to a careless saver.
#include <cstdint>
#include <string>

namespace loftwick::builder {

struct DemoCaches {
    std::string winProxyDir;  // ending in "/"
    std::string winGateDir;   // ending in "/"
};

// Writes `out`/winproxy and `out`/wingate (replacing what a previous demo left there).
DemoCaches BuildDemoCaches(const std::string& out, int64_t now);

}  // namespace loftwick::builder
