#pragma once

// Replaying a capture through a session, as if its board were connected:
// the capture's times are the session's clock, its header's settings the
// session's (private, in-memory) store, its "rx" bytes go through the same
// line reassembly as a transport's, its actions through session_t::act.
//
// Layers, lowest first:
// - replay_session_t: a session on a manual clock and main queue with an
//   in-memory store seeded from a capture header, nothing connected.
// - capture_player_t: applies capture lines to a replay_session_t one by
//   one (plimsy-cli decode uses it directly).
// - replay_t: the engine of the window and of plimsy-cli replay: reads a
//   capture file, knows its duration, plays it paced by a wall clock at a
//   speed, pauses, seeks.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/capture.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/manual_main_queue.hpp"
#include "platform/settings_store.hpp"
#include "session/session.hpp"
#include "transport/line_reassembler.hpp"

namespace plimsy {

using capture_settings_t = std::vector<std::pair<std::string, setting_value_t>>;

// What a replay runs on: the coordinator (nothing connected, no transport
// made) and the connection settings, on a manual clock and main queue, with
// a private in-memory store that holds the capture's settings, so a replay
// never touches the user's saved calibration.
struct replay_session_t {
    // Diagnostics (the session's console lines) to `err`.
    replay_session_t(time_point_t start, const capture_settings_t& settings, std::FILE* err);
    // Diagnostics to `console`; null drops them.
    replay_session_t(time_point_t start, const capture_settings_t& settings, console_t* console);
    replay_session_t(const replay_session_t&) = delete;
    replay_session_t& operator=(const replay_session_t&) = delete;

    replay_session_t(time_point_t start, const capture_settings_t& settings, std::unique_ptr<console_t> own,
                     console_t* console);

    manual_clock_t clock;
    manual_main_queue_t main;
    memory_settings_store_t store;
    std::unique_ptr<console_t> own_console;
    console_t& console;
    // Last: it uses the services above until it is gone.
    std::unique_ptr<session_t> session;
};

// What a replay tells whoever reports on it. Lines from the board are not
// here: they reach the session's pipeline (its line_observer and
// frame_observer see them).
struct replay_listener_t {
    virtual ~replay_listener_t() = default;
    // The session exists (made when the header has been read, and again by
    // a seek backwards); observers of its pipeline go on here.
    virtual void session_started(replay_session_t& /*session*/) {}
    // The next entry is at `t` (seconds since the start; never less than the
    // last one); called before the clock moves there.
    virtual void at(double /*t*/) {}
    // Bytes from the board as the link delivered them, before they are cut
    // into lines (what a bridge would relay).
    virtual void rx(std::string_view /*bytes*/) {}
    virtual void tx(std::string_view /*bytes*/) {}
    // `error` is empty when the action was applied.
    virtual void action(std::string_view /*name*/, const capture_arg_t& /*arg*/, const std::string& /*error*/) {}
    // A capture line that could not be read; `error` is "line N: reason".
    virtual void malformed(std::uint64_t /*line*/, const std::string& /*error*/) {}
    // Something the user should know ("capture line 9: \"t\" 1 goes back
    // before 2; replayed at 2"), without a program name.
    virtual void message(const std::string& /*text*/) {}
};

// Start time and settings out of a capture's first line, with messages for
// whatever is wrong in it.
struct capture_start_t {
    bool header_ok = false;  // false: damaged; replay without settings (the line is malformed)
    time_point_t start = 0;
    capture_settings_t settings;
};
// 2000-01-01T00:00:00Z: where time starts for input without a start time of
// its own, so that its output is the same on every run.
inline constexpr time_point_t replay_default_start = 946684800.0;
// Reads `line` (the first non-empty line, known to look like a header) with
// `reader`; messages go to `message`.
capture_start_t read_capture_start(capture_reader_t& reader, std::string_view line,
                                   const std::function<void(const std::string&)>& message);

// Applies a capture, line by line, to a replay session: moves the clock to
// each entry's time (never back) and runs what the main queue has due, cuts
// "rx" bytes into lines by the transports' rule and hands them to the
// pipeline, applies actions through session_t::act and counts "tx".
class capture_player_t {
public:
    // `start` is the time the capture's "t" counts from.
    capture_player_t(replay_session_t& session, capture_reader_t& reader, time_point_t start,
                     replay_listener_t* listener = nullptr);

    // Reads one line; for an entry, apply() applies it. A line that cannot
    // be read is counted, reported to the listener and skipped.
    capture_reader_t::result_t read(std::string_view line);
    // The time the entry just read will be applied at: its "t", or the last
    // entry's when it goes back.
    double entry_time() const;
    // Applies the entry read last.
    void apply();
    // read() and apply() together.
    void feed(std::string_view line);
    // The capture ended: says so if it ended inside a line.
    void finish();

    // Seconds since the start of the last entry applied.
    double time() const { return t_; }
    void set_listener(replay_listener_t* listener) { listener_ = listener; }
    replay_listener_t* listener() const { return listener_; }

    std::uint64_t entries = 0, tx = 0, actions = 0, malformed = 0, other = 0;
    // Messages also go here (besides the listener's message()).
    std::function<void(const std::string&)> on_message;

private:
    void message(const std::string& text);

    replay_session_t& s_;
    capture_reader_t& reader_;
    replay_listener_t* listener_;
    time_point_t start_;
    line_reassembler_t reassembler_;
    double t_ = 0;
    std::string error_;
};

// ---- The engine ------------------------------------------------------------

// The lines of a capture, from wherever they are kept.
class capture_source_t {
public:
    virtual ~capture_source_t() = default;
    // The next line without its line end, valid until the next call;
    // nothing at the end, or at damage (error() then says where).
    virtual std::optional<std::string_view> next_line() = 0;
    virtual const std::string& error() const = 0;
    // For progress: bytes read so far, and the size when known (else 0).
    virtual std::uint64_t bytes_read() const = 0;
    virtual std::uint64_t size() const = 0;
};
// Opens a fresh source on the same capture each time it is called (a seek
// backwards starts again from the top); nothing with the reason otherwise.
// It is called on whatever thread opens or seeks, so it must be safe there.
using capture_opener_t = std::function<std::unique_ptr<capture_source_t>(std::string& error)>;

// A capture file, plain or compressed.
capture_opener_t capture_file_opener(std::filesystem::path path);
// A capture held in memory (tests, and anything that made one itself).
capture_opener_t capture_text_opener(std::string text);

// Long work reports how far it got (0 to 1); returning false cancels it.
using replay_progress_t = std::function<bool(double fraction)>;

struct replay_options_t {
    // The session's console lines (decoding failures, ...); null drops them.
    console_t* console = nullptr;
    // Messages about the capture itself (damage, time going back, actions
    // not applied), without a program name, each once even when a seek reads
    // its line again; null drops them. Called on the thread that drives the
    // engine (the worker's during a seek_copy()).
    std::function<void(const std::string&)> on_message;
    // Read the whole capture once at opening to learn its duration (the
    // window's timeline). Off for a run from start to end (plimsy-cli), which
    // then learns it at the end.
    bool scan_duration = true;
    // Reports from the first line on (a damaged header included); see
    // set_listener(). Not passed on by seek_copy().
    replay_listener_t* listener = nullptr;
};

// Plays one capture through a session of its own.
//
// Threads: one thread at a time uses an engine (it may be made on one thread
// and then used on another, e.g. made by a worker and handed to the window).
// "Heavy" calls read up to the whole capture and belong on a worker thread in
// a window: open(), seek() (backwards or far forwards) and seek_copy().
// advance() is bounded by its time budget, and the rest are cheap.
class replay_t {
public:
    // Heavy. Opens the capture, reads its header and (scan_duration) the
    // whole file once for its duration; positioned at 0, paused. Nothing,
    // with the reason in `error`, when the file cannot be read, is not a
    // capture, or the scan was cancelled.
    static std::unique_ptr<replay_t> open(capture_opener_t opener, std::string& error, replay_options_t options = {},
                                          const replay_progress_t& progress = {});
    static std::unique_ptr<replay_t> open(const std::filesystem::path& path, std::string& error,
                                          replay_options_t options = {}, const replay_progress_t& progress = {});
    ~replay_t();
    replay_t(const replay_t&) = delete;
    replay_t& operator=(const replay_t&) = delete;

    // The session the capture plays through; the window shows it. A seek()
    // backwards replaces it (see seek_copy() for the window's way).
    session_t& session() { return *rs_->session; }
    replay_session_t& replay_session() { return *rs_; }
    const capture_header_t& header() const { return reader_->header(); }
    time_point_t start_time() const { return start_; }

    // Seconds from the start to the last entry (scanned at opening, or
    // learned at the end without the scan; until then the position).
    double duration() const;
    // Seconds since the start that the session's clock shows.
    double position() const { return position_; }
    bool at_end() const { return at_end_; }

    bool playing() const { return playing_; }
    // At the end, play() starts from the top again: a rebuild, so session()
    // is then a new object (a window uses seek_copy(0) instead).
    void play();
    void pause() { playing_ = false; }
    // How many capture seconds pass per wall-clock second; max_speed (or any
    // infinity) is as fast as possible. Non-positive or NaN is ignored.
    static constexpr double max_speed = std::numeric_limits<double>::infinity();
    void set_speed(double factor);
    double speed() const { return speed_; }

    // While playing: moves the position on by `wall_seconds` times the speed
    // and applies the entries that became due, but stops after about
    // `budget_seconds` of work (checked every few entries), so a window's main
    // thread is never held long; the rest follows at the next call. At the
    // end it pauses there. Returns the number of entries applied. Paused, it
    // does nothing.
    std::size_t advance(double wall_seconds, double budget_seconds = 0.004);

    // Heavy. Positions the replay at `t` seconds (clamped to 0..duration):
    // forwards by applying what lies between, backwards by rebuilding the
    // session from the start (a new session() object) and fast-forwarding.
    // Reports progress; false if cancelled (the position is then wherever
    // it got to) or the capture could not be opened again (see error()).
    // Keeps playing or paused as it was.
    bool seek(double t, const replay_progress_t& progress = {});

    // Heavy. A new engine on the same capture positioned at `t` (paused,
    // at this one's speed), which a window builds on a worker thread while
    // this one goes on playing, then swaps in. It reads only what does not
    // change after opening (the opener, the header, the duration, the
    // options), so this engine may be in use on its own thread meanwhile.
    // Nothing when cancelled or when the capture cannot be opened again.
    std::unique_ptr<replay_t> seek_copy(double t, std::string& error, const replay_progress_t& progress = {},
                                        double speed = 1) const;

    // Why reading stopped early ("the compressed data is cut short after
    // byte 1234567 (line 4021)"), or empty.
    const std::string& error() const { return error_; }

    // Reports of what is applied (plimsy-cli replay); seeks never report.
    void set_listener(replay_listener_t* listener);

    // Counts since the start of the capture.
    const capture_player_t& player() const { return *player_; }
    // For progress bars: bytes of the file read so far, and its size.
    std::uint64_t bytes_read() const { return source_ ? source_->bytes_read() : 0; }
    std::uint64_t file_size() const { return source_ ? source_->size() : 0; }

private:
    replay_t(capture_opener_t opener, replay_options_t options);
    bool start(std::string& error);
    bool scan(std::string& error, const replay_progress_t& progress);
    // Reads the next entry into pending_ (false at the end).
    bool next_entry();
    // Applies the entries up to `t`, for at most `budget_seconds` of work.
    enum class reached_t { time, budget, end, cancelled };
    reached_t play_to(double t, double budget_seconds, const replay_progress_t* progress, std::size_t& applied);
    void move_clock(double t);
    void reach_end();
    void message(const std::string& text);

    capture_opener_t opener_;
    replay_options_t options_;
    std::unique_ptr<capture_source_t> source_;
    std::unique_ptr<capture_reader_t> reader_;
    std::unique_ptr<replay_session_t> rs_;
    std::unique_ptr<capture_player_t> player_;

    time_point_t start_ = replay_default_start;
    std::optional<double> duration_;  // known from the scan or the end
    double position_ = 0;
    double speed_ = 1;
    bool playing_ = false;
    bool at_end_ = false;
    bool pending_ = false;  // an entry has been read and waits for its time
    std::uint64_t reported_through_ = 0;  // the furthest line a message was given for
    std::string error_;
};

}  // namespace plimsy
