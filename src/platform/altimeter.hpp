#pragma once

#include <functional>
#include <optional>

namespace plimsy {

// The host's barometer. The handler runs on the main thread; an update may
// carry no reading (an error), which callers ignore.
class altimeter_t {
public:
    virtual ~altimeter_t() = default;
    virtual bool available() const = 0;
    // Pressure in kilopascals, or nothing when the host reported an error.
    virtual void start(std::function<void(std::optional<double> pressure_kpa)> handler) = 0;
};

// For hosts without a barometer: never available, never calls back.
class no_altimeter_t final : public altimeter_t {
public:
    bool available() const override { return false; }
    void start(std::function<void(std::optional<double>)>) override {}
};

// Driven by hand; for tests and the simulated board.
class manual_altimeter_t final : public altimeter_t {
public:
    explicit manual_altimeter_t(bool available = true) : available_(available) {}
    bool available() const override { return available_; }
    void start(std::function<void(std::optional<double>)> handler) override { handler_ = std::move(handler); }
    bool started() const { return static_cast<bool>(handler_); }
    void deliver(std::optional<double> pressure_kpa) {
        if (handler_) handler_(pressure_kpa);
    }

private:
    bool available_;
    std::function<void(std::optional<double>)> handler_;
};

}  // namespace plimsy
