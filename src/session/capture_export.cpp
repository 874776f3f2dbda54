#include "session/capture_export.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <type_traits>

#include "capture/shown_text.hpp"
#include "common/text.hpp"
#include "model/record_text.hpp"
#include "shown/screen.hpp"

namespace plimsy {

namespace {

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

}  // namespace

class csv_tables_t::impl_t {
public:
    impl_t(std::string dir, std::function<void(const std::string&)> message)
        : dir_(std::move(dir)), message_(std::move(message)) {}
    ~impl_t() { close(); }

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
                say(object.name + ".csv: the values of \"" + object.name +
                    "\" changed after its header was written; values without a column are left out");
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
        if (ok_) say("cannot write " + path + ": " + std::strerror(errno) + "; the CSV tables are incomplete");
        ok_ = false;
    }

    void say(const std::string& text) {
        if (message_) message_(text);
    }

    std::string dir_;
    std::function<void(const std::string&)> message_;
    bool ok_ = true;
    std::string row_;
    std::vector<std::unique_ptr<table_t>> records_;  // by the record's index in record_t
    std::map<std::string, std::unique_ptr<table_t>> shown_;
};

csv_tables_t::csv_tables_t(std::string dir, std::function<void(const std::string&)> message)
    : impl_(std::make_unique<impl_t>(std::move(dir), std::move(message))) {}
csv_tables_t::~csv_tables_t() = default;
bool csv_tables_t::ok() const { return impl_->ok(); }
void csv_tables_t::record(double t, const record_t& r) { impl_->record(t, r); }
void csv_tables_t::shown(double t, const std::vector<shown_object_t>& objects) { impl_->shown(t, objects); }
bool csv_tables_t::close() { return impl_->close(); }

// ---- A whole capture -------------------------------------------------------------

namespace {

// A row of every shown object after each line, frame, command, action and
// malformed line; a record row for each line that decoded.
class export_listener_t final : public replay_listener_t {
public:
    export_listener_t(csv_tables_t& tables, std::function<void(const std::string&)> on_message)
        : tables_(tables), on_message_(std::move(on_message)) {}

    void session_started(replay_session_t& r) override {
        r_ = &r;
        receive_pipeline_t& p = r.session->pipeline();
        p.line_observer = [this](const line_result_t& l) {
            if (l.kind == line_result_t::kind_t::ok) tables_.record(t_, *l.record);
            ++lines;
            rows();
        };
        p.frame_observer = [this](std::span<const std::uint8_t>) {
            ++lines;
            rows();
        };
    }

    void at(double t) override { t_ = t; }
    void tx(std::string_view) override { rows(); }
    void action(std::string_view, const capture_arg_t&, const std::string&) override { rows(); }
    void malformed(std::uint64_t, const std::string& error) override {
        if (on_message_) on_message_("capture " + error + "; the line is skipped");
        rows();
    }
    void message(const std::string& text) override {
        if (on_message_) on_message_(text);
    }

    std::uint64_t lines = 0;

private:
    void rows() {
        session_t& s = *r_->session;
        state_ = shown_state(s.cnc(), s.cfg());
        tables_.shown(t_, state_);
    }

    csv_tables_t& tables_;
    std::function<void(const std::string&)> on_message_;
    replay_session_t* r_ = nullptr;
    double t_ = 0;
    std::vector<shown_object_t> state_;
};

}  // namespace

bool export_capture_csv(const capture_opener_t& opener, const std::filesystem::path& dir, std::string& error,
                        const replay_progress_t& progress, std::function<void(const std::string&)> on_message,
                        csv_export_t* result) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot make the directory " + dir.string() + ": " + ec.message();
        return false;
    }
    std::string table_error;
    csv_tables_t tables(dir.string(), [&](const std::string& text) {
        if (table_error.empty()) table_error = text;
        if (on_message) on_message(text);
    });
    export_listener_t listener(tables, on_message);
    replay_options_t options;
    options.scan_duration = false;
    options.listener = &listener;
    auto r = replay_t::open(opener, error, std::move(options));
    if (!r) return false;
    r->set_speed(replay_t::max_speed);
    r->play();
    bool cancelled = false;
    while (!r->at_end()) {
        r->advance(0, 0.05);
        if (progress && r->file_size() > 0 &&
            !progress(std::min(1.0, static_cast<double>(r->bytes_read()) / static_cast<double>(r->file_size())))) {
            cancelled = true;
            break;
        }
    }
    r->session().pipeline().line_observer = nullptr;
    r->session().pipeline().frame_observer = nullptr;
    if (result) *result = {listener.lines, r->player().entries, r->position()};
    const bool closed = tables.close();
    if (cancelled) {
        error = "cancelled; the tables end at " + std::to_string(r->position()) + " s of the capture";
        return false;
    }
    if (!closed) {
        error = table_error.empty() ? "the CSV tables could not be written whole" : table_error;
        return false;
    }
    if (progress) progress(1.0);
    return true;
}

bool export_capture_csv(const std::filesystem::path& capture, const std::filesystem::path& dir, std::string& error,
                        const replay_progress_t& progress, std::function<void(const std::string&)> on_message,
                        csv_export_t* result) {
    return export_capture_csv(capture_file_opener(capture), dir, error, progress, std::move(on_message), result);
}

}  // namespace plimsy
