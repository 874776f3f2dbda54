#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/colour.hpp"
#include "model/decoder.hpp"
#include "model/records.hpp"
#include "model/sensors.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/observable.hpp"
#include "platform/settings_store.hpp"
#include "transport/receive_line.hpp"

namespace plimsy {

// What became of one line, for tools that report per line.
struct line_result_t {
    enum class kind_t { ok, error, ignored };
    kind_t kind = kind_t::ignored;
    std::string_view line;
    const record_t* record = nullptr;  // set when ok
    std::string_view error;           // set when error
};

// The receiving half of the connection: every line and frame a transport
// reassembles enters here, is split into key and JSON, decoded into its
// record and applied to the sensors model. Keeps the receive log, counters
// and the log colour for the main screen. Runs on the main thread only.
class receive_pipeline_t : public observable_t, public receive_line_t, public receive_arr_t {
public:
    receive_pipeline_t(const clock_t& clock, settings_store_t& store, console_t& console);
    ~receive_pipeline_t() override;

    void receive_line(std::string_view line) override;
    bool receive_arr(std::span<const std::uint8_t> bytes) override;

    void clear_log();
    // Whole percent of bad lines and two blanks, or empty.
    std::string error_rate() const;

    void set_log_enable(bool on);

    // Called after each line with what became of it, and after each binary
    // frame (plimsy-cli decode and connect --decode).
    std::function<void(const line_result_t&)> line_observer;
    std::function<void(std::span<const std::uint8_t>)> frame_observer;

    static constexpr int log_rx_max_size = 18;
    static constexpr colour_t log_colour_ok = colour_t::primary;
    static constexpr colour_t log_colour_error = colour_t::red;
    static constexpr colour_t log_colour_timeout = colour_t::purple;

    const std::deque<std::string>& arr_rx() const { return arr_rx_; }
    colour_t log_fg() const { return log_fg_; }
    bool log_enable() const { return log_enable_; }

    bool show_crc = true;
    bool msg_ack = false;
    std::uint64_t msg_count = 0;
    std::uint64_t msg_good = 0;

    sensors_t sensors;

    // A binary frame has been seen since the last text line.
    bool binary = false;

protected:
    const clock_t& clock_;
    console_t& console_;

private:
    void log_append(std::string_view text);
    void report(const line_result_t& result) {
        if (line_observer) line_observer(result);
    }

    std::deque<std::string> arr_rx_;
    colour_t log_fg_ = log_colour_ok;
    bool log_enable_ = false;

    decoder_t decoder_;
    record_t record_;
    std::string error_;
    subscription_t sensors_subscription_;
};

}  // namespace plimsy
