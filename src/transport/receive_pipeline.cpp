#include "transport/receive_pipeline.hpp"

#include "common/text.hpp"

namespace plimsy {

receive_pipeline_t::receive_pipeline_t(const clock_t& clock, settings_store_t& store, console_t& console)
    : sensors(clock, store, console), clock_(clock), console_(console) {
    // A change of any sensor is a change of what the connection shows.
    sensors_subscription_ = sensors.subscribe([this] { will_change(); });
}

receive_pipeline_t::~receive_pipeline_t() = default;

namespace {
// Splits at every "=", dropping empty pieces; a message has exactly two.
bool split_message(std::string_view line, std::string_view& key, std::string_view& json) {
    int pieces = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == '=') {
            ++i;
            continue;
        }
        std::size_t end = line.find('=', i);
        if (end == std::string_view::npos) end = line.size();
        if (pieces == 0)
            key = line.substr(i, end - i);
        else if (pieces == 1)
            json = line.substr(i, end - i);
        else
            return false;
        ++pieces;
        i = end;
    }
    return pieces == 2;
}
}  // namespace

void receive_pipeline_t::receive_line(std::string_view line) {
    binary = false;
    if (msg_ack) {
        ++msg_count;
        ++msg_good;
    } else {
        msg_ack = true;  // the first line after a connection only arms the counting
    }

    line_result_t result;
    result.line = line;
    std::string_view key, json;
    if (split_message(line, key, json) && json.front() == '{' && json.back() == '}') {
        if (const auto k = match_key(key)) {
            if (decoder_.decode(*k, json, record_, error_)) {
                sensors.apply(record_);
                result.kind = line_result_t::kind_t::ok;
                result.record = &record_;
            } else {
                if (log_fg_ != log_colour_error) {
                    will_change();
                    log_fg_ = log_colour_error;
                }
                std::string text = "\n\nfailed to decode JSON: ";
                text += error_;
                text += "\n[";
                text += line;
                text += "]";
                console_.line(text);
                result.kind = line_result_t::kind_t::error;
                result.error = error_;
            }
        }
    }
    log_append(line);
    report(result);
}

bool receive_pipeline_t::receive_arr(std::span<const std::uint8_t> bytes) {
    std::string text = timestamp(clock_.now());
    text += "  [binary frame] ";
    text += std::to_string(bytes.size());
    text += " bytes";
    log_append(text);
    if (frame_observer) frame_observer(bytes);
    if (binary) return false;
    binary = true;
    console_.line(text);
    return true;
}

void receive_pipeline_t::log_append(std::string_view text) {
    if (!log_enable_) return;
    will_change();
    if (arr_rx_.size() >= static_cast<std::size_t>(log_rx_max_size)) {
        // Reuse the oldest entry's storage for the newest line.
        std::string oldest = std::move(arr_rx_.front());
        arr_rx_.pop_front();
        oldest.assign(text);
        arr_rx_.push_back(std::move(oldest));
    } else {
        arr_rx_.emplace_back(text);
    }
}

void receive_pipeline_t::clear_log() {
    will_change();
    arr_rx_.clear();
    msg_count = 0;
    msg_good = 0;
    msg_ack = false;
}

void receive_pipeline_t::set_log_enable(bool on) {
    if (on == log_enable_) return;
    will_change();
    log_enable_ = on;
}

std::string receive_pipeline_t::error_rate() const {
    if (msg_count == msg_good) return {};
    const float r = static_cast<float>(msg_count - msg_good) * 100.0f / static_cast<float>(msg_count);
    if (r == 0.0f || !show_crc) return {};
    return cformat("%.f%%  ", static_cast<double>(r));
}

}  // namespace plimsy
