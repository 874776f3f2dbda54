#include "session/replay.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

#include "common/text.hpp"

namespace plimsy {

// ---- The session -------------------------------------------------------------

replay_session_t::replay_session_t(time_point_t start, const capture_settings_t& settings, std::FILE* err)
    : replay_session_t(start, settings, std::make_unique<stdout_console_t>(err), nullptr) {}

replay_session_t::replay_session_t(time_point_t start, const capture_settings_t& settings, console_t* console)
    : replay_session_t(start, settings, console ? nullptr : std::make_unique<null_console_t>(), console) {}

replay_session_t::replay_session_t(time_point_t start, const capture_settings_t& settings,
                                   std::unique_ptr<console_t> own, console_t* console)
    : clock(start), main(clock), own_console(std::move(own)), console(console ? *console : *own_console) {
    for (const auto& [key, value] : settings) store.write(key, value);
    // Nothing is connected and no transport is made: the capture is the board.
    session = std::make_unique<session_t>(session_services_t{.clock = clock, .main = main, .console = &this->console},
                                          session_options_t{.store = &store, .start_connection = false});
}

// ---- The header ----------------------------------------------------------------

capture_start_t read_capture_start(capture_reader_t& reader, std::string_view line,
                                   const std::function<void(const std::string&)>& message) {
    auto say = [&](const std::string& text) {
        if (message) message(text);
    };
    capture_start_t s;
    s.start = replay_default_start;
    s.header_ok = reader.read_line(line) == capture_reader_t::result_t::header;
    const capture_header_t& h = reader.header();
    for (const auto& d : reader.dropped_settings()) say("capture header: setting " + d + "; not used");
    if (!s.header_ok) {
        say("the header is damaged; replaying without its settings");
    } else if (auto parsed = parse_iso8601(h.start)) {
        s.start = *parsed;
    } else {
        say("capture header: \"start\" '" + h.start +
            "' is not a UTC time (2026-12-07T03:48:07Z); times count from 2000-01-01T00:00:00Z");
    }
    if (h.version > capture_version)
        say(cformat("capture version %lld is newer than this program's (%lld); what it does not know is ignored",
                    static_cast<long long>(h.version), static_cast<long long>(capture_version)));
    if (s.header_ok) s.settings = h.settings;
    return s;
}

// ---- The player ----------------------------------------------------------------

capture_player_t::capture_player_t(replay_session_t& session, capture_reader_t& reader, time_point_t start,
                                   replay_listener_t* listener)
    : s_(session), reader_(reader), listener_(listener), start_(start) {}

void capture_player_t::message(const std::string& text) {
    if (on_message) on_message(text);
    if (listener_) listener_->message(text);
}

namespace {
std::string seconds_text(double t) {
    std::string s;
    append_seconds(s, t);
    return s;
}
}  // namespace

capture_reader_t::result_t capture_player_t::read(std::string_view line) {
    const auto r = reader_.read_line(line);
    if (r == capture_reader_t::result_t::error) {
        ++malformed;
        if (listener_) listener_->malformed(reader_.error_line(), reader_.error());
        if (on_message) on_message("capture " + reader_.error() + "; the line is skipped");
    }
    return r;
}

double capture_player_t::entry_time() const { return std::max(reader_.entry().t, t_); }

void capture_player_t::apply() {
    const capture_entry_t& e = reader_.entry();
    ++entries;
    double t = e.t;
    if (t < t_) {
        message("capture line " + std::to_string(reader_.line_number()) + ": \"t\" " + seconds_text(t) +
                " goes back before " + seconds_text(t_) + "; replayed at " + seconds_text(t_));
        t = t_;
    }
    t_ = t;
    if (listener_) listener_->at(t);
    s_.clock.set(start_ + t);
    s_.main.run_pending();
    switch (e.kind) {
        case capture_entry_t::kind_t::rx: {
            if (listener_) listener_->rx(e.data);
            const auto& got = reassembler_.feed(e.data);
            if (got.dropped > 0) s_.console.line(dropped_line_notice("capture", got.dropped));
            receive_pipeline_t& pipeline = s_.session->pipeline();
            for (const std::string_view line : got.lines) pipeline.receive_line(line);
            if (got.is_frame) pipeline.receive_arr(got.frame);
            break;
        }
        case capture_entry_t::kind_t::tx:
            ++tx;
            if (listener_) listener_->tx(e.data);
            break;
        case capture_entry_t::kind_t::action: {
            ++actions;
            error_.clear();
            if (!s_.session->act(e.data, e.arg, error_))
                message("capture line " + std::to_string(reader_.line_number()) + ": action \"" + std::string(e.data) +
                        "\" not applied: " + error_);
            if (listener_) listener_->action(e.data, e.arg, error_);
            break;
        }
        case capture_entry_t::kind_t::other: ++other; break;  // a kind of entry from a later version
    }
}

void capture_player_t::feed(std::string_view line) {
    if (read(line) == capture_reader_t::result_t::entry) apply();
}

void capture_player_t::finish() {
    if (!reassembler_.rem().empty())
        message(cformat("the capture ends inside a line; its last %zu bytes never made a line, as on a link that "
                        "went quiet",
                        reassembler_.rem().size()));
}

// ---- Sources -------------------------------------------------------------------

namespace {

// Splits text into lines, the last one without a line feed included.
class line_splitter_t {
public:
    // The next line of `text` from `at`, moving `at` past it; nothing at the end.
    static std::optional<std::string_view> next(std::string_view text, std::size_t& at) {
        if (at >= text.size()) return std::nullopt;
        const std::size_t lf = text.find('\n', at);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        const std::string_view line = text.substr(at, end - at);
        at = lf == std::string_view::npos ? text.size() : lf + 1;
        return line;
    }
};

class text_source_t final : public capture_source_t {
public:
    explicit text_source_t(std::shared_ptr<const std::string> text) : text_(std::move(text)) {}
    std::optional<std::string_view> next_line() override { return line_splitter_t::next(*text_, at_); }
    const std::string& error() const override { return error_; }
    std::uint64_t bytes_read() const override { return at_; }
    std::uint64_t size() const override { return text_->size(); }

private:
    std::shared_ptr<const std::string> text_;
    std::size_t at_ = 0;
    std::string error_;
};

}  // namespace

capture_opener_t capture_text_opener(std::string text) {
    auto shared = std::make_shared<const std::string>(std::move(text));
    return [shared](std::string&) -> std::unique_ptr<capture_source_t> {
        return std::make_unique<text_source_t>(shared);
    };
}

// ---- The engine ------------------------------------------------------------------

replay_t::replay_t(capture_opener_t opener, replay_options_t options)
    : opener_(std::move(opener)), options_(std::move(options)) {}

replay_t::~replay_t() {
    // The player and the session refer to the reader and the source.
    player_.reset();
    rs_.reset();
    reader_.reset();
    source_.reset();
}

std::unique_ptr<replay_t> replay_t::open(const std::filesystem::path& path, std::string& error,
                                         replay_options_t options, const replay_progress_t& progress) {
    return open(capture_file_opener(path), error, std::move(options), progress);
}

std::unique_ptr<replay_t> replay_t::open(capture_opener_t opener, std::string& error, replay_options_t options,
                                         const replay_progress_t& progress) {
    std::unique_ptr<replay_t> r(new replay_t(std::move(opener), std::move(options)));
    if (!r->start(error)) return nullptr;
    if (r->options_.scan_duration && !r->scan(error, progress)) return nullptr;
    return r;
}

void replay_t::message(const std::string& text) {
    if (options_.on_message) options_.on_message(text);
    if (options_.listener) options_.listener->message(text);
}

bool replay_t::start(std::string& error) {
    player_.reset();
    rs_.reset();
    reader_.reset();
    source_ = opener_(error);
    if (!source_) return false;
    reader_ = std::make_unique<capture_reader_t>();
    pending_ = false;
    at_end_ = false;
    position_ = 0;
    // Empty lines before the header still count, so messages name the right lines.
    std::uint64_t leading_empty = 0;
    std::optional<std::string_view> first;
    while ((first = source_->next_line())) {
        std::string_view content = *first;
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        if (!content.empty()) break;
        ++leading_empty;
    }
    if (!first) {
        error = source_->error().empty() ? "it is empty, not a capture" : source_->error();
        return false;
    }
    {
        std::string_view content = *first;
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        if (!looks_like_capture_header(content)) {
            error = "not a capture: its first line is not a capture header ({\"capture\":1,...})";
            return false;
        }
    }
    for (; leading_empty > 0; --leading_empty) reader_->read_line({});
    const capture_start_t s = read_capture_start(*reader_, *first, [this](const std::string& text) { message(text); });
    start_ = s.start;
    rs_ = std::make_unique<replay_session_t>(start_, s.settings, options_.console);
    player_ = std::make_unique<capture_player_t>(*rs_, *reader_, start_, options_.listener);
    // A seek backwards reads the lines before it again: each message is
    // given once, for the furthest line it concerns.
    if (options_.on_message)
        player_->on_message = [this](const std::string& text) {
            if (reader_->line_number() <= reported_through_) return;
            reported_through_ = reader_->line_number();
            options_.on_message(text);
        };
    if (options_.listener) options_.listener->session_started(*rs_);
    if (!s.header_ok) {
        // Reported like any other line that cannot be read, at time 0.
        ++player_->malformed;
        if (options_.listener) {
            options_.listener->at(0);
            options_.listener->malformed(reader_->error_line(), reader_->error());
        }
    }
    return true;
}

namespace {
// A line's "t" without a JSON parse, when the line starts with it as the
// writer puts it ({"t":1.25,...}); nothing otherwise.
std::optional<double> leading_time(std::string_view line) {
    constexpr std::string_view prefix = "{\"t\":";
    if (line.substr(0, prefix.size()) != prefix) return std::nullopt;
    double t = 0;
    const char* begin = line.data() + prefix.size();
    const auto [end, ec] = std::from_chars(begin, line.data() + line.size(), t);
    if (ec != std::errc() || end == line.data() + line.size() || (*end != ',' && *end != '}')) return std::nullopt;
    return t;
}
}  // namespace

bool replay_t::scan(std::string& error, const replay_progress_t& progress) {
    auto source = opener_(error);
    if (!source) return false;
    capture_reader_t reader;  // for lines written some other way
    double last = 0;
    std::uint64_t n = 0;
    while (auto line = source->next_line()) {
        if (++n % 16384 == 0 && progress && source->size() > 0 &&
            !progress(static_cast<double>(source->bytes_read()) / static_cast<double>(source->size()))) {
            error = "cancelled";
            return false;
        }
        if (auto t = leading_time(*line)) {
            last = std::max(last, *t);
        } else if (reader.read_line(*line) == capture_reader_t::result_t::entry) {
            last = std::max(last, reader.entry().t);
        }
    }
    duration_ = last;
    if (progress) progress(1.0);
    return true;
}

double replay_t::duration() const { return duration_ ? std::max(*duration_, position_) : position_; }

void replay_t::set_listener(replay_listener_t* listener) {
    options_.listener = listener;
    if (player_) player_->set_listener(listener);
}

void replay_t::set_speed(double factor) {
    if (factor > 0) speed_ = factor;  // NaN fails the comparison too
}

void replay_t::play() {
    if (at_end_) {
        std::string error;
        if (!start(error)) {
            error_ = error;
            message(error);
            return;
        }
    }
    playing_ = true;
}

bool replay_t::next_entry() {
    while (auto line = source_->next_line()) {
        if (player_->read(*line) == capture_reader_t::result_t::entry) return true;
    }
    if (!source_->error().empty() && error_.empty()) {
        error_ = source_->error();
        message(error_);
    }
    return false;
}

void replay_t::move_clock(double t) {
    const time_point_t at = start_ + t;
    if (at > rs_->clock.now()) rs_->clock.set(at);
    rs_->main.run_pending();
}

void replay_t::reach_end() {
    if (at_end_) return;
    at_end_ = true;
    playing_ = false;
    player_->finish();
    const double end = std::max({position_, player_->time(), duration_.value_or(0.0)});
    duration_ = end;
    position_ = end;
    move_clock(end);
}

replay_t::reached_t replay_t::play_to(double t, double budget_seconds, const replay_progress_t* progress,
                                      std::size_t& applied) {
    using steady = std::chrono::steady_clock;
    const bool timed = std::isfinite(budget_seconds);
    const auto deadline =
        timed ? steady::now() + std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(budget_seconds))
              : steady::time_point::max();
    const double from = position_;
    std::size_t n = 0;
    while (true) {
        if (!pending_) {
            if (at_end_ || !next_entry()) {
                reach_end();
                return reached_t::end;
            }
            pending_ = true;
        }
        if (player_->entry_time() > t) return reached_t::time;
        player_->apply();
        pending_ = false;
        ++applied;
        if (++n % 64 == 0) {
            if (timed && steady::now() >= deadline) return reached_t::budget;
            if (progress && *progress && n % 1024 == 0 && std::isfinite(t) && t > from &&
                !(*progress)((player_->time() - from) / (t - from)))
                return reached_t::cancelled;
        }
    }
}

std::size_t replay_t::advance(double wall_seconds, double budget_seconds) {
    if (!playing_ || at_end_ || !(wall_seconds >= 0)) return 0;
    const double target = std::isinf(speed_) ? speed_ : position_ + wall_seconds * speed_;
    std::size_t applied = 0;
    switch (play_to(target, budget_seconds, nullptr, applied)) {
        case reached_t::time:
            position_ = target;
            move_clock(position_);
            break;
        case reached_t::budget:
        case reached_t::cancelled:
            // Behind the wall clock: the position is what has been applied.
            position_ = std::max(position_, player_->time());
            break;
        case reached_t::end: break;
    }
    return applied;
}

bool replay_t::seek(double t, const replay_progress_t& progress) {
    if (!(t >= 0)) t = 0;
    if (duration_ && t > *duration_) t = *duration_;
    replay_listener_t* listener = player_->listener();
    if (t < position_) {
        std::string error;
        if (!start(error)) {
            error_ = error;
            message(error);
            return false;
        }
    }
    player_->set_listener(nullptr);  // seeks never report
    if (progress && !progress(0.0)) {
        player_->set_listener(listener);
        return false;
    }
    std::size_t applied = 0;
    const reached_t r = play_to(t, std::numeric_limits<double>::infinity(), &progress, applied);
    player_->set_listener(listener);
    if (r == reached_t::cancelled) {
        position_ = std::max(position_, player_->time());
        return false;
    }
    if (r == reached_t::time) {
        position_ = t;
        move_clock(t);
    }
    if (progress) progress(1.0);
    return true;
}

std::unique_ptr<replay_t> replay_t::seek_copy(double t, std::string& error, const replay_progress_t& progress,
                                              double speed) const {
    replay_options_t options = options_;
    options.listener = nullptr;
    std::unique_ptr<replay_t> r(new replay_t(opener_, std::move(options)));
    r->duration_ = duration_;
    if (!r->start(error)) return nullptr;
    if (!r->seek(t, progress)) {
        error = r->error_.empty() ? "cancelled" : r->error_;
        return nullptr;
    }
    r->set_speed(speed);
    return r;
}

}  // namespace plimsy
