#pragma once
#include <cstdint>

#include "support/OleDate.h"

namespace loftwick {

// "Now", injectable so that ages, time-to-live, log names and date texts can be pinned in tests.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t EpochSeconds() = 0;   // seconds since 1970-01-01 00:00 UTC
    virtual uint64_t Milliseconds() = 0;  // a monotonic millisecond counter
    OleDate Now() { return EpochToLocalDate(EpochSeconds()); }
};

class SystemClock final : public Clock {
  public:
    int64_t EpochSeconds() override;
    uint64_t Milliseconds() override;
};

// A clock that stands still until told to move; Milliseconds moves with it.
class FixedClock final : public Clock {
  public:
    explicit FixedClock(int64_t epochSeconds = 0) : ms_(epochSeconds * 1000) {}
    int64_t EpochSeconds() override { return ms_ >= 0 ? ms_ / 1000 : -((-ms_ + 999) / 1000); }
    uint64_t Milliseconds() override { return static_cast<uint64_t>(ms_); }
    void Set(int64_t epochSeconds) { ms_ = epochSeconds * 1000; }
    void Advance(int64_t seconds) { ms_ += seconds * 1000; }
    void AdvanceMilliseconds(int64_t ms) { ms_ += ms; }

  private:
    int64_t ms_;
};

}  // namespace loftwick
