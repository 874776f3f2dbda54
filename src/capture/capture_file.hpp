#pragma once

// Capture files on disk: written compressed (zstd) by a thread of their
// own, read back plain or compressed, whole or cut short.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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
        // Given but not yet compressed: beyond this the disk is taken not
        // to keep up, and the writer fails as on a full disk rather than
        // eat the machine's memory.
        std::uint64_t max_queued = 256u << 20;
        // Make the file's folder when it is missing.
        bool make_folders = false;
        // false: an existing file is kept, and the new one gets the first
        // free name with "-2", "-3", ... before its extensions (path() then
        // says which).
        bool replace = true;
    };
    // `on_error` runs on `main` once, when writing fails (a full or
    // unwritable disk, or a file that cannot be made): the writer then
    // drops whatever it is given. It is posted, so it may run after the
    // writer is gone: what it captures must outlive it or be checked. The
    // file is opened by the writing thread, so making one never waits for
    // the disk either.
    capture_file_writer_t(std::filesystem::path path, main_queue_t& main,
                          std::function<void(const std::string& message)> on_error, options_t options);
    // Writes what it holds, ends the file and waits for the writing thread
    // (see close()).
    ~capture_file_writer_t();
    capture_file_writer_t(const capture_file_writer_t&) = delete;
    capture_file_writer_t& operator=(const capture_file_writer_t&) = delete;

    // One or more whole lines, line feeds included (append_capture_*).
    // Never waits: the text goes on a lock-free list that the writing thread
    // empties several times a second.
    void write(std::string_view lines);
    // Asks the writing thread to write what it has, end the file and stop;
    // returns at once. Later writes are dropped.
    void request_close();
    // request_close(), then waits for the writing thread: not for the main
    // thread of a window (see close_in_background()).
    void close();
    // The writing thread has ended the file (or given up on it).
    bool finished() const;

    // The file's name: as asked, or the one chosen when `replace` is off
    // and the name was taken (known once the writing thread has opened it).
    std::filesystem::path path() const;
    bool opened() const;
    std::uint64_t bytes_on_disk() const;  // as far as written, compressed
    std::uint64_t bytes_given() const;    // uncompressed
    bool failed() const;
    // Why it failed ("cannot write /x/y.zst: No space left on device");
    // empty while it has not.
    std::string error() const;

private:
    friend void close_in_background(std::unique_ptr<capture_file_writer_t> writer);
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

// Closes a writer on a thread of its own, so the main thread never waits
// for its last write; wait_for_background_closes() (at program exit) waits
// up to `seconds` for every such close, and says whether all finished.
void close_in_background(std::unique_ptr<capture_file_writer_t> writer);
bool wait_for_background_closes(double seconds);

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
    // The next line without its line feed (a CR before it is left for the
    // caller), valid until the next call; nothing at the end or at damage
    // (see error()). A last line without a line feed is returned as a line,
    // unless the compressed data was cut short inside it: that part never
    // made a line and is dropped (error() says so).
    std::optional<std::string_view> next_line();
    // Empty after a clean end; otherwise what was wrong and where ("the
    // compressed data is cut short after byte 1234567 (line 4021)").
    const std::string& error() const;
    // Bytes read from the file so far, and its size when known (for
    // progress bars); 0 for a stream.
    std::uint64_t bytes_read() const;
    std::uint64_t file_size() const;
    // Lines returned so far.
    std::uint64_t line_number() const;
    // Starts again from the first line (files only; false for streams).
    bool rewind();

    // A line longer than this stops the reading with an error: no capture
    // line comes near it, and a file without line feeds must not fill the
    // memory.
    static constexpr std::size_t max_line = 64u << 20;

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

}  // namespace plimsy
