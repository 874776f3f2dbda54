#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/console.hpp"
#include "platform/settings_store.hpp"

namespace plimsy {

using settings_map_t = std::map<std::string, setting_value_t>;

// What is read from a settings file at most. The application's settings
// take a few kilobytes; anything near these sizes was not written by it.
struct settings_limits_t {
    static constexpr std::size_t file_bytes = 1024 * 1024;
    static constexpr std::size_t text_bytes = 4096;  // one text, alone or in an array
    static constexpr std::size_t array_entries = 100;
};

// The settings read from a file's text. A damaged text still yields every
// setting whose value is intact: the reader skips what it cannot read and
// picks up at the next line that starts a setting.
struct settings_parse_t {
    settings_map_t values;
    // The text was one well-formed JSON object; false means damage, and
    // `values` holds what could be recovered.
    bool intact = true;
    // One line for each value left out or cut although it was readable
    // (a type the settings do not keep, a text or array beyond the limits).
    std::vector<std::string> dropped;
};

settings_parse_t parse_settings_json(std::string_view text);

// One setting per line, keys in order, so that damage to one line costs
// one setting when the file is read again.
std::string settings_json(const settings_map_t& values);

// The per-user settings in a JSON file. Reads are served from memory.
// A write changes the values in memory at once and hands a copy of all of
// them to a writer thread, which replaces the file (a temporary file,
// flushed to the disk, renamed over the old one), so the caller never waits
// for the disk and a crash at any moment leaves the old file or the new one
// whole. Copies that arrive while the writer is busy replace each other:
// only the newest is written. Destruction writes what is still pending.
//
// Reading at construction is the one disk access on the caller's thread.
// A file that cannot be read whole (damaged, too large, unreadable) is
// renamed to "<name>.corrupt-<UTC time>" beside the new one, what can be
// read from it is kept, and notice() says so; the console gets the same
// text and a line for every value that was dropped.
//
// The store itself is used from one thread (the main thread).
class file_settings_store_t : public settings_store_t {
public:
    file_settings_store_t(std::filesystem::path file, console_t& console);
    ~file_settings_store_t() override;
    file_settings_store_t(const file_settings_store_t&) = delete;
    file_settings_store_t& operator=(const file_settings_store_t&) = delete;

    std::optional<setting_value_t> read(const std::string& key) const override;
    void write(const std::string& key, const setting_value_t& value) override;
    void remove(const std::string& key) override;
    void apply(const std::vector<setting_change_t>& changes) override;
    std::string notice() const override { return notice_; }

    // Waits until every change made so far is in the file. For the end of
    // a run and for tests; never during normal operation.
    void flush();

    const std::filesystem::path& file() const { return file_; }
    const settings_map_t& values() const { return values_; }
    // Copies handed to the writer so far (one per write, remove or apply).
    std::uint64_t changes_posted() const { return posted_; }

private:
    void load();
    void set_aside(const std::string& why, std::size_t recovered);
    void post();
    void writer_loop();
    void save(const settings_map_t& values);

    const std::filesystem::path file_;
    console_t& console_;
    settings_map_t values_;
    std::string notice_;
    // Set when a damaged file could not be moved aside: writing would
    // destroy it, so this run keeps its changes in memory.
    bool read_only_ = false;
    std::uint64_t posted_ = 0;

    // The hand-over to the writer: the main thread swaps in its newest copy
    // (dropping one the writer has not taken) and bumps the generation to
    // wake it; neither side ever holds a lock the other waits for.
    std::atomic<settings_map_t*> pending_{nullptr};
    std::atomic<std::uint32_t> generation_{0};
    std::atomic<bool> stop_{false};
    std::thread writer_;
    // Writer thread only: the last failure reported, so a disk that stays
    // full is reported once, not at every change.
    std::string last_error_;
};

}  // namespace plimsy
