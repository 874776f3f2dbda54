#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace plimsy {

class observable_t;

// Handle of one subscription; destroying it (or calling reset) unsubscribes.
// It may outlive the observable: the shared state knows when that is gone.
class subscription_t {
public:
    subscription_t() = default;
    subscription_t(subscription_t&&) noexcept = default;
    subscription_t& operator=(subscription_t&& other) noexcept;
    subscription_t(const subscription_t&) = delete;
    subscription_t& operator=(const subscription_t&) = delete;
    ~subscription_t();

    void reset();
    explicit operator bool() const { return !state_.expired(); }

private:
    friend class observable_t;
    struct state_t;
    subscription_t(std::weak_ptr<state_t> state, std::uint64_t id) : state_(std::move(state)), id_(id) {}

    std::weak_ptr<state_t> state_;
    std::uint64_t id_ = 0;
};

// Announces a change before it becomes visible. Views subscribe and redraw
// after the current operation; owners forward their children's announcements.
class observable_t {
public:
    observable_t();
    observable_t(const observable_t&) = delete;
    observable_t& operator=(const observable_t&) = delete;
    virtual ~observable_t();

    [[nodiscard]] subscription_t subscribe(std::function<void()> callback) const;

    // Calls every subscriber, in the order they subscribed. A subscriber may
    // unsubscribe itself or others while this runs.
    void will_change() const;

    std::size_t subscriber_count() const;

private:
    std::shared_ptr<subscription_t::state_t> state_;
};

}  // namespace plimsy
