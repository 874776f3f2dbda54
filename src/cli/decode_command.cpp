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

template <typename>
inline constexpr bool is_optional = false;
template <typename T>
inline constexpr bool is_optional<std::optional<T>> = true;

template <typename V>
void append_cell(std::string& out, const V& v) {
    if constexpr (is_optional<V>) {
        if (v) append_cell(out, *v);  // absent: an empty cell, which pandas reads as missing
    } else if constexpr (std::is_same_v<V, std::string>) {
        append_csv_field(out, v);
    } else if constexpr (std::is_same_v<V, float>) {
        append_shortest(out, v);
    } else {
        out += std::to_string(+v);
    }
}

// The --csv tables: one file per record type and one per shown object,
// each with a header row and a time column first.
class csv_tables_t {
public:
    csv_tables_t(std::string dir, std::FILE* err) : dir_(std::move(dir)), err_(err) {}
    ~csv_tables_t() { close(); }

    bool ok() const { return ok_; }

    void record(double t, const record_t& r) {
        table_t* table = nullptr;
        const std::size_t index = r.index();
        if (index >= records_.size()) records_.resize(index + 1);
        if (!records_[index]) {
            std::vector<std::string> columns{"t"};
            std::visit([&](const auto& rec) { for_each_field(rec, [&](auto, std::string_view name, const auto&) {
                                                  columns.emplace_back(name);
                                                  return true;
                                              }); },
                       r);
            records_[index] = open(std::string(record_name(r)), std::move(columns));
        }
        table = records_[index].get();
        if (!table || !table->file) return;
        row_.clear();
        append_seconds(row_, t);
        std::visit([&](const auto& rec) { for_each_field(rec, [&](auto, auto, const auto& member) {
                                              row_ += ',';
                                              append_cell(row_, member);
                                              return true;
                                          }); },
                   r);
        write(*table);
    }

    void shown(double t, const std::vector<shown_object_t>& objects) {
        for (const auto& object : objects) {
            auto it = shown_.find(object.name);
            if (it == shown_.end()) {
                std::vector<std::string> columns{"t"};
                for (const auto& v : object.values) columns.push_back(v.name);
                it = shown_.emplace(object.name, open(object.name, std::move(columns))).first;
            }
            table_t* table = it->second.get();
            if (!table || !table->file) continue;
            row_.clear();
            append_seconds(row_, t);
            // The columns are the ones the object had when first seen; a
            // value that is not among them has no column to go to.
            const auto& columns = table->columns;
            const bool same = columns.size() == object.values.size() + 1 &&
                              std::equal(object.values.begin(), object.values.end(), columns.begin() + 1,
                                         [](const shown_value_t& v, const std::string& c) { return v.name == c; });
            for (std::size_t c = 1; c < columns.size(); ++c) {
                row_ += ',';
                if (same) {
                    append_shown_value_csv(row_, object.values[c - 1]);
                    continue;
                }
                for (const auto& v : object.values)
                    if (v.name == columns[c]) {
                        append_shown_value_csv(row_, v);
                        break;
                    }
            }
            if (!same && !table->warned) {
                table->warned = true;
                std::fprintf(err_, "plimsy-cli decode: %s.csv: the values of \"%s\" changed after its header was "
                             "written; values without a column are left out\n", object.name.c_str(),
                             object.name.c_str());
            }
            write(*table);
        }
    }

    // Closes every file; false if one could not be written whole.
    bool close() {
        auto close_one = [&](table_t* t) {
            if (!t || !t->file) return;
            if (std::fclose(t->file) != 0) fail(t->path);
            t->file = nullptr;
        };
        for (auto& t : records_) close_one(t.get());
        for (auto& [name, t] : shown_) close_one(t.get());
        return ok_;
    }

private:
    struct table_t {
        std::string path;
        std::FILE* file = nullptr;
        std::vector<std::string> columns;
        bool warned = false;
    };

    std::unique_ptr<table_t> open(const std::string& name, std::vector<std::string> columns) {
        auto t = std::make_unique<table_t>();
        t->path = dir_ + "/" + name + ".csv";
        t->columns = std::move(columns);
        if (!ok_) return t;
        t->file = std::fopen(t->path.c_str(), "wb");
        if (!t->file) {
            fail(t->path);
            return t;
        }
        row_.clear();
        for (std::size_t i = 0; i < t->columns.size(); ++i) {
            if (i) row_ += ',';
            append_csv_field(row_, t->columns[i]);
        }
        write(*t);
        return t;
    }

    void write(table_t& t) {
        row_ += "\r\n";  // RFC 4180's line end; pandas and spreadsheets read it
        if (std::fwrite(row_.data(), 1, row_.size(), t.file) != row_.size()) {
            fail(t.path);
            std::fclose(t.file);
            t.file = nullptr;
        }
    }

    void fail(const std::string& path) {
        if (ok_)
            std::fprintf(err_, "plimsy-cli decode: cannot write %s: %s; the CSV tables are incomplete\n",
                         path.c_str(), std::strerror(errno));
        ok_ = false;
    }

    std::string dir_;
    std::FILE* err_;
    bool ok_ = true;
    std::string row_;
    std::vector<std::unique_ptr<table_t>> records_;  // by the record's index in record_t
    std::map<std::string, std::unique_ptr<table_t>> shown_;
};

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

// ---- The replay ------------------------------------------------------------

replay_session_t::replay_session_t(time_point_t start, const std::vector<std::pair<std::string, setting_value_t>>& settings,
                                   std::FILE* err)
    : clock(start), main(clock), console(err) {
    for (const auto& [key, value] : settings) store.write(key, value);
    // Nothing is connected and no transport is made: the capture is the board.
    session = std::make_unique<session_t>(session_services_t{.clock = clock, .main = main, .console = &console},
                                          session_options_t{.store = &store, .start_connection = false});
}

namespace {

class replayer_t {
public:
    replayer_t(const options_t& o, std::FILE* out, std::FILE* err) : o_(o), out_(out), err_(err) {
        if (o_.csv_dir) csv_ = std::make_unique<csv_tables_t>(*o_.csv_dir, err);
    }

    // The board kind and settings are known once the first line is read:
    // raw output starts a session at once, a capture after its header.
    void start(time_point_t start, const std::vector<std::pair<std::string, setting_value_t>>& settings) {
        start_ = start;
        session_ = std::make_unique<replay_session_t>(start, settings, err_);
        const bool text = !o_.summary;
        report_ = std::make_unique<line_report_t>(
            session_->session->pipeline(), text ? std::function<void(const std::string&)>([this](const std::string& json) {
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
    bool started() const { return session_ != nullptr; }

    // Moves the manual clock; time never goes back.
    void at(double t) {
        t_ = t;
        if (!o_.summary) {
            report_->prefix.clear();
            report_->prefix += "\"t\":";
            append_seconds(report_->prefix, t);
            report_->prefix += ',';
        }
        session_->clock.set(start_ + t);
        session_->main.run_pending();
    }

    void raw_line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;
        // Line n at (n - 1) steps: whole milliseconds divided once, so the
        // times print as they would be written ("0.06", not "0.060000000000000005").
        at(static_cast<double>(raw_lines_++) * interval_ms() / 1000.0);
        report_->feed(line);
    }

    void capture_line(std::string_view line) {
        switch (reader_.read_line(line)) {
            case capture_reader_t::result_t::skipped:
            case capture_reader_t::result_t::header: return;
            case capture_reader_t::result_t::error: malformed(); return;
            case capture_reader_t::result_t::entry: break;
        }
        const capture_entry_t& e = reader_.entry();
        ++entries_;
        double t = e.t;
        if (t < t_) {
            std::fprintf(err_, "plimsy-cli decode: capture line %llu: \"t\" %s goes back before %s; replayed at %s\n",
                         static_cast<unsigned long long>(reader_.line_number()), seconds_text(t).c_str(),
                         seconds_text(t_).c_str(), seconds_text(t_).c_str());
            t = t_;
        }
        at(t);
        switch (e.kind) {
            case capture_entry_t::kind_t::rx: rx(e.data); break;
            case capture_entry_t::kind_t::tx: tx(e.data); break;
            case capture_entry_t::kind_t::action: action(e.data, e.arg); break;
            case capture_entry_t::kind_t::other: ++other_; break;  // a kind of entry from a later version
        }
    }

    capture_reader_t& reader() { return reader_; }

    // A header that could not be read is reported like any other line.
    void header_failed() {
        at(0);
        malformed();
    }

    void finish() {
        if (capture_ && !reassembler_.rem().empty())
            std::fprintf(err_, "plimsy-cli decode: the capture ends inside a line; its last %zu bytes never "
                         "made a line, as on a link that went quiet\n", reassembler_.rem().size());
    }

    std::string summary(double seconds) const {
        if (!capture_) return report_->summary(seconds);
        return report_->summary(seconds, cformat("\"entries\":%llu,\"tx\":%llu,\"actions\":%llu,\"malformed\":%llu",
                                                 static_cast<unsigned long long>(entries_),
                                                 static_cast<unsigned long long>(tx_),
                                                 static_cast<unsigned long long>(actions_),
                                                 static_cast<unsigned long long>(malformed_)));
    }

    bool close_csv() { return !csv_ || csv_->close(); }
    bool csv_ok() const { return !csv_ || csv_->ok(); }

    bool capture_ = false;

private:
    double interval_ms() const { return o_.interval_ms.value_or(20.0); }

    static std::string seconds_text(double t) {
        std::string s;
        append_seconds(s, t);
        return s;
    }

    void after_report() {
        state_ = shown_state(session_->session->cnc(), session_->session->cfg());
        if (csv_) csv_->shown(t_, state_);
    }

    // Lines and frames out of a chunk of board bytes, by the rule every
    // transport uses.
    void rx(std::string_view bytes) {
        const auto& got = reassembler_.feed(bytes);
        if (got.dropped > 0) session_->console.line(dropped_line_notice("capture", got.dropped));
        receive_pipeline_t& pipeline = session_->session->pipeline();
        for (const std::string_view line : got.lines) pipeline.receive_line(line);
        if (got.is_frame) pipeline.receive_arr(got.frame);
    }

    void tx(std::string_view bytes) {
        ++tx_;
        if (o_.state || csv_) after_report();
        if (o_.summary) return;
        std::string& s = report_->event();
        s += "\"tx\":\"";
        append_json_escaped(s, valid_utf8(bytes) ? std::string(bytes) : utf8_with_replacements(bytes));
        s += "\",\"result\":\"tx\",";
        report_->finish_event();
    }

    void action(std::string_view name, const capture_arg_t& arg) {
        ++actions_;
        std::string error;
        apply_local_action(session_->session->sensors(), name, arg, error);
        if (!error.empty())
            std::fprintf(err_, "plimsy-cli decode: capture line %llu: action \"%s\" not applied: %s\n",
                         static_cast<unsigned long long>(reader_.line_number()), std::string(name).c_str(),
                         error.c_str());
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

    void malformed() {
        ++malformed_;
        std::fprintf(err_, "plimsy-cli decode: capture %s; the line is skipped\n", reader_.error().c_str());
        if (!started()) return;
        if (o_.state || csv_) after_report();
        if (o_.summary) return;
        std::string& s = report_->event();
        s += "\"capture_line\":";
        s += std::to_string(reader_.error_line());
        s += ",\"result\":\"malformed\",\"error\":\"";
        const std::string& e = reader_.error();
        const std::size_t colon = e.find(": ");
        append_json_escaped(s, colon == std::string::npos ? e : e.substr(colon + 2));
        s += "\",";
        report_->finish_event();
    }

    const options_t& o_;
    std::FILE* out_;
    std::FILE* err_;
    std::unique_ptr<csv_tables_t> csv_;
    std::unique_ptr<replay_session_t> session_;
    std::unique_ptr<line_report_t> report_;
    capture_reader_t reader_;
    line_reassembler_t reassembler_;
    std::vector<shown_object_t> state_;
    time_point_t start_ = raw_start;
    double t_ = 0;
    std::uint64_t raw_lines_ = 0, entries_ = 0, tx_ = 0, actions_ = 0, malformed_ = 0, other_ = 0;
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
    if (o.csv_dir) {
        std::error_code ec;
        std::filesystem::create_directories(*o.csv_dir, ec);
        if (ec) {
            std::fprintf(err, "plimsy-cli decode: cannot make the directory %s: %s\n", o.csv_dir->c_str(),
                         ec.message().c_str());
            return 1;
        }
    }

    replayer_t replay(o, out, err);
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
