#include "capture/capture_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "common/text.hpp"

namespace plimsy {

namespace {

using steady = std::chrono::steady_clock;

unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

// ---- Writing -------------------------------------------------------------

// The main thread pushes each write() as a node on a lock-free list (a
// Treiber stack); the writing thread takes the whole list at once with one
// exchange and reverses it. So the main thread never waits, not even for a
// moment, and text never sits on the main thread's side waiting for a
// later write to carry it over.
struct capture_file_writer_t::impl_t {
    struct node_t {
        node_t* next = nullptr;
        std::string data;
    };

    impl_t(std::filesystem::path p, main_queue_t& m, std::function<void(const std::string&)> cb, options_t o)
        : path(std::move(p)), main(m), on_error(std::move(cb)), options(o) {}

    std::filesystem::path path;
    main_queue_t& main;
    std::function<void(const std::string&)> on_error;
    options_t options;

    std::atomic<node_t*> head{nullptr};
    std::atomic<std::uint64_t> queued{0};
    std::atomic<std::uint64_t> given{0};
    std::atomic<std::uint64_t> on_disk{0};
    std::atomic<bool> closing{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> detached{false};  // closed in the background: nobody to tell
    std::atomic<bool> opened{false};
    std::filesystem::path chosen;  // written by the writing thread before `opened`
    std::atomic<bool> fail_claimed{false};
    std::atomic<bool> failed{false};
    std::string error;  // written once, by whoever claimed the failure, before `failed`

    std::mutex wake_mutex;  // only for the writing thread's sleep; the main thread never takes it
    std::condition_variable wake;
    std::thread thread;

    // Writing thread only.
    int fd = -1;
    ZSTD_CCtx* cctx = nullptr;
    std::string out;                 // compressed, not yet written
    std::vector<char> chunk;         // zstd's output buffer
    bool dirty = false;              // text given to zstd since the last flush
    steady::time_point dirty_since;  // when that text was taken off the list

    void fail(std::string message) {
        if (fail_claimed.exchange(true)) return;
        error = std::move(message);
        failed.store(true, std::memory_order_release);
        if (detached || !on_error) return;
        main.post([cb = on_error, m = error] { cb(m); });
    }

    void push(std::string_view lines) {
        if (lines.empty() || closing.load(std::memory_order_relaxed) || failed.load(std::memory_order_relaxed)) return;
        given.fetch_add(lines.size(), std::memory_order_relaxed);
        if (queued.fetch_add(lines.size(), std::memory_order_relaxed) + lines.size() > options.max_queued) {
            fail("cannot write " + path.string() + " fast enough: more than " +
                 std::to_string(options.max_queued >> 20) + " MiB wait for the disk; recording stopped");
            return;
        }
        auto* n = new node_t{nullptr, std::string(lines)};
        n->next = head.load(std::memory_order_relaxed);
        while (!head.compare_exchange_weak(n->next, n, std::memory_order_release, std::memory_order_relaxed)) {
        }
    }

    // The text given so far, oldest first; the nodes are freed.
    template <typename F>
    void drain(F&& fn) {
        node_t* list = head.exchange(nullptr, std::memory_order_acquire);
        node_t* reversed = nullptr;
        while (list) {
            node_t* next = list->next;
            list->next = reversed;
            reversed = list;
            list = next;
        }
        while (reversed) {
            node_t* next = reversed->next;
            queued.fetch_sub(reversed->data.size(), std::memory_order_relaxed);
            fn(reversed->data);
            delete reversed;
            reversed = next;
        }
    }

    bool write_out() {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int e = n < 0 ? errno : ENOSPC;
                fail("cannot write " + chosen.string() + ": " + std::strerror(e) + " (after " +
                     std::to_string(on_disk.load()) + " bytes); recording stopped, the file keeps what was written" +
                     (e == ENOSPC || e == EDQUOT ? ": free some space and record again" : ""));
                out.clear();
                return false;
            }
            done += static_cast<std::size_t>(n);
            on_disk.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        }
        out.clear();
        return true;
    }

    bool compress(std::string_view data, ZSTD_EndDirective mode) {
        if (!options.compress) {
            out.append(data);
            return true;
        }
        ZSTD_inBuffer in{data.data(), data.size(), 0};
        while (true) {
            ZSTD_outBuffer o{chunk.data(), chunk.size(), 0};
            const std::size_t left = ZSTD_compressStream2(cctx, &o, &in, mode);
            if (ZSTD_isError(left)) {
                fail("cannot compress " + chosen.string() + ": " + ZSTD_getErrorName(left) + "; recording stopped");
                return false;
            }
            out.append(chunk.data(), o.pos);
            const bool done = mode == ZSTD_e_continue ? in.pos == in.size : left == 0;
            if (done) return true;
        }
    }

    // The text so far as a whole compressed block, written and on the disk:
    // a process killed after this, or a machine that loses power, keeps it.
    void flush(ZSTD_EndDirective mode) {
        if (failed) return;
        if (!compress({}, mode) || !write_out()) return;
        dirty = false;
        // A file that cannot be synced (a pipe, a character device) is still
        // written; only a failing disk is an error.
        if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP)
            fail("cannot write " + chosen.string() + ": " + std::strerror(errno) + "; recording stopped");
    }

    void take() {
        drain([&](const std::string& data) {
            if (failed) return;
            if (!dirty) {
                dirty = true;
                dirty_since = steady::now();
            }
            if (compress(data, ZSTD_e_continue) && out.size() >= (1u << 20)) write_out();
        });
    }

    // A name with "-N" before its extensions: "a.plimsy.jsonl.zst" -> "a-2.plimsy.jsonl.zst".
    static std::filesystem::path numbered(const std::filesystem::path& p, int n) {
        const std::string name = p.filename().string();
        const std::size_t dot = name.find('.', 1);
        const std::string stem = name.substr(0, dot);
        const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
        return p.parent_path() / (stem + "-" + std::to_string(n) + ext);
    }

    void open_file() {
        if (options.make_folders && path.has_parent_path()) {
            std::error_code ec;
            std::filesystem::create_directories(path.parent_path(), ec);
            if (ec) {
                fail("cannot make the folder " + path.parent_path().string() + ": " + ec.message());
                return;
            }
        }
        std::filesystem::path p = path;
        for (int n = 2;; ++n) {
            fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (options.replace ? O_TRUNC : O_EXCL), 0644);
            if (fd >= 0 || errno != EEXIST || n > 999) break;
            p = numbered(path, n);
        }
        if (fd < 0) {
            fail("cannot create " + p.string() + ": " + std::strerror(errno));
            return;
        }
        chosen = p;
        opened.store(true, std::memory_order_release);
    }

    void run() {
        open_file();
        if (fd >= 0 && options.compress) {
            cctx = ZSTD_createCCtx();
            chunk.resize(ZSTD_CStreamOutSize());
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, options.level);
            // The reader then notices damage that still decompresses.
            ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
        }
        // Text waits on the list up to a tenth of the flush interval before
        // it is compressed, so a line reaches the disk within the interval.
        const auto flush_every = std::chrono::duration<double>(options.flush_seconds);
        const auto nap = std::max<steady::duration>(std::chrono::duration_cast<steady::duration>(flush_every / 10),
                                                    std::chrono::milliseconds(1));
        while (true) {
            {
                std::unique_lock lock(wake_mutex);
                wake.wait_for(lock, nap, [&] { return closing.load(); });
            }
            const bool last = closing.load(std::memory_order_acquire);
            take();
            if (last) break;
            if (dirty && steady::now() - dirty_since + nap >= flush_every) flush(ZSTD_e_flush);
        }
        // The frame's end (and its checksum) only on a clean close; a killed
        // process leaves whole blocks, which read up to the cut.
        if (fd >= 0) {
            flush(ZSTD_e_end);
            ::close(fd);
            fd = -1;
        }
        take();  // nothing more arrives after closing; frees what a failure left
        ZSTD_freeCCtx(cctx);
        cctx = nullptr;
        finished.store(true, std::memory_order_release);
    }

    void request_close() {
        if (closing.exchange(true)) return;
        wake.notify_all();
    }
};

capture_file_writer_t::capture_file_writer_t(std::filesystem::path path, main_queue_t& main,
                                             std::function<void(const std::string& message)> on_error,
                                             options_t options)
    : impl_(std::make_unique<impl_t>(std::move(path), main, std::move(on_error), options)) {
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

capture_file_writer_t::~capture_file_writer_t() { close(); }

void capture_file_writer_t::write(std::string_view lines) { impl_->push(lines); }
void capture_file_writer_t::request_close() { impl_->request_close(); }

void capture_file_writer_t::close() {
    impl_->request_close();
    if (impl_->thread.joinable()) impl_->thread.join();
}

bool capture_file_writer_t::finished() const { return impl_->finished.load(std::memory_order_acquire); }
std::filesystem::path capture_file_writer_t::path() const { return opened() ? impl_->chosen : impl_->path; }
bool capture_file_writer_t::opened() const { return impl_->opened.load(std::memory_order_acquire); }
std::uint64_t capture_file_writer_t::bytes_on_disk() const { return impl_->on_disk.load(std::memory_order_relaxed); }
std::uint64_t capture_file_writer_t::bytes_given() const { return impl_->given.load(std::memory_order_relaxed); }
bool capture_file_writer_t::failed() const { return impl_->failed.load(std::memory_order_acquire); }
std::string capture_file_writer_t::error() const { return failed() ? impl_->error : std::string(); }

namespace {
// Closes still running. A counter rather than a lock, so that handing a
// writer over never waits for a closing thread; the wait at exit polls.
std::atomic<int> background_running{0};
}  // namespace

void close_in_background(std::unique_ptr<capture_file_writer_t> writer) {
    if (!writer) return;
    writer->impl_->detached = true;
    writer->request_close();
    background_running.fetch_add(1);
    std::thread([w = std::move(writer)]() mutable {
        w.reset();
        background_running.fetch_sub(1);
    }).detach();
}

bool wait_for_background_closes(double seconds) {
    const auto until = steady::now() + std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(seconds));
    while (background_running.load() > 0) {
        if (steady::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// ---- Reading -------------------------------------------------------------

namespace {
constexpr std::size_t read_size = 1u << 16;

bool is_zstd_magic(const unsigned char* p) {
    const std::uint32_t m = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    // A frame, or a skippable frame (0x184D2A50..5F), which zstd reads past.
    return m == 0xFD2FB528u || (m & 0xFFFFFFF0u) == 0x184D2A50u;
}
}  // namespace

struct capture_file_reader_t::impl_t {
    std::FILE* file = nullptr;
    bool own = false;
    std::string name;  // for messages
    std::string open_error;
    std::uint64_t size = 0;

    bool started = false;  // the first bytes were looked at
    bool compressed = false;
    ZSTD_DCtx* dctx = nullptr;
    std::vector<char> in_buf = std::vector<char>(read_size);
    ZSTD_inBuffer in{nullptr, 0, 0};
    std::vector<char> out_buf;
    std::size_t out_used = 0;  // bytes of out_buf that may not be zero
    bool frame_open = false;
    bool eof = false;
    bool done = false;      // no more text will come
    bool tail_given = false;
    std::uint64_t consumed = 0;  // bytes of the file read (and, compressed, handed to zstd)

    std::string text;      // decompressed text not yet returned
    std::size_t pos = 0;   // start of the next line in `text`
    std::size_t scan = 0;  // where the search for its line feed goes on
    std::uint64_t lines = 0;

    // A problem found while filling is told once every line before it is out.
    enum class problem_t { none, cut, damaged, unreadable, too_long, gzip } problem = problem_t::none;
    std::string detail;
    std::uint64_t problem_byte = 0;
    std::string error;

    ~impl_t() {
        ZSTD_freeDCtx(dctx);
        if (own && file) std::fclose(file);
    }

    void reset() {
        started = compressed = frame_open = eof = done = tail_given = false;
        in = {nullptr, 0, 0};
        consumed = 0;
        out_used = out_buf.size();
        text.clear();
        pos = scan = 0;
        lines = 0;
        problem = problem_t::none;
        detail.clear();
        error.clear();
        if (dctx) ZSTD_DCtx_reset(dctx, ZSTD_reset_session_only);
    }

    // Reads the next piece of the file into in_buf; false at the end or on
    // a read error.
    bool read_more() {
        if (eof) return false;
        const std::size_t n = std::fread(in_buf.data(), 1, in_buf.size(), file);
        if (n == 0) {
            eof = true;
            if (std::ferror(file)) {
                problem = problem_t::unreadable;
                detail = std::strerror(errno);
                problem_byte = consumed;
            }
            return false;
        }
        in = {in_buf.data(), n, 0};
        return true;
    }

    void start() {
        started = true;
        // Enough bytes to tell the kind, even from a pipe that gives them one by one.
        std::size_t have = 0;
        while (have < 4) {
            const std::size_t n = std::fread(in_buf.data() + have, 1, in_buf.size() - have, file);
            if (n == 0) break;
            have += n;
        }
        if (have == 0) {
            eof = true;
            if (std::ferror(file)) {
                problem = problem_t::unreadable;
                detail = std::strerror(errno);
            }
            return;
        }
        in = {in_buf.data(), have, 0};
        const auto* p = reinterpret_cast<const unsigned char*>(in_buf.data());
        if (have >= 4 && is_zstd_magic(p)) {
            compressed = true;
            if (!dctx) dctx = ZSTD_createDCtx();
            out_buf.assign(ZSTD_DStreamOutSize(), 0);
        } else if (have >= 2 && p[0] == 0x1f && p[1] == 0x8b) {
            problem = problem_t::gzip;
            done = eof = true;
        }
    }

    // More text into `text`; false when none will come.
    bool fill() {
        if (done) return false;
        if (!started) start();
        if (done) return false;
        if (!compressed) {
            if (in.pos == in.size && !read_more()) {
                done = true;
                return false;
            }
            text.append(static_cast<const char*>(in.src) + in.pos, in.size - in.pos);
            consumed += in.size - in.pos;
            in.pos = in.size;
            return true;
        }
        while (true) {
            if (in.pos == in.size) read_more();
            // zstd leaves `o.pos` alone when a call fails, although it has
            // written the blocks it decoded before the damage: with the
            // buffer zeroed first, the last line feed in it ends what came
            // through whole. (Bytes after it only begin a line, which is
            // dropped anyway, so a zero byte of the data cannot mislead.)
            std::memset(out_buf.data(), 0, out_used);
            ZSTD_outBuffer o{out_buf.data(), out_buf.size(), 0};
            const std::size_t before = in.pos;
            const std::size_t r = ZSTD_decompressStream(dctx, &o, &in);
            consumed += in.pos - before;
            out_used = out_buf.size();
            if (ZSTD_isError(r)) {
                const std::string_view written(out_buf.data(), out_buf.size());
                const std::size_t lf = written.rfind('\n');
                if (lf != std::string_view::npos) text.append(out_buf.data(), lf + 1);
                problem = problem_t::damaged;
                detail = ZSTD_getErrorName(r);
                problem_byte = consumed;
                done = true;
                return true;
            }
            text.append(out_buf.data(), o.pos);
            out_used = o.pos;
            // 0: a frame just ended; another may follow (concatenated files).
            // A call that moved nothing says only what the next frame needs.
            if (in.pos != before || o.pos > 0) frame_open = r != 0;
            if (o.pos > 0) return true;
            if (eof && in.pos == in.size) {
                if (frame_open && problem == problem_t::none) {
                    problem = problem_t::cut;
                    problem_byte = consumed;
                }
                done = true;
                return false;
            }
        }
    }

    void report(std::size_t tail) {
        const unsigned long long line = ull(lines + 1);
        switch (problem) {
            case problem_t::none: return;
            case problem_t::cut:
                if (tail > 0)
                    error = cformat("the compressed data is cut short after byte %llu, inside line %llu (its %zu bytes "
                                    "so far are left out); every line before it was read",
                                    ull(problem_byte), line, tail);
                else if (lines == 0)
                    error = cformat("the compressed data is cut short after byte %llu, before its first whole line",
                                    ull(problem_byte));
                else
                    error = cformat("the compressed data is cut short after byte %llu, after line %llu; every line "
                                    "up to there was read",
                                    ull(problem_byte), ull(lines));
                return;
            case problem_t::damaged:
                error = cformat("the compressed data is damaged near byte %llu, in line %llu (zstd: %s); reading "
                                "stopped there, every line before it was read",
                                ull(problem_byte), line, detail.c_str());
                return;
            case problem_t::unreadable:
                error = cformat("cannot read %s after byte %llu (line %llu): %s", name.c_str(), ull(problem_byte),
                                line, detail.c_str());
                return;
            case problem_t::too_long:
                error = cformat("line %llu is longer than %zu MiB (at byte %llu): not a capture or board output; "
                                "reading stopped there",
                                line, max_line >> 20, ull(problem_byte));
                return;
            case problem_t::gzip:
                error = name + " is gzip-compressed: captures are plain or zstd-compressed; unpack it first "
                               "(gunzip -k FILE)";
                return;
        }
    }

    std::optional<std::string_view> next_line() {
        while (true) {
            const std::size_t lf = text.find('\n', scan);
            if (lf != std::string::npos) {
                const std::string_view line(text.data() + pos, lf - pos);
                pos = scan = lf + 1;
                ++lines;
                return line;
            }
            scan = text.size();
            if (text.size() - pos > max_line) {
                problem = problem_t::too_long;
                problem_byte = consumed;
                done = true;
                text.clear();
                pos = scan = 0;
            }
            if (done) {
                const std::size_t tail = text.size() - pos;
                // A line cut by damage or a cut frame never ended; one at the
                // clean end of the input did, without its line feed.
                if (tail > 0 && !tail_given && problem == problem_t::none) {
                    tail_given = true;
                    ++lines;
                    return std::string_view(text.data() + pos, tail);
                }
                if (error.empty()) report(tail_given ? 0 : tail);
                return std::nullopt;
            }
            text.erase(0, pos);
            scan -= pos;
            pos = 0;
            fill();
        }
    }
};

capture_file_reader_t::capture_file_reader_t(const std::filesystem::path& path)
    : impl_(std::make_unique<impl_t>()) {
    impl_->name = path.string();
    impl_->own = true;
    impl_->file = std::fopen(path.c_str(), "rb");
    if (!impl_->file) {
        impl_->open_error = "cannot read " + path.string() + ": " + std::strerror(errno);
        impl_->done = true;
        return;
    }
    struct stat st{};
    if (::fstat(fileno(impl_->file), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            impl_->open_error = "cannot read " + path.string() + ": it is a directory";
            impl_->done = true;
            return;
        }
        if (S_ISREG(st.st_mode)) impl_->size = static_cast<std::uint64_t>(st.st_size);
    }
}

capture_file_reader_t::capture_file_reader_t(std::FILE* stream) : impl_(std::make_unique<impl_t>()) {
    impl_->name = "standard input";
    impl_->file = stream;
}

capture_file_reader_t::~capture_file_reader_t() = default;

const std::string& capture_file_reader_t::open_error() const { return impl_->open_error; }
bool capture_file_reader_t::compressed() const {
    if (!impl_->started && impl_->file && impl_->open_error.empty()) impl_->start();
    return impl_->compressed;
}
std::optional<std::string_view> capture_file_reader_t::next_line() {
    if (!impl_->open_error.empty()) return std::nullopt;
    return impl_->next_line();
}
const std::string& capture_file_reader_t::error() const { return impl_->error; }
std::uint64_t capture_file_reader_t::bytes_read() const { return impl_->consumed; }
std::uint64_t capture_file_reader_t::file_size() const { return impl_->size; }
std::uint64_t capture_file_reader_t::line_number() const { return impl_->lines; }

bool capture_file_reader_t::rewind() {
    if (!impl_->own || !impl_->file || !impl_->open_error.empty()) return false;
    if (std::fseek(impl_->file, 0, SEEK_SET) != 0) return false;
    std::clearerr(impl_->file);
    impl_->reset();
    return true;
}

}  // namespace plimsy
