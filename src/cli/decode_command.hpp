#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <memory>
#include <optional>
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
#include "session/capture_export.hpp"
#include "session/replay.hpp"
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

// decode's and replay's outputs for a capture played through a session:
// one JSON object per line, command, action and malformed capture line
// (with "state" for --state), the CSV tables, the summary. Diagnostics go
// to `err` as "<program>: <text>".
class capture_report_t final : public replay_listener_t {
public:
    struct report_options_t {
        bool summary = false;
        bool state = false;
        std::optional<std::string> csv_dir;
    };
    capture_report_t(report_options_t options, std::FILE* out, std::FILE* err, std::string program);
    ~capture_report_t() override;

    // Makes the CSV directory and its tables (--csv); false with a message.
    bool open_csv();

    void session_started(replay_session_t& session) override;
    void at(double t) override;
    void tx(std::string_view bytes) override;
    void action(std::string_view name, const capture_arg_t& arg, const std::string& error) override;
    void malformed(std::uint64_t line, const std::string& error) override;
    void message(const std::string& text) override;

    line_report_t& line_report() { return *report_; }
    // The summary object; with a capture's counts when `player` is given.
    std::string summary(double seconds, const capture_player_t* player) const;
    bool close_csv();

private:
    void say(const std::string& text);
    void after_report();

    report_options_t o_;
    std::FILE* out_;
    std::FILE* err_;
    std::string program_;
    std::unique_ptr<csv_tables_t> csv_;
    replay_session_t* session_ = nullptr;
    std::unique_ptr<line_report_t> report_;
    std::vector<shown_object_t> state_;
    double t_ = 0;
};

// The whole "decode" command: reads `in` to its end, writes to `out`,
// diagnostics to `err`. Returns the exit status.
int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace plimsy
