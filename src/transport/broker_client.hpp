#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace plimsy {

// What the watching link asks of an MQTT client: one broker, subscriptions,
// publishing, and its events on the main thread. The application's client
// is libmosquitto behind the MQTT wrapper (session/broker_factory.cpp);
// tests may stand in a scripted one.
struct broker_connect_t {
    std::string url;       // mqtt://host[:port] or mqtts://host[:port], already checked
    std::string user;      // empty: no user name is sent
    std::string password;  // never stored by the client beyond the connection
    std::string ca_file;   // mqtts only; empty: the system's certificate authorities
};

// Why a connection to the broker did not come about or was lost. The link
// turns these into the user's words.
enum class broker_failure_t {
    unreachable,   // no route, refused, name not found, timed out
    lost,          // was connected, the connection went away
    bad_login,     // the broker refused the user name or password
    not_allowed,   // the broker refused this client for another reason
    certificate,   // TLS: the broker's certificate was not accepted
    tls,           // TLS failed for another reason (CA file unreadable, handshake)
    other,         // the detail says it all, in the user's words
};

class broker_events_t {
public:
    virtual ~broker_events_t() = default;
    virtual void broker_connected() = 0;
    // The client keeps trying by itself unless the failure is permanent
    // (a refused login: trying again with the same password cannot help).
    virtual void broker_failed(broker_failure_t why, const std::string& detail) = 0;
    virtual void broker_message(std::string_view topic, std::span<const std::uint8_t> payload) = 0;
};

class broker_client_t {
public:
    virtual ~broker_client_t() = default;
    // Starts connecting; events come through `events` on the main thread
    // until disconnect() or destruction. Subscriptions made before the
    // connection is up, and those of a lost connection, are made again
    // each time it comes up.
    virtual void connect(const broker_connect_t& how) = 0;
    virtual void disconnect() = 0;
    virtual void subscribe(const std::string& topic) = 0;
    virtual void unsubscribe(const std::string& topic) = 0;
    // At QoS 1, not retained. False with a reason when not connected or the
    // outgoing buffer is full.
    virtual bool publish(const std::string& topic, std::span<const std::uint8_t> payload, std::string& why) = 0;
};

using broker_factory_t = std::function<std::unique_ptr<broker_client_t>(broker_events_t& events)>;

}  // namespace plimsy
