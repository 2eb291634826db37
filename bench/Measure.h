#pragma once
// Clocks and memory gauges for the benchmarks.
#include <cstdint>
#include <functional>
#include <vector>

namespace loftwick::bench {

// Wall-clock seconds taken by `work`.
double SecondsOf(const std::function<void()>& work);

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> values);

// The process's resident memory now (VmRSS) and its high-water mark (ru_maxrss), in KiB.
int64_t ResidentKiB();
int64_t PeakResidentKiB();

}  // namespace loftwick::bench
