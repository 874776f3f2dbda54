#include "cli/decode_command.hpp"

#include <chrono>
#include <cstring>
#include <vector>

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
    out_.clear();
    out_ += "{\"line\":\"";
    append_json_escaped(out_, shown_line);
    out_ += "\",\"result\":\"";
}

void line_report_t::end_with_model() {
    out_ += ",\"device_model\":\"";
    out_ += device_model_name(pipeline_.sensors.device_model);
    out_ += "\"}";
    if (sink_) sink_(out_);
}

void line_report_t::feed(std::string_view bytes) {
    if (valid_utf8(bytes))
        pipeline_.receive_line(bytes);
    else
        pipeline_.receive_arr({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

void line_report_t::on_line(const line_result_t& r) {
    begin(r.line);
    switch (r.kind) {
        case line_result_t::kind_t::ok:
            ++ok;
            out_ += "ok\",\"record\":\"";
            out_ += record_name(*r.record);
            out_ += "\",\"fields\":";
            append_record_fields_json(out_, *r.record);
            break;
        case line_result_t::kind_t::error:
            ++error;
            out_ += "error\",\"error\":\"";
            append_json_escaped(out_, r.error);
            out_ += "\"";
            break;
        case line_result_t::kind_t::ignored:
            ++ignored;
            out_ += "ignored\"";
            break;
    }
    end_with_model();
}

void line_report_t::on_frame(std::span<const std::uint8_t> bytes) {
    ++binary;
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
    "usage: plimsy-cli decode [--summary]\n"
    "Reads board output from standard input, one message per line, and writes\n"
    "one JSON object per line: what the application makes of it.\n"
    "  --summary   write only one JSON object at the end: counts and lines per second\n";

// Reads `in` in large blocks and calls fn(line) for every LF-terminated line
// (and the unterminated tail), with a CR before the LF removed and empty
// lines skipped.
template <typename F>
void for_each_input_line(std::FILE* in, F&& fn) {
    std::vector<char> buf(1 << 16);
    std::string carry;
    auto emit = [&](std::string_view l) {
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!l.empty()) fn(l);
    };
    while (true) {
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) break;
        std::string_view chunk(buf.data(), n);
        std::size_t start = 0;
        while (true) {
            const std::size_t lf = chunk.find('\n', start);
            if (lf == std::string_view::npos) {
                carry.append(chunk.substr(start));
                break;
            }
            if (carry.empty()) {
                emit(chunk.substr(start, lf - start));
            } else {
                carry.append(chunk.substr(start, lf - start));
                emit(carry);
                carry.clear();
            }
            start = lf + 1;
        }
    }
    emit(carry);
}

}  // namespace

int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    bool summary = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--summary") {
            summary = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(decode_usage, out);
            return 0;
        } else {
            std::fprintf(err, "plimsy-cli decode: unknown option '%s'\n%s", argv[i], decode_usage);
            return 2;
        }
    }

    // A private store: decoding a capture must not touch the user's saved
    // magnetometer calibration.
    memory_settings_store_t store;
    stdout_console_t console(err);
    receive_pipeline_t pipeline(system_clock_t::instance(), store, console);
    line_report_t report(pipeline, [&](const std::string& json) {
        if (summary) return;
        std::fwrite(json.data(), 1, json.size(), out);
        std::fputc('\n', out);
    });

    const auto start = std::chrono::steady_clock::now();
    for_each_input_line(in, [&](std::string_view l) { report.feed(l); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (summary) std::fprintf(out, "%s\n", report.summary(seconds).c_str());
    std::fflush(out);
    return 0;
}

}  // namespace plimsy
