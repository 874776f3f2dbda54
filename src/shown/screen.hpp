#pragma once

#include <string>
#include <vector>

#include "common/colour.hpp"
#include "model/device_model.hpp"
#include "shown/shown_value.hpp"

namespace plimsy {

class config_connection_t;
class connection_t;
class receive_pipeline_t;
class sensors_t;

// What the main screen reads beyond the sensors model: the settings'
// transport switches, the coordinator's statuses, log and counters, the BLE
// signal and the host's barometer. Plain values, so the screen's texts can
// be computed for a coordinator, for a pipeline alone (plimsy-cli decode
// has no transports) or for a test.
struct screen_source_t {
    bool enable_bridge = false;
    bool enable_ble = true;
    bool enable_serial = false;
    bool enable_mqtt = false;
    std::string error_rate;
    std::string status_tcp = "offline";
    std::string status_ble = "offline";
    std::string status_serial = "offline";
    colour_t sta_fg_tcp = colour_t::primary;
    colour_t sta_fg_ble = colour_t::primary;
    colour_t sta_fg_serial = colour_t::primary;
    std::string status_mqtt = "offline";
    colour_t sta_fg_mqtt = colour_t::primary;
    std::string command_note;
    bool commands_available = true;
    std::string commands_note;
    bool log_enable = false;
    colour_t log_fg = colour_t::primary;
    std::vector<std::string> log_lines;
    // The BLE signal gauge; no BLE link reads as an empty blue gauge.
    double rssi_level = 0;
    colour_t rssi_colour = colour_t::blue;
    double rssi_weak = 0;
    // Host air pressure in pascals, 0 without a barometer.
    double host_pressure = 0;
};

// The one place that reads the coordinator for the screen. Not const: the
// transports are made on first use, and only existing ones are read.
screen_source_t screen_source(connection_t& cnc, const config_connection_t& cfg);
// A pipeline without transports: every link offline, the default settings.
screen_source_t screen_source(const receive_pipeline_t& pipeline);

// Header, toolbar and log of the main screen.
struct screen_shown_t {
    double rssi_progress = 0;
    std::string rssi_colour = "blue";
    double rssi_opacity = 0;
    std::string error_rate;
    bool show_tcp_status = false;
    bool show_ble_status = true;
    bool show_status_gap = false;
    // A board on a cable takes the place of BLE (in bridge mode too).
    bool show_serial_status = false;
    std::string status_tcp, status_tcp_colour;
    std::string status_ble, status_ble_colour;
    std::string status_serial, status_serial_colour;
    // A board watched through a broker takes the place of every other link.
    bool show_mqtt_status = false;
    std::string status_mqtt, status_mqtt_colour;
    // The connection button's texts as one line.
    std::string connection_label;
    std::string command_note;
    // The panels' send buttons can reach the board; when not, why.
    bool commands_available = true;
    std::string commands_note;
    bool show_clock = false;
    std::string clock_text;
    std::string device_model;
    std::string panel_group;
    bool show_accelerometer = false;
    bool log_enable = false;
    std::string log_title_colour = "secondary";
    std::string log_menu_text = "Enable";
    std::string clear_colour = "secondary";
    std::string log_text;
    shown_object_t object() const;
};

screen_shown_t shown_screen(const sensors_t& sensors, const screen_source_t& source);
screen_shown_t shown_screen(connection_t& cnc, const config_connection_t& cfg);

// Which panels a board shows: "compass", "gyroscope", "hmc5883",
// "hmc5883n", "gavrin3" or "plimsy91".
const char* panel_group_for(device_model_t m);
// The objects of the sensors model that a board kind's panels show, by
// the model's names, in the model's order.
std::vector<const char*> shown_object_names(device_model_t m);

// Everything the screen shows now: one object per object of the sensors
// model that the current board kind shows, then "screen".
std::vector<shown_object_t> shown_state(const sensors_t& sensors, const screen_source_t& source);
std::vector<shown_object_t> shown_state(connection_t& cnc, const config_connection_t& cfg);
std::vector<shown_object_t> shown_state(const receive_pipeline_t& pipeline);

}  // namespace plimsy
