#include "shown/screen.hpp"

#include <cstring>

#include "config/config_connection.hpp"
#include "shown/panels.hpp"
#include "transport/connection.hpp"
#include "transport/receive_pipeline.hpp"

namespace plimsy {

namespace {

// What the receive pipeline alone tells the screen.
void read_pipeline(const receive_pipeline_t& p, screen_source_t& s) {
    s.error_rate = p.error_rate();
    s.log_enable = p.log_enable();
    s.log_fg = p.log_fg();
    s.log_lines.assign(p.arr_rx().begin(), p.arr_rx().end());
}

}  // namespace

screen_source_t screen_source(connection_t& cnc, const config_connection_t& cfg) {
    screen_source_t s;
    s.enable_bridge = cfg.enable_bridge();
    s.enable_ble = cfg.enable_ble();
    s.enable_serial = cfg.enable_serial();
    s.enable_mqtt = cfg.enable_mqtt();
    read_pipeline(cnc.pipeline, s);
    s.status_tcp = cnc.status_tcp();
    s.sta_fg_tcp = cnc.sta_fg_tcp();
    s.status_ble = cnc.status_ble();
    s.sta_fg_ble = cnc.sta_fg_ble();
    s.status_serial = cnc.status_serial();
    s.sta_fg_serial = cnc.sta_fg_serial();
    s.status_mqtt = cnc.status_mqtt();
    s.sta_fg_mqtt = cnc.sta_fg_mqtt();
    s.commands_available = cnc.commands_available(&s.commands_note);
    s.command_note = cnc.command_note();
    if (cnc.has_ble()) {
        const rssi_t& rssi = cnc.ble().rssi;
        s.rssi_level = rssi.level();
        s.rssi_colour = rssi.colour();
        s.rssi_weak = rssi.weak();
    }
    s.host_pressure = cnc.gps_data.pressure();
    return s;
}

screen_source_t screen_source(const receive_pipeline_t& pipeline) {
    screen_source_t s;
    read_pipeline(pipeline, s);
    return s;
}

const char* panel_group_for(device_model_t m) {
    switch (m) {
        case device_model_t::gravity:
        case device_model_t::compass:
        case device_model_t::compass_gravity:
            return "compass";
        default:
            break;
    }
    if (m >= device_model_t::gyroscope) return "gyroscope";
    if (m == device_model_t::hmc5883) return "hmc5883";
    if (m == device_model_t::hmc5883n) return "hmc5883n";
    if (m == device_model_t::gavrin3) return "gavrin3";
    return "plimsy91";
}

namespace {
// Only these two kinds get the accelerometer panel; compass_bearing shows
// the plimsy91 panels without it.
bool shows_accelerometer(device_model_t m) { return m == device_model_t::plimsy91 || m == device_model_t::gavrin3; }
}  // namespace

screen_shown_t shown_screen(const sensors_t& sensors, const screen_source_t& src) {
    screen_shown_t s;
    s.rssi_progress = src.rssi_level;
    s.rssi_colour = colour_name(src.rssi_colour);
    s.rssi_opacity = src.rssi_weak;
    s.error_rate = src.error_rate;
    s.show_tcp_status = src.enable_bridge || (!src.enable_ble && !src.enable_serial);
    s.show_ble_status = (src.enable_bridge || src.enable_ble) && !src.enable_serial;
    s.show_status_gap = src.enable_bridge;
    s.show_serial_status = src.enable_serial;
    if (src.enable_mqtt) s.show_tcp_status = s.show_ble_status = s.show_status_gap = s.show_serial_status = false;
    s.show_mqtt_status = src.enable_mqtt;
    s.status_mqtt = src.status_mqtt;
    s.status_mqtt_colour = colour_name(src.sta_fg_mqtt);
    s.status_tcp = src.status_tcp;
    s.status_tcp_colour = colour_name(src.sta_fg_tcp);
    s.status_ble = src.status_ble;
    s.status_ble_colour = colour_name(src.sta_fg_ble);
    s.status_serial = src.status_serial;
    s.status_serial_colour = colour_name(src.sta_fg_serial);
    s.connection_label = s.error_rate;
    if (s.show_tcp_status) s.connection_label += s.status_tcp;
    if (s.show_status_gap) s.connection_label += ' ';
    if (s.show_ble_status) s.connection_label += s.status_ble;
    if (s.show_serial_status) s.connection_label += s.status_serial;
    if (s.show_mqtt_status) s.connection_label += s.status_mqtt;
    s.command_note = src.command_note;
    s.commands_available = src.commands_available;
    s.commands_note = src.commands_available ? std::string() : src.commands_note;

    const device_model_t m = sensors.device_model;
    s.show_clock = m == device_model_t::gavrin3;
    if (s.show_clock) s.clock_text = sensors.rtc.format_s();
    s.device_model = std::string(device_model_name(m));
    s.panel_group = panel_group_for(m);
    s.show_accelerometer = shows_accelerometer(m);

    s.log_enable = src.log_enable;
    s.log_title_colour = colour_name(src.log_enable ? src.log_fg : colour_t::secondary);
    s.log_menu_text = src.log_enable ? "Disable" : "Enable";
    s.clear_colour = colour_name(src.log_lines.empty() ? colour_t::secondary : colour_t::primary);
    for (std::size_t i = 0; i < src.log_lines.size(); ++i) {
        if (i) s.log_text += '\n';
        s.log_text += src.log_lines[i];
    }
    return s;
}

shown_object_t screen_shown_t::object() const {
    shown_object_t o{"screen", {}};
    auto add = [&](const char* name, std::variant<double, bool, std::string> v) {
        o.values.push_back({name, std::move(v)});
    };
    add("rssi_progress", rssi_progress);
    add("rssi_colour", rssi_colour);
    add("rssi_opacity", rssi_opacity);
    add("error_rate", error_rate);
    add("show_tcp_status", show_tcp_status);
    add("show_ble_status", show_ble_status);
    add("show_status_gap", show_status_gap);
    add("show_serial_status", show_serial_status);
    add("status_tcp", status_tcp);
    add("status_tcp_colour", status_tcp_colour);
    add("status_ble", status_ble);
    add("status_ble_colour", status_ble_colour);
    add("status_serial", status_serial);
    add("status_serial_colour", status_serial_colour);
    add("show_mqtt_status", show_mqtt_status);
    add("status_mqtt", status_mqtt);
    add("status_mqtt_colour", status_mqtt_colour);
    add("connection_label", connection_label);
    add("command_note", command_note);
    add("commands_available", commands_available);
    add("commands_note", commands_note);
    add("show_clock", show_clock);
    add("clock_text", clock_text);
    add("device_model", device_model);
    add("panel_group", panel_group);
    add("show_accelerometer", show_accelerometer);
    add("log_enable", log_enable);
    add("log_title_colour", log_title_colour);
    add("log_menu_text", log_menu_text);
    add("clear_colour", clear_colour);
    add("log_text", log_text);
    return o;
}

std::vector<const char*> shown_object_names(device_model_t m) {
    const std::string_view group = panel_group_for(m);
    std::vector<const char*> names;
    if (group == "compass") {
        names = {"gravity", "compass", "compass_c"};
    } else if (group == "gyroscope") {
        names = {"trace", "gyroscope"};
    } else if (group == "hmc5883") {
        names = {"hmc5883", "mpu6050"};
    } else if (group == "hmc5883n") {
        names = {"hmc5883n"};
    } else if (group == "gavrin3") {
        names = {"adp536x", "shtc3", "rtc", "gavrin3_events"};
    } else {
        names = {"bh1749", "bme680"};
    }
    if (shows_accelerometer(m)) names.push_back("accelerometer");
    return names;
}

std::vector<shown_object_t> shown_state(const sensors_t& sensors, const screen_source_t& source) {
    std::vector<shown_object_t> out;
    for (const char* name : shown_object_names(sensors.device_model)) {
        const std::string_view n = name;
        if (n == "gravity") out.push_back(shown_gravity(sensors.gravity).object());
        else if (n == "compass") out.push_back(shown_compass(sensors.compass).object());
        else if (n == "compass_c") out.push_back(shown_compass_c(sensors.compass_c).object());
        else if (n == "trace") out.push_back(shown_trace(sensors.trace).object());
        else if (n == "gyroscope") out.push_back(shown_gyroscope(sensors.gyroscope).object());
        else if (n == "hmc5883") out.push_back(shown_hmc5883(sensors).object());
        else if (n == "mpu6050") out.push_back(shown_mpu6050(sensors).object());
        else if (n == "hmc5883n") out.push_back(shown_hmc5883n(sensors.hmc5883n).object());
        else if (n == "adp536x") out.push_back(shown_adp536x(sensors.adp536x).object());
        else if (n == "shtc3") out.push_back(shown_shtc3(sensors.shtc3).object());
        else if (n == "rtc") out.push_back(shown_rtc(sensors.rtc).object());
        else if (n == "gavrin3_events") out.push_back(shown_gavrin3_events(sensors.gavrin3_events).object());
        else if (n == "bh1749") out.push_back(shown_bh1749(sensors.bh1749).object());
        else if (n == "bme680") out.push_back(shown_bme680(sensors.bme680, source.host_pressure).object());
        else if (n == "accelerometer") out.push_back(shown_accelerometer(sensors).object());
    }
    out.push_back(shown_screen(sensors, source).object());
    return out;
}

screen_shown_t shown_screen(connection_t& cnc, const config_connection_t& cfg) {
    return shown_screen(cnc.pipeline.sensors, screen_source(cnc, cfg));
}

std::vector<shown_object_t> shown_state(connection_t& cnc, const config_connection_t& cfg) {
    return shown_state(cnc.pipeline.sensors, screen_source(cnc, cfg));
}

std::vector<shown_object_t> shown_state(const receive_pipeline_t& pipeline) {
    return shown_state(pipeline.sensors, screen_source(pipeline));
}

}  // namespace plimsy
