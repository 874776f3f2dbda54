#include "transport/line_reassembler.hpp"

#include <algorithm>
#include <cstring>

#include "common/text.hpp"

namespace plimsy {

namespace {

// Length of the well-formed start of a multi-byte character at the very end
// of text (1 to 3 bytes, one or more still missing), or 0 if the end is not
// such a start.
std::size_t incomplete_char_at_end(std::string_view text) {
    const std::size_t n = text.size();
    for (std::size_t k = 1; k <= 3 && k <= n; ++k) {
        const auto b = static_cast<unsigned char>(text[n - k]);
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: the lead is further back
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return 0;
        }
        if (k >= len) return 0;  // complete, so not what made the text invalid
        if (k >= 2) {
            const auto second = static_cast<unsigned char>(text[n - k + 1]);
            if (second < lo || second > hi) return 0;
        }
        return k;
    }
    return 0;
}

}  // namespace

line_reassembler_t::line_reassembler_t(bool binary, bool force_text, std::size_t max_line)
    : max_line_(max_line), binary_(binary), force_text_(force_text) {}

const line_reassembler_t::result_t& line_reassembler_t::feed(std::span<const std::uint8_t> chunk) {
    result_ = result_t{};
    lines_.clear();
    dropped_ = 0;

    if (chunk.size() == 1 && chunk[0] == 0x00) {
        result_.keep_alive = true;
        return result_;
    }
    if (binary_ && !force_text_) {
        result_.is_frame = true;
        result_.frame = chunk;
        return result_;
    }

    std::string_view text(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    if (tail_len_ > 0) {
        joined_.assign(tail_, tail_len_);
        joined_.append(text);
        text = joined_;
        tail_len_ = 0;
    }

    std::size_t cut = 0;
    bool valid = valid_utf8(text);
    if (!valid) {
        cut = incomplete_char_at_end(text);
        valid = cut > 0 && valid_utf8(text.substr(0, text.size() - cut));
    }
    if (!valid) {
        binary_check(chunk, binary_);
        result_.is_frame = true;
        // A character start carried from the previous chunk goes with it,
        // unless that chunk was already delivered as a frame.
        result_.frame = tail_framed_ ? chunk : std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        tail_framed_ = false;
        return result_;
    }
    tail_framed_ = false;
    if (cut > 0) {
        std::memcpy(tail_, text.data() + text.size() - cut, cut);
        tail_len_ = cut;
        text.remove_suffix(cut);
    }

    split_lines(text);
    result_.dropped = dropped_;
    result_.lines = lines_;
    if (!lines_.empty()) binary_ = false;
    if (binary_) {
        result_.is_frame = true;
        result_.frame = chunk;
        tail_framed_ = tail_len_ > 0;
    }
    return result_;
}

const std::vector<std::string_view>& line_reassembler_t::split_lines(std::string_view text) {
    lines_.clear();
    dropped_ = 0;

    if (dropping_) {
        // Everything up to the next line end belongs to the dropped line.
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            if (!text.empty() && text.back() == '\r') dropping_ = false;
            return lines_;
        }
        dropping_ = false;
        text.remove_prefix(lf + 1);
        if (text.empty()) return lines_;
    }

    work_.clear();
    work_.reserve(rem_.size() + text.size());
    work_ += rem_;
    // Runs between CRs are copied whole: this runs for every chunk of every link.
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t cr = std::min(text.find('\r', from), text.size());
        work_.append(text.data() + from, cr - from);
        from = cr + 1;
    }
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
        if (rem_.size() > max_line_) {
            dropped_ = rem_.size();
            rem_.clear();
            dropping_ = true;
        }
    }
    if (!lines_.empty() && lines_.back().empty()) lines_.pop_back();
    // A line completed by a large chunk is held to the same limit, so what
    // is delivered does not depend on how the peer cut its writes.
    std::erase_if(lines_, [this](std::string_view line) {
        if (line.size() <= max_line_) return false;
        dropped_ += line.size();
        return true;
    });
    return lines_;
}

void line_reassembler_t::reset() {
    rem_.clear();
    lines_.clear();
    dropped_ = 0;
    dropping_ = false;
    tail_len_ = 0;
    tail_framed_ = false;
    binary_ = false;
    result_ = result_t{};
}

void binary_check(std::span<const std::uint8_t> bytes, bool& binary) {
    const bool keep_alive = (bytes.size() == 1 && (bytes[0] == 0x00 || bytes[0] == 0xFF)) ||
                            (bytes.size() == 2 && bytes[0] == 0x00 && bytes[1] == 0xFF);
    if (!keep_alive) binary = true;
}

std::string dropped_line_notice(std::string_view transport, std::size_t bytes) {
    return std::string(transport) + ": dropped an incomplete line of " + std::to_string(bytes) +
           " bytes (no line end within " + std::to_string(line_reassembler_t::max_incomplete) +
           " bytes); the rest of it, up to its line end, is dropped too";
}

}  // namespace plimsy
