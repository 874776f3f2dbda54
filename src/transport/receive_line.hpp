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

}  // namespace plimsy
