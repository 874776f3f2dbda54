#pragma once

#include <cstdint>
#include <string>

namespace plimsy {

// A board watched through an MQTT broker. The password is not here: it is
// never part of the settings, the coordinator is given it apart.
struct mqtt_request_t {
    std::string url;  // checked: mqtt://host[:port] or mqtts://host[:port]
    std::string user;
    std::string board;  // empty: connect to the broker and list its boards only
    std::string ca_file;
    bool operator==(const mqtt_request_t&) const = default;
};

// What the connection settings may ask of whoever owns the transports. The
// coordinator implements it; tests record the calls.
class connection_requests_t {
public:
    virtual ~connection_requests_t() = default;
    virtual void connect_ble(const std::string& name) = 0;
    virtual void connect_tcp(const std::string& host, std::uint16_t port) = 0;
    // port is a device path ("/dev/ttyACM0"); 8N1 at baud.
    virtual void connect_serial(const std::string& port, std::uint32_t baud) = 0;
    virtual void connect_mqtt(const mqtt_request_t& request) = 0;
    virtual void disconnect() = 0;
};

}  // namespace plimsy
