#include "mqtt/mqtt_gateway.hpp"

#include "model/device_model.hpp"
#include "model/record_text.hpp"

namespace plimsy {

namespace {

void append_escaped(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            out += '?';
            continue;
        }
        out += c;
    }
}

}  // namespace

mqtt_gateway_t::mqtt_gateway_t(session_t& session, mqtt_options_t mqtt, mqtt_gateway_options_t options)
    : session_(session),
      options_(std::move(options)),
      raw_topic_(mqtt_board_topic(options_.board, "raw")),
      status_topic_(mqtt_board_topic(options_.board, "status")),
      cmd_topic_(mqtt_board_topic(options_.board, "cmd")),
      kind_(device_model_name(session.sensors().device_model)) {
    mqtt.will = mqtt_will_t{status_topic_, status_json(false, false), true};
    // Long enough for the offline status to reach a broker that is there;
    // short enough that stopping a gateway whose broker is gone is quick.
    if (mqtt.linger_seconds <= 0) mqtt.linger_seconds = 2.0;
    console_t& console = session_.console();
    mqtt_events_t events;
    events.connected = [this, &console] {
        console.line("mqtt: connected to " + client_->options().url.text() + ", publishing board '" + options_.board +
                     "' under " + mqtt_board_topic(options_.board, "#"));
        // The first status is already queued by start(); after a loss the
        // will has said offline, so say online again.
        if (client_->counters().connects > 1) publish_status();
    };
    events.down = [&console](const std::string& why, bool retrying) {
        console.line("mqtt: " + why + (retrying ? " (retrying; the board stays connected)" : " (giving up)"));
    };
    events.dropped = [&console](std::uint64_t n, std::uint64_t bytes) {
        console.line("mqtt: dropped " + std::to_string(n) + " messages (" + std::to_string(bytes) +
                     " bytes), the oldest, while the broker was away or slow: the buffer was full");
    };
    events.message = [this](const mqtt_message_t& m) { on_message(m); };
    client_ = std::make_unique<mqtt_client_t>(session_.main(), std::move(mqtt), std::move(events));
    client_->subscribe(cmd_topic_);

    auto& pipeline = session_.pipeline();
    previous_observer_ = pipeline.line_observer;
    pipeline.line_observer = [this](const line_result_t& r) {
        if (previous_observer_) previous_observer_(r);
        on_line(r);
    };
    session_.add_tap(this);
}

mqtt_gateway_t::~mqtt_gateway_t() {
    session_.remove_tap(this);
    session_.pipeline().line_observer = previous_observer_;
    client_->publish(status_topic_, status_json(false), true);
    client_.reset();
}

void mqtt_gateway_t::start() {
    // The retained status goes first in the buffer, so a watcher learns of
    // the board as soon as the broker is reachable.
    publish_status();
    client_->start();
}

std::string mqtt_gateway_t::status_json(bool online, bool with_kind) const {
    std::string s = "{\"online\":";
    s += online ? "true" : "false";
    s += ",\"board\":\"";
    append_escaped(s, options_.board);
    if (with_kind) {
        s += "\",\"kind\":\"";
        append_escaped(s, kind_);
    }
    s += "\",\"link\":\"";
    append_escaped(s, options_.link);
    s += "\",\"commands\":";
    s += options_.allow_commands ? "true" : "false";
    s += '}';
    return s;
}

void mqtt_gateway_t::publish_status() { client_->publish(status_topic_, status_json(true), true); }

void mqtt_gateway_t::board_rx(std::span<const std::uint8_t> bytes) {
    client_->publish(raw_topic_, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void mqtt_gateway_t::on_line(const line_result_t& r) {
    const std::string_view kind = device_model_name(session_.sensors().device_model);
    if (kind != kind_) {
        kind_ = std::string(kind);
        publish_status();
    }
    if (r.kind != line_result_t::kind_t::ok || r.record == nullptr) return;
    const auto eq = r.line.find('=');
    if (eq == std::string_view::npos) return;
    const std::string_view key = r.line.substr(0, eq);
    std::string error;
    // Keys that decode are the board's known keys; anything else would not
    // make one topic level and is left out.
    if (key == "raw" || key == "status" || key == "cmd" || !mqtt_board_id_valid(key, error)) return;
    json_.clear();
    append_record_fields_json(json_, *r.record);
    client_->publish(mqtt_board_topic(options_.board, key), json_);
}

std::string mqtt_gateway_t::check_command(std::string_view payload, std::string& command) {
    if (payload.ends_with("\n")) payload.remove_suffix(1);
    if (payload.ends_with("\r")) payload.remove_suffix(1);
    if (payload.empty()) return "an empty command";
    if (payload.size() > max_command_bytes)
        return "a command of " + std::to_string(payload.size()) + " bytes (at most " +
               std::to_string(max_command_bytes) + ")";
    for (char c : payload) {
        if (c < 0x20 || c > 0x7e) return "a command with a byte that is not printable ASCII";
    }
    command = std::string(payload);
    return {};
}

void mqtt_gateway_t::on_message(const mqtt_message_t& m) {
    if (m.topic != cmd_topic_) return;
    // A retained command would run again at every start of the gateway.
    if (m.retained) {
        ++commands_refused;
        session_.console().line("mqtt: ignored a retained command on " + cmd_topic_ +
                                " (commands must be sent live, without the retain flag)");
        return;
    }
    std::string command;
    const std::string why = check_command(m.payload, command);
    if (!why.empty()) {
        ++commands_refused;
        session_.console().line("mqtt: refused " + why + " from " + cmd_topic_);
        return;
    }
    if (!options_.allow_commands) {
        ++commands_refused;
        session_.console().line("mqtt: refused the command '" + command + "' from " + cmd_topic_ +
                                ": commands from the broker are off (start the gateway with --allow-commands)");
        return;
    }
    ++commands_sent;
    session_.console().line("mqtt: command '" + command + "' from " + cmd_topic_);
    session_.send(command + "\n");
}

}  // namespace plimsy
