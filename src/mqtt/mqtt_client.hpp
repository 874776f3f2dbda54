#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/main_queue.hpp"

namespace plimsy {

// Where a broker is: mqtt://host[:port] (clear text, default 1883) or
// mqtts://host[:port] (TLS, default 8883).
struct mqtt_url_t {
    bool tls = false;
    std::string host;  // a host name, an IPv4 address, or an IPv6 address without brackets
    std::uint16_t port = 1883;

    static constexpr std::uint16_t default_port = 1883;
    static constexpr std::uint16_t default_tls_port = 8883;

    // "mqtts://broker.example:8883" (IPv6 hosts in brackets).
    std::string text() const;
};

// Reads a broker URL. Anything else than the two schemes, a user or
// password in the URL (they have options of their own, and a password in a
// URL ends up in shell histories and process lists), a path, or a port
// outside 1-65535 is refused with the reason in `error`.
std::optional<mqtt_url_t> parse_mqtt_url(std::string_view text, std::string& error);

// The broker publishes this for us when we vanish without saying goodbye.
struct mqtt_will_t {
    std::string topic;
    std::string payload;
    bool retain = true;
};

struct mqtt_options_t {
    mqtt_url_t url;
    // Empty: the library makes a random one, so two clients never push each
    // other off the broker.
    std::string client_id;
    std::string user;      // empty: none
    std::string password;  // only with a user
    // TLS: the CA certificates (PEM) that may sign the broker's certificate.
    // Empty: the system's CA store. The broker's certificate and host name
    // are always checked.
    std::string ca_file;
    std::optional<mqtt_will_t> will;
    int keepalive_seconds = 30;
    // Reconnecting after a loss or a failed attempt: the first wait, doubled
    // on each further failure up to the last.
    double reconnect_min_seconds = 1.0;
    double reconnect_max_seconds = 30.0;
    // Publications waiting while the broker is away (or slower than we
    // publish), bounded both ways; past either bound the oldest go and are
    // counted.
    std::size_t buffer_messages = 20000;
    std::size_t buffer_bytes = 16u << 20;
    // Publications handed to the broker and not yet acknowledged.
    std::size_t max_inflight = 200;
    // Incoming messages larger than this are dropped unread: what arrives
    // from a broker is untrusted input.
    std::size_t max_incoming_bytes = 256u << 10;
    // At destruction: how long to wait for what is queued to be
    // acknowledged before disconnecting (for a last status message).
    double linger_seconds = 0.0;
    // At destruction: stop and join the network thread on a thread of its
    // own, so that a window's main thread never waits for the network (a
    // DISCONNECT can take a second). Nothing reaches the main queue after
    // the destructor has returned. See wait_for_mqtt_closes().
    bool close_in_background = false;
};

struct mqtt_message_t {
    std::string topic;
    std::string payload;  // bytes, not necessarily text
    bool retained = false;
};

// Everything is told on the main thread.
struct mqtt_events_t {
    // The broker accepted us (again); subscriptions are renewed already.
    std::function<void()> connected;
    // Not connected, and why, in words a user can act on ("the broker
    // refused the user name or password"). `retrying`: the client tries
    // again by itself after a back-off; false when it gave up because a
    // setting must change (an unreadable CA file). Told when the reason
    // changes, not on every failed attempt.
    std::function<void(const std::string& why, bool retrying)> down;
    std::function<void(const mqtt_message_t& message)> message;
    // Publications dropped from the full buffer while the broker was away or
    // slow, told once we are connected again (at most about once a second).
    std::function<void(std::uint64_t messages, std::uint64_t bytes)> dropped;
};

struct mqtt_counters_t {
    std::uint64_t published = 0;      // handed to the library
    std::uint64_t acknowledged = 0;   // PUBACK seen (QoS 1)
    std::uint64_t dropped = 0;        // oldest dropped from the full buffer
    std::uint64_t dropped_bytes = 0;
    std::uint64_t received = 0;       // messages told to events.message
    std::uint64_t oversized = 0;      // incoming dropped for their size
    std::uint64_t connects = 0;       // times the broker accepted us
    std::size_t queued = 0;           // waiting in the buffer now
};

// An MQTT 3.1.1 client over libmosquitto. A thread of its own connects,
// reconnects with back-off and does all network input and output; the main
// thread only hands over publications (which never wait for the network)
// and receives the events above through the main queue. Construct, set
// subscriptions, then start(). Main thread only.
class mqtt_client_t {
public:
    mqtt_client_t(main_queue_t& main, mqtt_options_t options, mqtt_events_t events);
    // Waits up to options.linger_seconds for queued publications, sends
    // DISCONNECT (so the broker does not publish the will), and joins the
    // thread; with options.close_in_background all that happens on a
    // thread of its own and the destructor returns at once.
    ~mqtt_client_t();
    mqtt_client_t(const mqtt_client_t&) = delete;
    mqtt_client_t& operator=(const mqtt_client_t&) = delete;

    // Starts connecting, once.
    void start();

    // QoS 1. Kept in order; buffered (bounded) while not connected.
    void publish(std::string_view topic, std::string_view payload, bool retain = false);
    // QoS 1 subscription, renewed on every reconnect.
    void subscribe(std::string_view filter);
    void unsubscribe(std::string_view filter);

    // The broker has accepted us and the link is up (as last told).
    bool connected() const;
    const mqtt_options_t& options() const;
    mqtt_counters_t counters() const;

    // mosquitto's return and CONNACK codes in words, for messages.
    static std::string describe_connack(int code);

    // The state the network thread shares (opaque outside the client).
    struct shared_t;

private:
    std::shared_ptr<shared_t> shared_;
};

// Waits up to `seconds` for clients closing in the background to finish
// (at the exit of a program); false if some were still closing.
bool wait_for_mqtt_closes(double seconds);

}  // namespace plimsy
