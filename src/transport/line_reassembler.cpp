#include "transport/line_reassembler.hpp"

namespace plimsy {

const std::vector<std::string_view>& line_reassembler_t::split_lines(std::string_view text) {
    lines_.clear();
    dropped_ = 0;

    work_.clear();
    work_.reserve(rem_.size() + text.size());
    work_ += rem_;
    for (char c : text)
        if (c != '\r') work_.push_back(c);
    rem_.clear();

    const bool ends_line = !text.empty() && (text.back() == '\n' || text.back() == '\r');

    std::string_view t(work_);
    std::size_t start = 0;
    while (true) {
        const std::size_t lf = t.find('\n', start);
        const std::string_view piece = t.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (empty_lines || !piece.empty()) lines_.push_back(piece);
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }

    if (!ends_line && !lines_.empty()) {
        // The chunk stopped inside a line: carry its start to the next chunk.
        rem_.assign(lines_.back());
        lines_.pop_back();
        if (rem_.size() > max_incomplete) {
            dropped_ = rem_.size();
            rem_.clear();
        }
    }
    if (!lines_.empty() && lines_.back().empty()) lines_.pop_back();
    return lines_;
}

void line_reassembler_t::reset() {
    rem_.clear();
    lines_.clear();
    dropped_ = 0;
}

void binary_check(std::span<const std::uint8_t> bytes, bool& binary) {
    const bool keep_alive = (bytes.size() == 1 && (bytes[0] == 0x00 || bytes[0] == 0xFF)) ||
                            (bytes.size() == 2 && bytes[0] == 0x00 && bytes[1] == 0xFF);
    if (!keep_alive) binary = true;
}

}  // namespace plimsy
