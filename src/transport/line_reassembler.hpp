#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plimsy {

// Turns the chunks a transport receives (TCP reads, BLE notifications) into
// complete text lines. Only LF separates lines inside a chunk; a CR ends a
// line only as the last byte of a chunk, because some bridges send CR LF
// split across two writes. Both transports share this so they cut lines alike.
class line_reassembler_t {
public:
    // A peer that never ends a line must not exhaust memory: an incomplete
    // line longer than this is dropped.
    static constexpr std::size_t max_incomplete = 64 * 1024;

    bool empty_lines = false;  // deliver empty lines instead of dropping them

    // Splits one chunk of valid UTF-8 text. The returned views stay valid
    // until the next call or reset().
    const std::vector<std::string_view>& split_lines(std::string_view text);

    // True when the last split_lines dropped an over-long incomplete line;
    // its size is in dropped_size().
    bool dropped() const { return dropped_ > 0; }
    std::size_t dropped_size() const { return dropped_; }

    // The incomplete line carried to the next chunk.
    const std::string& rem() const { return rem_; }
    void reset();

private:
    std::string rem_;
    std::string work_;
    std::vector<std::string_view> lines_;
    std::size_t dropped_ = 0;
};

// A chunk that is not valid UTF-8 switches the transport to binary mode,
// except the keep-alive chunks 00, FF and 00 FF that some bridges send. The
// chunk is delivered as a binary frame either way.
void binary_check(std::span<const std::uint8_t> bytes, bool& binary);

}  // namespace plimsy
