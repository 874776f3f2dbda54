#include "transport/link_state.hpp"

#include <cstring>

namespace plimsy {

const char* link_kind_name(link_kind_t kind) {
    switch (kind) {
        case link_kind_t::offline: return "offline";
        case link_kind_t::scanning: return "scanning";
        case link_kind_t::connecting: return "connecting";
        case link_kind_t::connected: return "connected";
        case link_kind_t::lost: return "lost";
        case link_kind_t::failed: return "failed";
    }
    return "offline";
}

namespace {
// A failure always says something: an empty reason would leave a blank red
// label in the toolbar.
std::string reason(const link_state_t& link) { return link.error.empty() ? "Unknown error" : link.error; }
}  // namespace

std::string tcp_status_text(const link_state_t& link) {
    switch (link.kind) {
        case link_kind_t::offline: return "offline";
        case link_kind_t::scanning:
        case link_kind_t::connecting: return "Connect " + link.peer;
        case link_kind_t::connected: return link.peer;
        case link_kind_t::lost:
        case link_kind_t::failed: return reason(link);
    }
    return "offline";
}

std::string ble_status_text(const link_state_t& link) {
    switch (link.kind) {
        case link_kind_t::offline: return "offline";
        // The board is looked for again after a loss; only the colour tells
        // the two apart.
        case link_kind_t::scanning:
        case link_kind_t::connecting:
        case link_kind_t::lost: return "BLE scanning...";
        case link_kind_t::connected: return link.peer;
        case link_kind_t::failed: return reason(link);
    }
    return "offline";
}

std::string serial_status_text(const link_state_t& link) {
    switch (link.kind) {
        case link_kind_t::offline: return "offline";
        case link_kind_t::scanning:
        case link_kind_t::connecting: return "Open " + link.peer;
        case link_kind_t::connected: return link.peer;
        case link_kind_t::lost:
        case link_kind_t::failed: return reason(link);
    }
    return "offline";
}

std::string mqtt_status_text(const link_state_t& link) {
    switch (link.kind) {
        case link_kind_t::offline: return "offline";
        case link_kind_t::connecting: return "MQTT connect " + link.peer;
        // The broker is up; the board has not said it is online (or none
        // is chosen yet).
        case link_kind_t::scanning:
            return link.peer.empty() ? "MQTT: choose a board" : "MQTT waiting for " + link.peer;
        case link_kind_t::connected: return "MQTT " + link.peer;
        case link_kind_t::lost:
        case link_kind_t::failed: return reason(link);
    }
    return "offline";
}

colour_t link_colour(const link_state_t& link) {
    switch (link.kind) {
        case link_kind_t::offline: return link.stopped ? colour_t::accent : colour_t::primary;
        case link_kind_t::scanning:
        case link_kind_t::connecting: return colour_t::green;
        case link_kind_t::connected: return colour_t::secondary;
        case link_kind_t::lost:
        case link_kind_t::failed: return colour_t::red;
    }
    return colour_t::primary;
}

std::string ble_power_text(ble_power_t state) {
    switch (state) {
        case ble_power_t::unknown: return "BLE 0 unknown";
        case ble_power_t::resetting: return "BLE 1 resetting";
        case ble_power_t::unsupported: return "BLE 2 unsupported";
        case ble_power_t::unauthorized: return "BLE 3 unauthorized";
        case ble_power_t::powered_off: return "BLE 4 powered OFF";
        case ble_power_t::powered_on: return "BLE 5 powered on";
    }
    return "BLE " + std::to_string(static_cast<int>(state));
}

bool ble_radio_refuses(ble_power_t state) {
    return state == ble_power_t::unsupported || state == ble_power_t::unauthorized ||
           state == ble_power_t::powered_off;
}

std::string tcp_error_text(int error_number) {
    // A peer that closes cleanly leaves no error number; say what happened
    // rather than the C library's "Success".
    if (error_number == 0) return "Connection closed by peer";
    const char* text = std::strerror(error_number);
    return text && *text ? text : "Unknown error";
}

}  // namespace plimsy
