#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <memory>
#include <utility>
#include <vector>

#include "config/config_connection.hpp"
#include "platform/altimeter.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/manual_main_queue.hpp"
#include "platform/settings_store.hpp"
#include "transport/connection.hpp"
#include "session/session.hpp"
#include "transport/receive_pipeline.hpp"

namespace plimsy {

// Runs lines through the same receive pipeline and sensors model as the
// application and describes each as one JSON object. Shared by
// "plimsy-cli decode" and "plimsy-cli connect --decode".
class line_report_t {
public:
    // `sink` receives the JSON description of every line and frame that
    // reaches the pipeline (no trailing line feed). Without one the report
    // only counts, and builds no text.
    line_report_t(receive_pipeline_t& pipeline, std::function<void(const std::string&)> sink);
    ~line_report_t();

    // Hands one input line (without its line end) to the pipeline. A line
    // that is not valid UTF-8 goes as a binary frame, as a transport would
    // deliver it.
    void feed(std::string_view bytes);

    // Members written first in every report, with their trailing comma
    // ("\"t\":0.02,"); empty for none.
    std::string prefix;
    // Appends members after "device_model" (decode --state).
    std::function<void(std::string&)> append_extra;
    // Called with the record of every line that decoded.
    std::function<void(const record_t&)> record_observer;
    // Called once for every line and frame, after counting and before its
    // text is built (also when there is no sink).
    std::function<void()> on_report;

    // A report of something else than a line (decode's tx entries and
    // actions): event() starts it and returns the text to append members
    // to, each followed by a comma; finish_event() adds "device_model" and
    // hands it to the sink. Only with a sink.
    std::string& event();
    void finish_event();

    std::uint64_t ok = 0, error = 0, ignored = 0, binary = 0;
    std::uint64_t lines() const { return ok + error + ignored + binary; }

    // {"lines":N,"ok":N,"error":N,"ignored":N,"binary":N,...extra,"seconds":S,"lines_per_second":R}
    std::string summary(double seconds, std::string_view extra_fields = {}) const;

private:
    void on_line(const line_result_t& result);
    void on_frame(std::span<const std::uint8_t> bytes);
    void begin(std::string_view shown_line);
    void end_with_model();

    receive_pipeline_t& pipeline_;
    std::function<void(const std::string&)> sink_;
    std::string out_;
};

// What a replay runs on: the coordinator (nothing connected, no transport
// made) and the connection settings, on a manual clock and main queue, with
// a private in-memory store that holds the capture's settings, so a replay
// never touches the user's saved calibration. Diagnostics go to `err`.
struct replay_session_t {
    replay_session_t(time_point_t start, const std::vector<std::pair<std::string, setting_value_t>>& settings,
                     std::FILE* err);

    manual_clock_t clock;
    manual_main_queue_t main;
    memory_settings_store_t store;
    stdout_console_t console;
    // Last: it uses the services above until it is gone.
    std::unique_ptr<session_t> session;
};

// The whole "decode" command: reads `in` to its end, writes to `out`,
// diagnostics to `err`. Returns the exit status.
int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace plimsy
