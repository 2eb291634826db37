#pragma once
// Counts the allocations made through operator new while counting is on: the benchmark's check that a
// scan allocates nothing per object once it runs.
#include <cstdint>

namespace loftwick::bench {

// Turns counting on from zero; returns the count since the last start.
void StartCountingAllocations();
uint64_t StopCountingAllocations();

}  // namespace loftwick::bench
