#pragma once

// Captures as tables: the CSV files of "plimsy-cli decode --csv DIR", also
// written by "plimsy-cli replay --csv DIR" and the window's "Export CSV...".
// One file per record type (DIR/<record>.csv: "t", then the record's
// fields) and one per shown object (DIR/<object>.csv: "t", then its shown
// values, a row after every line, command and action while it is shown).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/records.hpp"
#include "session/replay.hpp"
#include "shown/shown_value.hpp"

namespace plimsy {

// The tables of one run, written as rows arrive. RFC 4180: a header row,
// CR LF line ends, cells with a comma, quote or line end quoted.
class csv_tables_t {
public:
    // `dir` must exist. `message` hears of files that cannot be written
    // ("cannot write DIR/x.csv: No space left on device; the CSV tables are
    // incomplete") and of columns that changed.
    csv_tables_t(std::string dir, std::function<void(const std::string&)> message);
    ~csv_tables_t();
    csv_tables_t(const csv_tables_t&) = delete;
    csv_tables_t& operator=(const csv_tables_t&) = delete;

    // False once a file could not be written.
    bool ok() const;
    // A row of DIR/<record>.csv for a line that decoded at `t`.
    void record(double t, const record_t& r);
    // A row of DIR/<object>.csv per object shown after something happened at `t`.
    void shown(double t, const std::vector<shown_object_t>& objects);
    // Closes every file; false if one could not be written whole.
    bool close();

private:
    class impl_t;
    std::unique_ptr<impl_t> impl_;
};

struct csv_export_t {
    std::uint64_t lines = 0;    // lines and frames from the board
    std::uint64_t entries = 0;  // capture entries
    double seconds = 0;         // of capture time
};

// Writes the tables of a whole capture into `dir` (made when missing), the
// same files as "plimsy-cli decode --csv DIR". Heavy: call it from a worker
// thread; `progress` hears the fraction of the file read and may cancel.
// False with the reason in `error` when the capture cannot be read, a file
// cannot be written, or it was cancelled (the tables then end where it
// stopped). Messages about the capture (damage, lines that could not be
// read) go to `on_message`.
bool export_capture_csv(const capture_opener_t& opener, const std::filesystem::path& dir, std::string& error,
                        const replay_progress_t& progress = {},
                        std::function<void(const std::string&)> on_message = {}, csv_export_t* result = nullptr);
bool export_capture_csv(const std::filesystem::path& capture, const std::filesystem::path& dir, std::string& error,
                        const replay_progress_t& progress = {},
                        std::function<void(const std::string&)> on_message = {}, csv_export_t* result = nullptr);

}  // namespace plimsy
