#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace plimsy {

// What a transport hands over: one complete text line without its line end.
class receive_line_t {
public:
    virtual ~receive_line_t() = default;
    virtual void receive_line(std::string_view line) = 0;
};

// One binary frame; true when it is the first since the last text line.
class receive_arr_t {
public:
    virtual ~receive_arr_t() = default;
    virtual bool receive_arr(std::span<const std::uint8_t> bytes) = 0;
};

// How a transport reads what arrives, named where it is made:
// tcp_client_t(delegate, main, console, {.force_text = false}).
struct transport_options_t {
    // Start out treating the stream as binary frames.
    bool binary = false;
    // Try every chunk as text, even while the stream is binary, so that a
    // board that sent a frame and goes back to lines is read as lines again.
    bool force_text = true;
};

}  // namespace plimsy
