#include "cli/decode_command.hpp"

#include <charconv>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "capture/actions.hpp"
#include "capture/capture.hpp"
#include "capture/capture_file.hpp"
#include "capture/shown_text.hpp"
#include "shown/screen.hpp"
#include "transport/line_reassembler.hpp"

#include "common/text.hpp"
#include "model/record_text.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/settings_store.hpp"

namespace plimsy {

line_report_t::line_report_t(receive_pipeline_t& pipeline, std::function<void(const std::string&)> sink)
    : pipeline_(pipeline), sink_(std::move(sink)) {
    pipeline_.line_observer = [this](const line_result_t& r) { on_line(r); };
    pipeline_.frame_observer = [this](std::span<const std::uint8_t> b) { on_frame(b); };
}

line_report_t::~line_report_t() {
    pipeline_.line_observer = nullptr;
    pipeline_.frame_observer = nullptr;
}

void line_report_t::begin(std::string_view shown_line) {
    event();
    out_ += "\"line\":\"";
    append_json_escaped(out_, shown_line);
    out_ += "\",\"result\":\"";
}

std::string& line_report_t::event() {
    out_.clear();
    out_ += '{';
    out_ += prefix;
    return out_;
}

void line_report_t::finish_event() {
    out_ += "\"device_model\":\"";
    out_ += device_model_name(pipeline_.sensors.device_model);
    out_ += '"';
    if (append_extra) append_extra(out_);
    out_ += '}';
    if (sink_) sink_(out_);
}

void line_report_t::end_with_model() {
    out_ += ',';
    finish_event();
}

void line_report_t::feed(std::string_view bytes) {
    if (valid_utf8(bytes))
        pipeline_.receive_line(bytes);
    else
        pipeline_.receive_arr({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

void line_report_t::on_line(const line_result_t& r) {
    switch (r.kind) {
        case line_result_t::kind_t::ok: ++ok; break;
        case line_result_t::kind_t::error: ++error; break;
        case line_result_t::kind_t::ignored: ++ignored; break;
    }
    if (r.kind == line_result_t::kind_t::ok && record_observer) record_observer(*r.record);
    if (on_report) on_report();
    // Counting alone (--summary) builds no text.
    if (!sink_) return;
    begin(r.line);
    switch (r.kind) {
        case line_result_t::kind_t::ok:
            out_ += "ok\",\"record\":\"";
            out_ += record_name(*r.record);
            out_ += "\",\"fields\":";
            append_record_fields_json(out_, *r.record);
            break;
        case line_result_t::kind_t::error:
            out_ += "error\",\"error\":\"";
            append_json_escaped(out_, r.error);
            out_ += "\"";
            break;
        case line_result_t::kind_t::ignored:
            out_ += "ignored\"";
            break;
    }
    end_with_model();
}

void line_report_t::on_frame(std::span<const std::uint8_t> bytes) {
    ++binary;
    if (on_report) on_report();
    if (!sink_) return;
    begin(utf8_with_replacements({reinterpret_cast<const char*>(bytes.data()), bytes.size()}));
    out_ += "binary\"";
    end_with_model();
}

std::string line_report_t::summary(double seconds, std::string_view extra_fields) const {
    std::string s = cformat("{\"lines\":%llu,\"ok\":%llu,\"error\":%llu,\"ignored\":%llu,\"binary\":%llu",
                            static_cast<unsigned long long>(lines()), static_cast<unsigned long long>(ok),
                            static_cast<unsigned long long>(error), static_cast<unsigned long long>(ignored),
                            static_cast<unsigned long long>(binary));
    if (!extra_fields.empty()) {
        s += ',';
        s += extra_fields;
    }
    const double rate = seconds > 0 ? static_cast<double>(lines()) / seconds : 0.0;
    s += cformat(",\"seconds\":%.6f,\"lines_per_second\":%.0f}", seconds, rate);
    return s;
}

namespace {

const char* decode_usage =
    "usage: plimsy-cli decode [--summary] [--state] [--csv DIR] [--interval MS] [FILE]\n"
    "Reads board output, or a capture (its first line is {\"capture\":1,...}), from\n"
    "FILE or standard input and writes one JSON object per line, action and\n"
    "command: what the application makes of it. Time is the capture's, or one\n"
    "step per raw line, never the clock of this machine: the same input always\n"
    "gives the same output.\n"
    "  --summary       write only one JSON object at the end: counts and lines per second\n"
    "  --state         add to every object \"state\": what the screen shows after it\n"
    "  --csv DIR       also write DIR/<record>.csv per record type and DIR/<object>.csv\n"
    "                  per shown object, a time column first\n"
    "  --interval MS   time step between raw lines, in milliseconds (default 20)\n";

// Raw input has no start time of its own; it begins here, so that its
// diagnostics and dates are the same on every run.
constexpr time_point_t raw_start = 946684800.0;  // 2000-01-01T00:00:00Z

struct options_t {
    bool summary = false;
    bool state = false;
    std::optional<std::string> csv_dir;
    std::optional<double> interval_ms;
    std::optional<std::string> file;
};

// 2 and a message for a bad option, -1 to go on, 0 after --help.
int parse_options(int argc, const char* const* argv, options_t& o, std::FILE* out, std::FILE* err) {
    auto bad = [&](const std::string& message) {
        std::fprintf(err, "plimsy-cli decode: %s\n%s", message.c_str(), decode_usage);
        return 2;
    };
    for (int i = 0; i < argc; ++i) {
        std::string_view a = argv[i];
        std::optional<std::string_view> value;
        auto take_value = [&](std::string_view name) -> bool {
            if (a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
                value = a.substr(name.size() + 1);
                return true;
            }
            if (a != name) return false;
            if (i + 1 < argc) value = argv[++i];
            return true;
        };
        if (a == "--summary") {
            o.summary = true;
        } else if (a == "--state") {
            o.state = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(decode_usage, out);
            return 0;
        } else if (take_value("--csv")) {
            if (!value || value->empty()) return bad("--csv needs a directory");
            o.csv_dir = std::string(*value);
        } else if (take_value("--interval")) {
            if (!value) return bad("--interval needs a number of milliseconds");
            double ms = -1;
            const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), ms);
            if (ec != std::errc() || end != value->data() + value->size() || !(ms >= 0 && ms <= 3'600'000))
                return bad("--interval must be a number of milliseconds from 0 to 3600000, not '" +
                           std::string(*value) + "'");
            o.interval_ms = ms;
        } else if (a != "-" && a.substr(0, 1) == "-") {
            return bad("unknown option '" + std::string(a) + "'");
        } else if (o.file) {
            return bad("one input file at most ('" + *o.file + "' and '" + std::string(a) + "')");
        } else {
            o.file = std::string(a);
        }
    }
    return -1;
}

}  // namespace

// ---- The reports ------------------------------------------------------------

capture_report_t::capture_report_t(report_options_t options, std::FILE* out, std::FILE* err, std::string program)
    : o_(std::move(options)), out_(out), err_(err), program_(std::move(program)) {}

capture_report_t::~capture_report_t() = default;

void capture_report_t::say(const std::string& text) {
    std::fprintf(err_, "%s: %s\n", program_.c_str(), text.c_str());
}

bool capture_report_t::open_csv() {
    if (!o_.csv_dir) return true;
    std::error_code ec;
    std::filesystem::create_directories(*o_.csv_dir, ec);
    if (ec) {
        say("cannot make the directory " + *o_.csv_dir + ": " + ec.message());
        return false;
    }
    csv_ = std::make_unique<csv_tables_t>(*o_.csv_dir, [this](const std::string& text) { say(text); });
    return true;
}

void capture_report_t::session_started(replay_session_t& session) {
    session_ = &session;
    const bool text = !o_.summary;
    report_ = std::make_unique<line_report_t>(
        session.session->pipeline(), text ? std::function<void(const std::string&)>([this](const std::string& json) {
            std::fwrite(json.data(), 1, json.size(), out_);
            std::fputc('\n', out_);
        })
                                          : nullptr);
    if (csv_) report_->record_observer = [this](const record_t& r) { csv_->record(t_, r); };
    if (o_.state || csv_) report_->on_report = [this] { after_report(); };
    if (o_.state && text)
        report_->append_extra = [this](std::string& s) {
            s += ",\"state\":";
            append_shown_state_json(s, state_);
        };
}

void capture_report_t::at(double t) {
    t_ = t;
    if (!o_.summary) {
        report_->prefix.clear();
        report_->prefix += "\"t\":";
        append_seconds(report_->prefix, t);
        report_->prefix += ',';
    }
}

void capture_report_t::after_report() {
    state_ = shown_state(session_->session->cnc(), session_->session->cfg());
    if (csv_) csv_->shown(t_, state_);
}

void capture_report_t::tx(std::string_view bytes) {
    if (o_.state || csv_) after_report();
    if (o_.summary) return;
    std::string& s = report_->event();
    s += "\"tx\":\"";
    append_json_escaped(s, valid_utf8(bytes) ? std::string(bytes) : utf8_with_replacements(bytes));
    s += "\",\"result\":\"tx\",";
    report_->finish_event();
}

void capture_report_t::action(std::string_view name, const capture_arg_t& arg, const std::string& error) {
    if (o_.state || csv_) after_report();
    if (o_.summary) return;
    std::string& s = report_->event();
    s += "\"action\":\"";
    append_json_escaped(s, name);
    s += '"';
    append_capture_arg(s, arg);
    s += ",\"result\":\"action\",";
    if (!error.empty()) {
        s += "\"error\":\"";
        append_json_escaped(s, error);
        s += "\",";
    }
    report_->finish_event();
}

void capture_report_t::malformed(std::uint64_t line, const std::string& e) {
    say("capture " + e + "; the line is skipped");
    if (!report_) return;
    if (o_.state || csv_) after_report();
    if (o_.summary) return;
    std::string& s = report_->event();
    s += "\"capture_line\":";
    s += std::to_string(line);
    s += ",\"result\":\"malformed\",\"error\":\"";
    const std::size_t colon = e.find(": ");
    append_json_escaped(s, colon == std::string::npos ? e : e.substr(colon + 2));
    s += "\",";
    report_->finish_event();
}

void capture_report_t::message(const std::string& text) { say(text); }

std::string capture_report_t::summary(double seconds, const capture_player_t* player) const {
    if (!player) return report_->summary(seconds);
    return report_->summary(seconds, cformat("\"entries\":%llu,\"tx\":%llu,\"actions\":%llu,\"malformed\":%llu",
                                             static_cast<unsigned long long>(player->entries),
                                             static_cast<unsigned long long>(player->tx),
                                             static_cast<unsigned long long>(player->actions),
                                             static_cast<unsigned long long>(player->malformed)));
}

bool capture_report_t::close_csv() { return !csv_ || csv_->close(); }

namespace {

// decode: a capture through the capture player, raw lines one step apart.
class replayer_t {
public:
    replayer_t(const options_t& o, std::FILE* out, std::FILE* err)
        : o_(o), err_(err), report_({.summary = o.summary, .state = o.state, .csv_dir = o.csv_dir}, out, err,
                                    "plimsy-cli decode") {}

    bool open_csv() { return report_.open_csv(); }

    // The board kind and settings are known once the first line is read:
    // raw output starts a session at once, a capture after its header.
    void start(time_point_t start, const capture_settings_t& settings) {
        start_ = start;
        session_ = std::make_unique<replay_session_t>(start, settings, err_);
        report_.session_started(*session_);
        if (capture_) player_ = std::make_unique<capture_player_t>(*session_, reader_, start, &report_);
    }
    bool started() const { return session_ != nullptr; }

    void raw_line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;
        // Line n at (n - 1) steps: whole milliseconds divided once, so the
        // times print as they would be written ("0.06", not "0.060000000000000005").
        const double t = static_cast<double>(raw_lines_++) * interval_ms() / 1000.0;
        report_.at(t);
        session_->clock.set(start_ + t);
        session_->main.run_pending();
        report_.line_report().feed(line);
    }

    void capture_line(std::string_view line) { player_->feed(line); }

    capture_reader_t& reader() { return reader_; }

    // A header that could not be read is reported like any other line.
    void header_failed() {
        report_.at(0);
        ++player_->malformed;
        report_.malformed(reader_.error_line(), reader_.error());
    }

    void finish() {
        if (player_) player_->finish();
    }

    std::string summary(double seconds) const { return report_.summary(seconds, player_.get()); }
    bool close_csv() { return report_.close_csv(); }

    bool capture_ = false;

private:
    double interval_ms() const { return o_.interval_ms.value_or(20.0); }

    const options_t& o_;
    std::FILE* err_;
    capture_report_t report_;
    std::unique_ptr<replay_session_t> session_;
    capture_reader_t reader_;
    std::unique_ptr<capture_player_t> player_;
    time_point_t start_ = raw_start;
    std::uint64_t raw_lines_ = 0;
};

}  // namespace

int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    options_t o;
    if (const int status = parse_options(argc, argv, o, out, err); status >= 0) return status;

    // Plain or zstd-compressed, told by the first bytes.
    std::unique_ptr<capture_file_reader_t> input;
    if (o.file && *o.file != "-") input = std::make_unique<capture_file_reader_t>(std::filesystem::path(*o.file));
    else input = std::make_unique<capture_file_reader_t>(in);
    if (!input->open_error().empty()) {
        std::fprintf(err, "plimsy-cli decode: %s\n", input->open_error().c_str());
        return 1;
    }
    replayer_t replay(o, out, err);
    if (!replay.open_csv()) return 1;
    // Empty lines before the first one that says what the input is; a
    // capture still counts them, so its messages name the right lines.
    std::uint64_t leading_empty = 0;
    const auto start = std::chrono::steady_clock::now();
    while (const auto next = input->next_line()) {
        const std::string_view line = *next;
        if (!replay.started()) {
            std::string_view content = line;
            if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
            if (content.empty()) {
                ++leading_empty;
                continue;
            }
            if (looks_like_capture_header(content)) {
                replay.capture_ = true;
                for (; leading_empty > 0; --leading_empty) replay.reader().read_line({});
                const bool header = replay.reader().read_line(line) == capture_reader_t::result_t::header;
                const capture_header_t& h = replay.reader().header();
                for (const auto& d : replay.reader().dropped_settings())
                    std::fprintf(err, "plimsy-cli decode: capture header: setting %s; not used\n", d.c_str());
                time_point_t t0 = raw_start;
                if (!header) {
                    std::fprintf(err, "plimsy-cli decode: the header is damaged; replaying without its settings\n");
                } else if (auto parsed = parse_iso8601(h.start)) {
                    t0 = *parsed;
                } else {
                    std::fprintf(err, "plimsy-cli decode: capture header: \"start\" '%s' is not a UTC time "
                                 "(2026-12-07T03:48:07Z); times count from 2000-01-01T00:00:00Z\n", h.start.c_str());
                }
                if (h.version > capture_version)
                    std::fprintf(err, "plimsy-cli decode: capture version %lld is newer than this program's (%lld); "
                                 "what it does not know is ignored\n", static_cast<long long>(h.version),
                                 static_cast<long long>(capture_version));
                if (o.interval_ms)
                    std::fprintf(err, "plimsy-cli decode: --interval is for raw input; a capture has its own times\n");
                replay.start(t0, header ? h.settings : std::vector<std::pair<std::string, setting_value_t>>{});
                if (!header) replay.header_failed();
                continue;
            }
            replay.start(raw_start, {});
        }
        if (replay.capture_) replay.capture_line(line);
        else replay.raw_line(line);
    }
    // A cut or damaged file: what came before the damage is decoded; the
    // status says the file was not read whole.
    const bool read_whole = input->error().empty();
    if (!read_whole) std::fprintf(err, "plimsy-cli decode: %s\n", input->error().c_str());
    if (!replay.started()) replay.start(raw_start, {});  // empty input
    replay.finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (o.summary) std::fprintf(out, "%s\n", replay.summary(seconds).c_str());
    std::fflush(out);
    return replay.close_csv() && read_whole ? 0 : 1;
}

}  // namespace plimsy
