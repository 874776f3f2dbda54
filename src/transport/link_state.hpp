#pragma once

#include <string>
#include <string_view>

#include "common/colour.hpp"
#include "platform/ble_central.hpp"

namespace plimsy {

// Where a link to the board (or to a TCP peer) stands. The status texts and
// colours the toolbar shows are computed from this and from nothing else, so
// whether a link is up is asked of the state, never read off a text.
enum class link_kind_t {
    offline,     // not wanted, or never asked for
    scanning,    // looking for the board by its advertised name
    connecting,  // an attempt is under way
    connected,
    lost,        // was connected and went away; being looked for again
    failed,      // an attempt did not succeed, or the radio cannot be used
};

const char* link_kind_name(link_kind_t kind);

struct link_state_t {
    link_kind_t kind = link_kind_t::offline;
    // Where the link goes, as the user knows it: "127.0.0.1:81", the board's
    // advertised name, "/dev/ttyACM0 115200". Empty while offline.
    std::string peer;
    // Why the link is lost or failed, in words the user can act on; empty
    // otherwise.
    std::string error;
    // Offline because the user disconnected, rather than never connected:
    // the toolbar marks a link the user turned off.
    bool stopped = false;

    bool up() const { return kind == link_kind_t::connected; }
    bool operator==(const link_state_t&) const = default;
};

// The toolbar's texts, one per transport, and the one colour rule they share.
std::string tcp_status_text(const link_state_t& link);
std::string ble_status_text(const link_state_t& link);
std::string serial_status_text(const link_state_t& link);
// A board watched through a broker: the peer is the board's id (empty
// until one is chosen) while the broker is up, the broker while connecting.
std::string mqtt_status_text(const link_state_t& link);
colour_t link_colour(const link_state_t& link);

// The host radio's state as the BLE transport reports it ("BLE 4 powered OFF").
std::string ble_power_text(ble_power_t state);
// A radio in this state will not scan until the user does something about it
// (no adapter, switched off, not allowed); unknown and resetting pass.
bool ble_radio_refuses(ble_power_t state);
// The platform's text for a TCP error number; 0 is a peer that closed.
std::string tcp_error_text(int error_number);

}  // namespace plimsy
