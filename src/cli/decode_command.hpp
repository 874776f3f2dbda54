#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "transport/receive_pipeline.hpp"

namespace plimsy {

// Runs lines through the same receive pipeline and sensors model as the
// application and describes each as one JSON object. Shared by
// "plimsy-cli decode" and "plimsy-cli connect --decode".
class line_report_t {
public:
    explicit line_report_t(receive_pipeline_t& pipeline);
    ~line_report_t();

    // Handles one line (without its line end) and returns its JSON
    // description (no trailing line feed). A line that is not valid UTF-8
    // goes to the pipeline as a binary frame, as a transport would send it.
    const std::string& line(std::string_view bytes);

    // A frame that a transport delivered as binary.
    const std::string& frame(std::string_view bytes);

    std::uint64_t ok = 0, error = 0, ignored = 0, binary = 0;
    std::uint64_t lines() const { return ok + error + ignored + binary; }

    // {"lines":N,"ok":N,"error":N,"ignored":N,"binary":N,...extra,"seconds":S,"lines_per_second":R}
    std::string summary(double seconds, std::string_view extra_fields = {}) const;

private:
    void begin(std::string_view shown_line);
    void end_with_model();

    receive_pipeline_t& pipeline_;
    line_result_t last_;
    std::string out_;
};

// The whole "decode" command: reads `in` to its end, writes to `out`,
// diagnostics to `err`. Returns the exit status.
int decode_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace plimsy
