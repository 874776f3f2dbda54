#include "session/broker_factory.hpp"

#include "mqtt/mqtt_client.hpp"

namespace plimsy {

namespace {

// The watching link's client: the libmosquitto wrapper, made at connect()
// (its options are fixed once it runs) with the subscriptions asked for so
// far; it renews them on every reconnect by itself.
class mosquitto_broker_t final : public broker_client_t {
public:
    mosquitto_broker_t(main_queue_t& main, broker_events_t& events) : main_(main), events_(events) {}

    void connect(const broker_connect_t& how) override {
        client_.reset();
        mqtt_options_t o;
        std::string error;
        const auto url = parse_mqtt_url(how.url, error);
        if (!url) {
            events_.broker_failed(broker_failure_t::other, error);
            return;
        }
        o.url = *url;
        o.user = how.user;
        o.password = how.password;
        o.ca_file = how.ca_file;
        // A watcher has no last word to deliver, and the window must not
        // wait for the broker when the user switches boards or links.
        o.close_in_background = true;
        mqtt_events_t e;
        e.connected = [this] { events_.broker_connected(); };
        // The wrapper already speaks the user's words, with the broker's
        // address in front.
        e.down = [this](const std::string& why, bool) { events_.broker_failed(broker_failure_t::other, why); };
        e.message = [this](const mqtt_message_t& m) {
            events_.broker_message(m.topic, {reinterpret_cast<const std::uint8_t*>(m.payload.data()), m.payload.size()});
        };
        client_ = std::make_unique<mqtt_client_t>(main_, std::move(o), std::move(e));
        for (const auto& f : filters_) client_->subscribe(f);
        client_->start();
    }
    void disconnect() override { client_.reset(); }
    void subscribe(const std::string& topic) override {
        filters_.push_back(topic);
        if (client_) client_->subscribe(topic);
    }
    void unsubscribe(const std::string& topic) override {
        std::erase(filters_, topic);
        if (client_) client_->unsubscribe(topic);
    }
    bool publish(const std::string& topic, std::span<const std::uint8_t> payload, std::string& why) override {
        if (!client_ || !client_->connected()) {
            why = "no connection to the broker";
            return false;
        }
        client_->publish(topic, {reinterpret_cast<const char*>(payload.data()), payload.size()});
        return true;
    }

private:
    main_queue_t& main_;
    broker_events_t& events_;
    std::vector<std::string> filters_;
    // Last: it is stopped (its thread joined) before the rest goes.
    std::unique_ptr<mqtt_client_t> client_;
};

}  // namespace

broker_factory_t default_broker_factory(main_queue_t& main) {
    return [&main](broker_events_t& events) { return std::make_unique<mosquitto_broker_t>(main, events); };
}

}  // namespace plimsy
