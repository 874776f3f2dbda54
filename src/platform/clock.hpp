#pragma once

namespace plimsy {

// Wall-clock instants as seconds since the Unix epoch. A double keeps
// sub-microsecond resolution for present-day dates, which is all the
// timing rules need, and makes differences plain subtractions.
using time_point_t = double;

// Earlier than any real instant (0001-01-01T00:00:00Z), so a field that
// starts there is always "in the past" for the throttle rules.
inline constexpr time_point_t distant_past = -62135596800.0;

// Every read of "now" in the logic goes through this, so tests can move
// time by hand instead of sleeping.
class clock_t {
public:
    virtual ~clock_t() = default;
    virtual time_point_t now() const = 0;
};

// The real wall clock (std::chrono::system_clock).
class system_clock_t final : public clock_t {
public:
    time_point_t now() const override;
    static system_clock_t& instance();
};

// A clock that only moves when told to; for tests and deterministic demos.
class manual_clock_t final : public clock_t {
public:
    explicit manual_clock_t(time_point_t start = 1'700'000'000.0) : now_(start) {}
    time_point_t now() const override { return now_; }
    void set(time_point_t t) { now_ = t; }
    void advance(double seconds) { now_ += seconds; }

private:
    time_point_t now_;
};

}  // namespace plimsy
