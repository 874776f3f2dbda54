#pragma once

// A broker client whose events the test gives by hand: what the link asked
// of it is in `calls`, and the test plays the broker through `events`.
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "transport/broker_client.hpp"

namespace plimsy {

struct scripted_broker_t final : broker_client_t {
    scripted_broker_t(broker_events_t& e, std::vector<std::string>& log) : events(e), calls(log) {}
    void connect(const broker_connect_t& how) override {
        calls.push_back("connect " + how.url + " " + how.user + ":" + how.password + " ca=" + how.ca_file);
    }
    void disconnect() override { calls.push_back("disconnect"); }
    void subscribe(const std::string& topic) override {
        calls.push_back("sub " + topic);
        subscribed.insert(topic);
    }
    void unsubscribe(const std::string& topic) override {
        calls.push_back("unsub " + topic);
        subscribed.erase(topic);
    }
    bool publish(const std::string& topic, std::span<const std::uint8_t> payload, std::string& why) override {
        if (!accept_publish) {
            why = "the outgoing buffer is full";
            return false;
        }
        calls.push_back("pub " + topic + " " +
                        std::string(reinterpret_cast<const char*>(payload.data()), payload.size()));
        return true;
    }
    void message(const std::string& topic, std::string_view payload) {
        events.broker_message(topic, {reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()});
    }
    void status(const std::string& board, const std::string& json) { message("plimsy/" + board + "/status", json); }

    broker_events_t& events;
    std::vector<std::string>& calls;
    std::set<std::string> subscribed;
    bool accept_publish = true;
};

// Makes scripted clients, remembering the last one.
struct scripted_brokers_t {
    std::vector<std::string> calls;
    scripted_broker_t* last = nullptr;
    int made = 0;
    broker_factory_t factory() {
        return [this](broker_events_t& e) {
            ++made;
            auto c = std::make_unique<scripted_broker_t>(e, calls);
            last = c.get();
            return c;
        };
    }
};

}  // namespace plimsy
