#pragma once

// Capture files on disk: written compressed (zstd) by a thread of their
// own, read back plain or compressed, whole or cut short.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "capture/capture.hpp"
#include "platform/main_queue.hpp"

namespace plimsy {

// ---- Writing -------------------------------------------------------------

// Writes one capture file. The caller (the main thread) hands it whole
// lines; it never waits for the disk or for a lock the writing thread holds:
// lines collect in a buffer of the caller's and move to the writing thread
// when that thread is not busy. The writing thread compresses them (zstd)
// and ends a compressed block at least once a second, so a killed process
// loses at most the last second and a cut file reads to its last block.
class capture_file_writer_t {
public:
    struct options_t {
        int level = 3;               // zstd's compression level
        double flush_seconds = 1.0;  // the longest a line waits for the disk
        bool compress = true;        // false: plain JSON Lines
    };
    // `on_error` runs on `main` once, when writing fails (a full or
    // unwritable disk): the writer then drops whatever it is given.
    capture_file_writer_t(std::filesystem::path path, main_queue_t& main,
                          std::function<void(const std::string& message)> on_error, options_t options);
    ~capture_file_writer_t();  // writes what it holds, ends the file
    capture_file_writer_t(const capture_file_writer_t&) = delete;
    capture_file_writer_t& operator=(const capture_file_writer_t&) = delete;

    // Empty when the file opened; the reason otherwise.
    const std::string& open_error() const;
    // One or more whole lines, line feeds included (append_capture_*).
    void write(std::string_view lines);
    // Ends the file and waits for the writing thread: not for the main
    // thread of a window (the destructor of a writer moved to another thread
    // does it there).
    void close();

    const std::filesystem::path& path() const;
    std::uint64_t bytes_on_disk() const;  // compressed, as far as written
    std::uint64_t bytes_given() const;    // uncompressed
    bool failed() const;

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

// ---- Reading -------------------------------------------------------------

// Reads the lines of a capture or of raw board output from a file or a
// stream, plain or zstd-compressed (told by the first bytes), in chunks, so
// an hour of a fast board never sits in memory whole. A compressed file cut
// short or damaged gives every line up to the damage, then says where it
// stopped.
class capture_file_reader_t {
public:
    // A file; open_error() says why it could not be opened.
    explicit capture_file_reader_t(const std::filesystem::path& path);
    // A stream that stays open while this reads it (standard input).
    explicit capture_file_reader_t(std::FILE* stream);
    ~capture_file_reader_t();
    capture_file_reader_t(const capture_file_reader_t&) = delete;
    capture_file_reader_t& operator=(const capture_file_reader_t&) = delete;

    const std::string& open_error() const;
    bool compressed() const;
    // The next line without its line feed, valid until the next call;
    // nothing at the end or at damage (see error()). A last line without a
    // line feed is returned as a line.
    std::optional<std::string_view> next_line();
    // Empty after a clean end; otherwise what was wrong and where ("the
    // compressed data is cut short after byte 1234567 (line 4021)").
    const std::string& error() const;
    // Bytes read from the file so far, and its size when known (for
    // progress bars); 0 for a stream.
    std::uint64_t bytes_read() const;
    std::uint64_t file_size() const;
    // Starts again from the first line (files only; false for streams).
    bool rewind();

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

}  // namespace plimsy
