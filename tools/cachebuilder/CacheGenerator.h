#pragma once
// Large caches for benchmarks and demos, made from a seed: the same options always give the same files,
// byte for byte and time for time, on every machine.
#include <cstdint>
#include <string>
#include <vector>

namespace loftwick::builder {

enum class CacheFormat { WinProxy, WinGate, Squid };

struct GeneratorOptions {
    CacheFormat format = CacheFormat::WinProxy;
    std::string out;         // the cache folder; created when missing
    uint64_t objects = 100;  // N objects ...
    uint32_t hosts = 10;     // ... spread over H hosts (every host gets one when N >= H)
    uint64_t seed = 1;
    // The moment the cache is "as of": retrieval dates lie in the six months before it. Fixed by
    // default, so that a generated cache does not depend on the day it was made.
    int64_t now = 1733479200;  // 2024-12-06 10:00:00 UTC
    uint64_t maxObjectSize = 1 << 20;
};

struct GeneratedCache {
    uint64_t objects = 0;
    uint64_t contentBytes = 0;       // content bytes written, headers not counted
    std::vector<std::string> hosts;  // host names, in the order they were made
};

// Writes the cache described by `options`. Throws std::runtime_error / std::invalid_argument.
GeneratedCache GenerateCache(const GeneratorOptions& options);

// A small, fast generator of pseudo-random numbers whose sequence is fixed by
// its seed alone (the standard distributions are not portable, so none are used).
class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    uint64_t Below(uint64_t bound);                 // 0 <= n < bound; 0 when bound is 0
    uint64_t Between(uint64_t low, uint64_t high);  // low <= n <= high
    bool Percent(unsigned percent);                 // true in `percent` of the calls

  private:
    uint64_t state_;
};

}  // namespace loftwick::builder
