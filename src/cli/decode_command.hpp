#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "transport/receive_pipeline.hpp"

namespace plimsy {

// Runs lines through the same receive pipeline and sensors model as the
// application and describes each as one JSON object. Shared by
// "plimsy-cli decode" and "plimsy-cli connect --decode".
class line_report_t {
public:
    // `sink` receives the JSON description of every line and frame that
    // reaches the pipeline (no trailing line feed); it may be empty.
    line_report_t(receive_pipeline_t& pipeline, std::function<void(const std::string&)> sink);
    ~line_report_t();

    // Hands one input line (without its line end) to the pipeline. A line
    // that is not valid UTF-8 goes as a binary frame, as a transport would
    // deliver it.
    void feed(std::string_view bytes);

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

// The whole "decode" command: reads `in` to its end, writes to `out`,
// diagnostics to `err`. Returns the exit status.
int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace plimsy
