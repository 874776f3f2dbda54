#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace plimsy {

// Diagnostics: one text per call, written as a line to standard output by
// the real implementation. Texts may contain line feeds of their own.
class console_t {
public:
    virtual ~console_t() = default;
    virtual void line(std::string_view text) = 0;
};

// Writes each text and a line feed to a stdio stream (stdout by default).
class stdout_console_t final : public console_t {
public:
    explicit stdout_console_t(std::FILE* stream = stdout) : stream_(stream) {}
    void line(std::string_view text) override;
    static stdout_console_t& instance();

private:
    std::FILE* stream_;
    std::mutex mutex_;
};

// Keeps the texts in memory; tests read them back.
class captured_console_t final : public console_t {
public:
    void line(std::string_view text) override;
    std::vector<std::string> lines() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Drops every text; for benchmarks and tools that must keep stdout clean.
class null_console_t final : public console_t {
public:
    void line(std::string_view) override {}
};

}  // namespace plimsy
