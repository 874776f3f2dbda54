#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plimsy {

// The one rule by which every transport (TCP reads, BLE notifications, a
// serial port's reads) turns the chunks it receives into text lines and
// binary frames. Give it each chunk as it came with feed(); it answers with
// the complete lines, or a frame, or a notice that an over-long line was
// dropped.
//
// - A chunk that is exactly one 0x00 byte is a bridge's keep-alive: it is
//   discarded and never becomes part of a line.
// - A multi-byte UTF-8 character cut by the end of a chunk is carried over
//   to the next chunk; only bytes that are invalid wherever the chunk ends
//   make the chunk binary. A binary chunk is delivered as a frame and
//   switches to binary mode, except the keep-alives FF and 00 FF.
// - Only LF separates lines inside a chunk; a CR ends a line only as the
//   last byte of a chunk, because some bridges send CR LF split across two
//   writes. Other CRs are removed.
// - A line longer than max_incomplete bytes is never delivered. One still
//   incomplete at that size is dropped at once, and so is the rest of it up
//   to its line end: the tail of junk must not come back as a line of its
//   own.
// - In binary mode with force_text, every chunk is still tried as text; a
//   text chunk clears binary mode once it completes a line, and until then
//   it is also delivered as a frame, so nothing of a binary stream goes
//   unseen.
class line_reassembler_t {
public:
    // A peer that never ends a line must not exhaust memory.
    static constexpr std::size_t max_incomplete = 64 * 1024;

    // What one chunk gave; valid until the next feed(), split_lines() or
    // reset(). Lines and a frame never come from the same chunk.
    struct result_t {
        std::span<const std::string_view> lines;  // complete lines, in order, without line ends
        bool is_frame = false;                    // deliver `frame` as one binary frame
        std::span<const std::uint8_t> frame;
        std::size_t dropped = 0;  // an over-long line was dropped here: its size so far
        bool keep_alive = false;  // the chunk was a lone 0x00 and was discarded
    };

    explicit line_reassembler_t(bool binary = false, bool force_text = true, std::size_t max_line = max_incomplete);

    bool empty_lines = false;  // deliver empty lines instead of dropping them

    const result_t& feed(std::span<const std::uint8_t> chunk);
    const result_t& feed(std::string_view chunk) {
        return feed(std::span(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size()));
    }

    // The text step alone, for input already known to be text (a command
    // file): splits one chunk into lines with the CR and over-long rules.
    // The returned views stay valid until the next call or reset().
    const std::vector<std::string_view>& split_lines(std::string_view text);

    // True when the last split_lines dropped an over-long line (the
    // incomplete one, or a complete one a large chunk finished); the bytes
    // dropped are in dropped_size().
    bool dropped() const { return dropped_ > 0; }
    std::size_t dropped_size() const { return dropped_; }

    // The incomplete line carried to the next chunk.
    const std::string& rem() const { return rem_; }
    // Bytes of a character cut by the end of the last chunk, waiting for the rest.
    std::size_t pending_char_bytes() const { return tail_len_; }
    bool binary() const { return binary_; }
    bool force_text() const { return force_text_; }
    std::size_t max_line() const { return max_line_; }

    // A new connection: forgets the incomplete line, a cut character and a
    // line being dropped, and leaves binary mode.
    void reset();

private:
    std::size_t max_line_;
    bool binary_;
    bool force_text_;
    bool dropping_ = false;  // inside an over-long line, discarding up to its end
    std::string rem_;
    std::string work_;
    std::string joined_;
    std::vector<std::string_view> lines_;
    std::size_t dropped_ = 0;
    char tail_[4] = {};
    std::size_t tail_len_ = 0;
    bool tail_framed_ = false;  // the cut character's chunk went out as a frame
    result_t result_;
};

// A chunk that is not valid UTF-8 switches the transport to binary mode,
// except the keep-alive chunks 00, FF and 00 FF that some bridges send. The
// chunk is delivered as a binary frame either way.
void binary_check(std::span<const std::uint8_t> bytes, bool& binary);

// The console line a transport writes when an over-long line was dropped.
std::string dropped_line_notice(std::string_view transport, std::size_t bytes);

}  // namespace plimsy
