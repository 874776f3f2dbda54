#include "platform/observable.hpp"

#include <algorithm>

namespace plimsy {

struct subscription_t::state_t {
    struct entry_t {
        std::uint64_t id;
        std::shared_ptr<std::function<void()>> callback;
    };
    std::vector<entry_t> entries;
    std::uint64_t next_id = 1;
};

subscription_t& subscription_t::operator=(subscription_t&& other) noexcept {
    if (this != &other) {
        reset();
        state_ = std::move(other.state_);
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

subscription_t::~subscription_t() { reset(); }

void subscription_t::reset() {
    if (auto state = state_.lock()) {
        auto& e = state->entries;
        e.erase(std::remove_if(e.begin(), e.end(), [this](const auto& x) { return x.id == id_; }), e.end());
    }
    state_.reset();
    id_ = 0;
}

observable_t::observable_t() : state_(std::make_shared<subscription_t::state_t>()) {}
observable_t::~observable_t() = default;

subscription_t observable_t::subscribe(std::function<void()> callback) const {
    const auto id = state_->next_id++;
    state_->entries.push_back({id, std::make_shared<std::function<void()>>(std::move(callback))});
    return subscription_t(state_, id);
}

void observable_t::will_change() const {
    if (state_->entries.empty()) return;  // the common case on the hot path
    if (state_->entries.size() == 1) {
        auto callback = state_->entries.front().callback;  // survives self-unsubscription
        (*callback)();
        return;
    }
    // Copy so that subscribers may (un)subscribe while being called.
    auto entries = state_->entries;
    for (auto& entry : entries) (*entry.callback)();
}

std::size_t observable_t::subscriber_count() const { return state_->entries.size(); }

}  // namespace plimsy
