#include "platform/console.hpp"

#include <cstdio>

namespace plimsy {

void stdout_console_t::line(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

stdout_console_t& stdout_console_t::instance() {
    static stdout_console_t console;
    return console;
}

void captured_console_t::line(std::string_view text) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text);
}

std::vector<std::string> captured_console_t::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void captured_console_t::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace plimsy
