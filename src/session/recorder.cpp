#include "session/recorder.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "orientation/hmc5883.hpp"

namespace plimsy {

std::filesystem::path recordings_folder() {
    std::filesystem::path data;
    // Relative values are to be ignored (XDG Base Directory).
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && x[0] == '/') {
        data = x;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
        }
        data = std::filesystem::path(home) / ".local" / "share";
    }
    return data / "Plimsy" / "Plimsy_sensors" / "recordings";
}

std::string recording_file_name(time_point_t start, std::string_view board_kind) {
    std::string name = iso8601_utc(start).substr(0, 19);  // 2026-12-07T06:50:12
    for (char& c : name)
        if (c == ':') c = '-';
    name += "Z_";
    name += board_kind;
    name += recording_extension;
    return name;
}

std::vector<std::pair<std::string, setting_value_t>> capture_settings(const settings_store_t& store) {
    std::vector<std::pair<std::string, setting_value_t>> out;
    std::vector<std::string> keys;
    for (int slot : {0, 1})
        for (std::string& k : hmc5883_t::calibration_keys(slot)) keys.push_back(std::move(k));
    for (const char* k : {"enable_bridge", "enable_ble", "enable_serial"}) keys.emplace_back(k);
    for (const std::string& k : keys)
        if (auto v = store.read(k)) out.emplace_back(k, std::move(*v));
    return out;
}

std::string session_link_text(const session_t& session) {
    const connection_t& cnc = session.cnc();
    const config_connection_t& cfg = session.cfg();
    std::string text;
    auto add = [&](std::string part) {
        if (!text.empty()) text += " + ";
        text += part;
    };
    const link_state_t ble = cnc.link_ble();
    if (!ble.peer.empty() || (cfg.enable_ble() && !cfg.enable_serial()))
        add("ble " + (ble.peer.empty() ? cfg.ble_name() : ble.peer) + (session.simulating() ? " (simulated)" : ""));
    if (!cnc.link_serial().peer.empty()) add("serial " + cnc.link_serial().peer);
    if (!cnc.link_tcp().peer.empty()) add("tcp " + cnc.link_tcp().peer);
    if (text.empty()) return "none";
    if (cfg.enable_bridge()) text += " (bridge)";
    return text;
}

session_recorder_t::session_recorder_t(session_t& session) : session_recorder_t(session, options_t{}) {}

session_recorder_t::session_recorder_t(session_t& session, options_t options)
    : session_(session), options_(std::move(options)) {
    start_ = session_.clock().now();
    recording_ = true;
    capture_header_t header;
    header.start = iso8601_utc(start_);
    header.link = session_link_text(session_);
    header.settings = capture_settings(session_.store());
    append_capture_header(line_, header);
    put(line_);
    session_.add_tap(this);
    if (!options_.path.empty()) {
        open_writer({});
        return;
    }
    // The name waits for the board to say what it is, but not for ever.
    std::weak_ptr<session_recorder_t*> weak = self_;
    session_.main().post_after(options_.name_wait_seconds, [weak] {
        if (auto self = weak.lock(); self && !(*self)->writer_ && (*self)->recording_) (*self)->open_writer({});
    });
}

session_recorder_t::~session_recorder_t() { stop(); }

void session_recorder_t::open_writer(std::string_view board_kind) {
    auto file_options = options_.file;
    std::filesystem::path path = options_.path;
    if (path.empty()) {
        std::string kind(board_kind);
        if (kind.empty())
            kind = session_.pipeline().msg_good > 0 ? std::string(device_model_name(session_.sensors().device_model))
                                                    : "board";
        path = recordings_folder() / recording_file_name(start_, kind);
        file_options.make_folders = true;
        file_options.replace = false;
    }
    std::weak_ptr<session_recorder_t*> weak = self_;
    writer_ = std::make_unique<capture_file_writer_t>(
        path, session_.main(),
        [weak](const std::string& message) {
            if (auto self = weak.lock()) (*self)->failed_with(message);
        },
        file_options);
    if (!waiting_.empty()) writer_->write(waiting_);
    waiting_.clear();
    waiting_.shrink_to_fit();
}

void session_recorder_t::failed_with(const std::string& message) {
    if (!error_.empty()) return;
    error_ = message;
    if (recording_) {
        recording_ = false;
        stopped_at_ = session_.clock().now() - start_;
        session_.remove_tap(this);
    }
    if (on_error) on_error(message);
}

void session_recorder_t::put(std::string_view lines) {
    if (writer_) {
        writer_->write(lines);
        return;
    }
    waiting_ += lines;
    waiting_given_ += lines.size();
    // A board that has not said what it is after a few megabytes is not going to.
    if (waiting_.size() > (4u << 20) && entries_ > 0) open_writer({});
}

// Microseconds are finer than any link delivers, and a short "t" keeps
// the file small. The wall clock may be set back while recording; entries
// keep their order in time, so a replay never sees time run backwards.
double session_recorder_t::now() {
    const double t = std::round((session_.clock().now() - start_) * 1e6) / 1e6;
    if (t > last_t_) last_t_ = t;
    return last_t_;
}

void session_recorder_t::board_rx(std::span<const std::uint8_t> bytes) {
    if (!recording_) return;
    line_.clear();
    append_capture_rx(line_, now(),
                      {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    ++entries_;
    put(line_);
    if (writer_ || session_.pipeline().msg_good == 0) return;
    // This chunk is processed after the taps have seen it; the lines before
    // it have told the board kind.
    open_writer({});
}

void session_recorder_t::board_tx(std::span<const std::uint8_t> bytes) {
    if (!recording_) return;
    line_.clear();
    append_capture_tx(line_, now(),
                      {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    ++entries_;
    put(line_);
}

void session_recorder_t::local_action(std::string_view name, const capture_arg_t& arg) {
    if (!recording_) return;
    line_.clear();
    append_capture_action(line_, now(), name, arg);
    ++entries_;
    put(line_);
}

void session_recorder_t::stop() {
    if (recording_) {
        recording_ = false;
        stopped_at_ = session_.clock().now() - start_;
        session_.remove_tap(this);
    }
    if (!writer_ && !waiting_.empty() && error_.empty()) open_writer({});
    if (!writer_) return;
    last_given_ = writer_->bytes_given();
    last_on_disk_ = writer_->bytes_on_disk();
    finished_path_ = writer_->path();
    close_in_background(std::move(writer_));
}

bool session_recorder_t::finish() {
    if (recording_) {
        recording_ = false;
        stopped_at_ = session_.clock().now() - start_;
        session_.remove_tap(this);
    }
    if (!writer_ && !waiting_.empty() && error_.empty()) open_writer({});
    if (!writer_) return error_.empty();
    writer_->close();
    last_given_ = writer_->bytes_given();
    last_on_disk_ = writer_->bytes_on_disk();
    finished_path_ = writer_->path();
    const bool ok = !writer_->failed();
    if (!ok && error_.empty()) error_ = writer_->error();
    writer_.reset();
    return ok;
}

double session_recorder_t::elapsed_seconds() const {
    return recording_ ? session_.clock().now() - start_ : stopped_at_;
}

std::filesystem::path session_recorder_t::path() const {
    if (writer_) return writer_->path();
    return finished_path_;
}

std::uint64_t session_recorder_t::bytes_on_disk() const { return writer_ ? writer_->bytes_on_disk() : last_on_disk_; }

std::uint64_t session_recorder_t::bytes_given() const {
    return writer_ ? writer_->bytes_given() : waiting_.empty() ? last_given_ : waiting_given_;
}

bool session_recorder_t::failed() const { return !error_.empty() || (writer_ && writer_->failed()); }

std::string session_recorder_t::error() const {
    if (!error_.empty()) return error_;
    return writer_ ? writer_->error() : std::string();
}

}  // namespace plimsy
