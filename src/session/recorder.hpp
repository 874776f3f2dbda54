#pragma once

// Recording a live session into a capture file.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.hpp"
#include "capture/capture_file.hpp"
#include "session/session.hpp"

namespace plimsy {

// $XDG_DATA_HOME/Plimsy/Plimsy_sensors/recordings (XDG_DATA_HOME defaults
// to ~/.local/share). Only the name: the first recording makes the folder.
std::filesystem::path recordings_folder();

// What a recording's file ends with, and the MIME type it is registered as.
inline constexpr std::string_view recording_extension = ".plimsy.jsonl.zst";
inline constexpr std::string_view recording_mime_type = "application/x-plimsy-capture";

// "2026-12-07T06-50-12Z_hmc5883.plimsy.jsonl.zst": the start in UTC (no
// colons, which some file systems and file managers refuse) and the board
// kind, so a folder of recordings sorts by time and says what each holds.
std::string recording_file_name(time_point_t start, std::string_view board_kind);

// The stored settings a capture's header carries: what processing reads.
// The magnetometer calibration in use (slot 0, loaded when processing
// starts) and its spare (slot 1, which a recorded "load" action reads),
// and the transport switches, which decide the toolbar's texts that a
// decoded state shows. Not the histories of hosts and names, which are the
// user's and change no reading, and never anything secret.
std::vector<std::pair<std::string, setting_value_t>> capture_settings(const settings_store_t& store);

// How a session reaches its board, for people: "tcp 127.0.0.1:8081",
// "ble Plimsy:91 UART (simulated)", "serial /dev/ttyACM0 115200 + tcp
// 127.0.0.1:81 (bridge)".
std::string session_link_text(const session_t& session);

// Records a live session: from its construction until stop(), every raw
// chunk from and to the board and every local action, with the session
// clock's time, after a header with the start time, the link and the
// settings that processing reads. A tap of the session; main thread only.
// It never waits for the disk: the file is made, compressed and written by
// its writer's thread, and stopping hands the last of it to a thread of its
// own. The session must outlive it.
class session_recorder_t final : public session_tap_t {
public:
    struct options_t {
        // Empty: recordings_folder() / recording_file_name(start, board
        // kind), never replacing a file (a second recording in the same
        // second gets "-2"). While the board has not yet said what it is,
        // the entries wait in memory (up to `name_wait_seconds`), so the
        // name can tell.
        std::filesystem::path path = {};
        double name_wait_seconds = 5.0;
        capture_file_writer_t::options_t file = {};
    };

    explicit session_recorder_t(session_t& session);
    session_recorder_t(session_t& session, options_t options);
    ~session_recorder_t() override;  // stop()
    session_recorder_t(const session_recorder_t&) = delete;
    session_recorder_t& operator=(const session_recorder_t&) = delete;

    // Runs on the main thread once, when the file cannot be made or
    // written: the recording has then stopped (failed() and error() say
    // why), the live session goes on.
    std::function<void(const std::string& message)> on_error;

    // Stops recording and ends the file in the background (never waits).
    void stop();
    // Stops recording, ends the file and waits for it: for tools, not a
    // window's main thread. False when the file could not be written whole.
    bool finish();

    bool recording() const { return recording_; }
    // Session time since the start (frozen at the stop).
    double elapsed_seconds() const;
    time_point_t start() const { return start_; }
    // The file, once it is named (empty before: see options_t::path).
    std::filesystem::path path() const;
    std::uint64_t bytes_on_disk() const;
    std::uint64_t bytes_given() const;  // uncompressed
    std::uint64_t entries() const { return entries_; }  // rx, tx and actions
    bool failed() const;
    std::string error() const;

    // session_tap_t
    void board_rx(std::span<const std::uint8_t> bytes) override;
    void board_tx(std::span<const std::uint8_t> bytes) override;
    void local_action(std::string_view name, const capture_arg_t& arg) override;

private:
    double now();
    void put(std::string_view lines);
    void open_writer(std::string_view board_kind);
    void failed_with(const std::string& message);

    session_t& session_;
    options_t options_;
    time_point_t start_ = 0;
    double stopped_at_ = 0;
    double last_t_ = 0;
    bool recording_ = false;
    std::string line_;
    std::string waiting_;  // text before the file is named
    std::uint64_t waiting_given_ = 0;
    std::uint64_t entries_ = 0;
    std::uint64_t last_given_ = 0, last_on_disk_ = 0;  // after the writer is gone
    std::unique_ptr<capture_file_writer_t> writer_;
    std::filesystem::path finished_path_;
    std::string error_;  // a failure before or after the writer
    // Held weakly by the writer's error report, which may arrive after this is gone.
    std::shared_ptr<session_recorder_t*> self_ = std::make_shared<session_recorder_t*>(this);
};

}  // namespace plimsy
