#include "platform/settings_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>

#include "common/text.hpp"

namespace plimsy {

namespace {

// A recursive-descent reader for the subset of JSON the settings use: an
// object whose values are Booleans, whole numbers, texts, and arrays of
// texts or of whole numbers. Anything else that is well-formed JSON is
// skipped with a line in `dropped`; malformed text fails the value.
class reader_t {
public:
    explicit reader_t(std::string_view text, settings_parse_t& out) : s_(text), out_(out) {}

    void run() {
        space();
        if (peek() != '{') {
            out_.intact = false;
            if (!resync()) return;
        } else {
            ++i_;
        }
        for (;;) {
            space();
            if (at_end()) {
                out_.intact = false;  // cut short: what came before stays
                return;
            }
            if (peek() == '}') {
                ++i_;
                space();
                if (!at_end()) out_.intact = false;
                return;
            }
            if (!member(true)) {
                out_.intact = false;
                if (!resync()) return;
                continue;
            }
            space();
            if (peek() == ',') {
                ++i_;
                space();
                if (peek() == '}') out_.intact = false;  // a trailing comma is not JSON
            } else if (peek() != '}') {
                out_.intact = false;
                if (!at_end() && !resync()) return;
            }
        }
    }

private:
    // A value as read: malformed text, or well-formed with or without a
    // value the settings keep.
    struct value_t {
        bool well_formed = false;
        std::optional<setting_value_t> value;
    };

    bool at_end() const { return i_ >= s_.size(); }
    char peek() const { return at_end() ? '\0' : s_[i_]; }
    void space() {
        while (!at_end() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }

    void drop(std::string line) { out_.dropped.push_back(std::move(line)); }

    // After damage: the next line that starts with a setting which reads
    // well and is followed by a separator, the end of the object or the
    // end of the text. Leaves the position at that line's start.
    bool resync() {
        std::size_t from = i_;
        for (;;) {
            const std::size_t nl = s_.find('\n', from);
            if (nl == std::string_view::npos) return false;
            from = nl + 1;
            i_ = from;
            while (!at_end() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
            if (peek() != '"') continue;
            const std::size_t start = i_;
            const std::size_t dropped = out_.dropped.size();
            if (member(false)) {
                space();
                if (at_end() || peek() == ',' || peek() == '}') {
                    i_ = start;
                    return true;
                }
            }
            out_.dropped.resize(dropped);
        }
    }

    // `"key": value`. With `keep`, a readable value is stored.
    bool member(bool keep) {
        std::string key;
        if (!string(key)) return false;
        space();
        if (peek() != ':') return false;
        ++i_;
        space();
        value_t v = value(key);
        if (!v.well_formed) return false;
        if (keep && v.value) out_.values[key] = std::move(*v.value);
        return true;
    }

    value_t value(const std::string& key) {
        const char c = peek();
        if (c == '"') {
            std::string text;
            if (!string(text)) return {};
            if (text.size() > settings_limits_t::text_bytes) {
                drop(cformat("\"%s\": a text of %zu bytes (more than %zu); dropped", key.c_str(), text.size(),
                             settings_limits_t::text_bytes));
                return {true, std::nullopt};
            }
            return {true, setting_value_t(std::move(text))};
        }
        if (c == 't' || c == 'f') {
            const std::string_view word = c == 't' ? "true" : "false";
            if (s_.substr(i_, word.size()) != word) return {};
            i_ += word.size();
            return {true, setting_value_t(c == 't')};
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            bool whole = false;
            std::int64_t n = 0;
            if (!number(n, whole)) return {};
            if (!whole) {
                drop(cformat("\"%s\": not a whole number in range; dropped", key.c_str()));
                return {true, std::nullopt};
            }
            return {true, setting_value_t(n)};
        }
        if (c == '[') return array(key);
        if (!skip(0)) return {};
        drop(cformat("\"%s\": a value of a kind the settings do not keep; dropped", key.c_str()));
        return {true, std::nullopt};
    }

    value_t array(const std::string& key) {
        ++i_;
        std::vector<std::string> texts;
        std::vector<std::int64_t> numbers;
        bool other = false, saw_text = false, saw_number = false;
        std::size_t count = 0, long_texts = 0;
        space();
        if (peek() == ']') {
            ++i_;
            return {true, setting_value_t(std::vector<std::int64_t>{})};
        }
        for (;;) {
            space();
            const char c = peek();
            const bool keep = count < settings_limits_t::array_entries;
            if (c == '"') {
                std::string text;
                if (!string(text)) return {};
                saw_text = true;
                if (text.size() > settings_limits_t::text_bytes) {
                    ++long_texts;
                } else if (keep) {
                    texts.push_back(std::move(text));
                }
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                bool whole = false;
                std::int64_t n = 0;
                if (!number(n, whole)) return {};
                saw_number = true;
                if (!whole) other = true;
                if (keep) numbers.push_back(n);
            } else {
                if (!skip(0)) return {};
                other = true;
            }
            ++count;
            space();
            if (peek() == ',') {
                ++i_;
                continue;
            }
            if (peek() != ']') return {};
            ++i_;
            break;
        }
        if (other || (saw_text && saw_number)) {
            drop(cformat("\"%s\": an array that is neither all texts nor all whole numbers; dropped", key.c_str()));
            return {true, std::nullopt};
        }
        if (long_texts > 0)
            drop(cformat("\"%s\": dropped %zu text(s) longer than %zu bytes", key.c_str(), long_texts,
                         settings_limits_t::text_bytes));
        if (count - long_texts > settings_limits_t::array_entries)
            drop(cformat("\"%s\": %zu entries; kept the first %zu", key.c_str(), count - long_texts,
                         settings_limits_t::array_entries));
        if (!numbers.empty()) return {true, setting_value_t(std::move(numbers))};
        return {true, setting_value_t(std::move(texts))};
    }

    // A JSON number. It must be followed by something: a number that runs
    // to the end of the text may have been cut short. Whole values within
    // the range a double holds exactly count as whole.
    bool number(std::int64_t& out, bool& whole) {
        const std::size_t start = i_;
        if (peek() == '-') ++i_;
        if (peek() == '0') {
            ++i_;
        } else if (peek() >= '1' && peek() <= '9') {
            while (peek() >= '0' && peek() <= '9') ++i_;
        } else {
            return false;
        }
        bool plain = true;
        if (peek() == '.') {
            plain = false;
            ++i_;
            if (!(peek() >= '0' && peek() <= '9')) return false;
            while (peek() >= '0' && peek() <= '9') ++i_;
        }
        if (peek() == 'e' || peek() == 'E') {
            plain = false;
            ++i_;
            if (peek() == '+' || peek() == '-') ++i_;
            if (!(peek() >= '0' && peek() <= '9')) return false;
            while (peek() >= '0' && peek() <= '9') ++i_;
        }
        if (at_end()) return false;
        const std::string_view token = s_.substr(start, i_ - start);
        if (plain) {
            const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
            whole = ec == std::errc{} && end == token.data() + token.size();
            return true;
        }
        const double d = std::strtod(std::string(token).c_str(), nullptr);
        whole = std::isfinite(d) && std::trunc(d) == d && std::fabs(d) <= 9007199254740992.0;
        if (whole) out = static_cast<std::int64_t>(d);
        return true;
    }

    static void append_utf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(std::uint32_t& out) {
        if (i_ + 4 > s_.size()) return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            out <<= 4;
            if (h >= '0' && h <= '9')
                out |= static_cast<std::uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                out |= static_cast<std::uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                out |= static_cast<std::uint32_t>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // A JSON string into UTF-8. Bytes that are not UTF-8 are damage: this
    // program never writes them.
    bool string(std::string& out) {
        if (peek() != '"') return false;
        ++i_;
        const std::size_t raw_start = i_;
        for (;;) {
            if (at_end()) return false;
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') break;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                ++i_;
                continue;
            }
            ++i_;
            const char e = peek();
            ++i_;
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    std::uint32_t cp = 0;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(i_, 2) == "\\u") {
                        const std::size_t back = i_;
                        i_ += 2;
                        std::uint32_t low = 0;
                        if (!hex4(low)) return false;
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            i_ = back;
                        }
                    }
                    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // an unpaired half
                    append_utf8(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        const std::string_view raw = s_.substr(raw_start, i_ - raw_start);
        ++i_;
        return valid_utf8(raw);
    }

    // Any well-formed value, not kept. Depth-limited so that a file of
    // brackets cannot exhaust the stack.
    bool skip(int depth) {
        if (depth > 32) return false;
        space();
        const char c = peek();
        if (c == '"') {
            std::string ignored;
            return string(ignored);
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            std::int64_t n = 0;
            bool whole = false;
            return number(n, whole);
        }
        for (std::string_view word : {"true", "false", "null"}) {
            if (s_.substr(i_, word.size()) == word) {
                i_ += word.size();
                return true;
            }
        }
        if (c != '[' && c != '{') return false;
        const char close = c == '[' ? ']' : '}';
        ++i_;
        space();
        if (peek() == close) {
            ++i_;
            return true;
        }
        for (;;) {
            space();
            if (close == '}') {
                std::string ignored;
                if (!string(ignored)) return false;
                space();
                if (peek() != ':') return false;
                ++i_;
            }
            if (!skip(depth + 1)) return false;
            space();
            if (peek() == ',') {
                ++i_;
                continue;
            }
            if (peek() != close) return false;
            ++i_;
            return true;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
    settings_parse_t& out_;
};

void append_text(std::string& out, const std::string& text) {
    out += '"';
    // Only UTF-8 reads back; anything else was never a readable name.
    append_json_escaped(out, valid_utf8(text) ? text : utf8_with_replacements(text));
    out += '"';
}

std::string errno_text(int e) { return std::error_code(e, std::generic_category()).message(); }

// "20261207T010203Z": sorts by time and needs no quoting in a shell.
std::string utc_stamp() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &tm);
    return buf;
}

// Writes all of `text` to `fd`; false with errno set on failure.
bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

settings_parse_t parse_settings_json(std::string_view text) {
    settings_parse_t out;
    reader_t(text, out).run();
    return out;
}

std::string settings_json(const settings_map_t& values) {
    std::string out = "{\n";
    bool first = true;
    for (const auto& [key, value] : values) {
        if (!first) out += ",\n";
        first = false;
        out += "    ";
        append_text(out, key);
        out += ": ";
        struct visitor {
            std::string& out;
            void operator()(bool b) const { out += b ? "true" : "false"; }
            void operator()(std::int64_t n) const { out += std::to_string(n); }
            void operator()(const std::string& s) const { append_text(out, s); }
            void operator()(const std::vector<std::string>& a) const {
                out += '[';
                for (std::size_t k = 0; k < a.size(); ++k) {
                    if (k) out += ", ";
                    append_text(out, a[k]);
                }
                out += ']';
            }
            void operator()(const std::vector<std::int64_t>& a) const {
                out += '[';
                for (std::size_t k = 0; k < a.size(); ++k) {
                    if (k) out += ", ";
                    out += std::to_string(a[k]);
                }
                out += ']';
            }
        };
        std::visit(visitor{out}, value);
    }
    out += "\n}\n";
    return out;
}

file_settings_store_t::file_settings_store_t(std::filesystem::path file, console_t& console)
    : file_(std::move(file)), console_(console) {
    load();
}

file_settings_store_t::~file_settings_store_t() { flush(); }

void file_settings_store_t::load() {
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // The first start, or no directory to read from: nothing to keep.
        if (errno == ENOENT || errno == ENOTDIR) return;
        set_aside(cformat("could not be read (%s)", errno_text(errno).c_str()), 0);
        return;
    }
    // One byte more than the limit tells a file that is too large.
    std::string text(settings_limits_t::file_bytes + 1, '\0');
    std::size_t got = 0;
    int read_error = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) read_error = errno;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    const bool too_large = got > settings_limits_t::file_bytes;
    if (too_large) text.resize(settings_limits_t::file_bytes);

    settings_parse_t parsed = parse_settings_json(text);
    values_ = std::move(parsed.values);
    // Each dropped value gets a line, up to a point: a file of junk must
    // not flood the console.
    constexpr std::size_t max_lines = 20;
    for (std::size_t k = 0; k < parsed.dropped.size() && k < max_lines; ++k)
        console_.line("settings: " + parsed.dropped[k]);
    if (parsed.dropped.size() > max_lines)
        console_.line(cformat("settings: and %zu more values dropped", parsed.dropped.size() - max_lines));

    if (read_error != 0) {
        set_aside(cformat("could not be read to the end (%s)", errno_text(read_error).c_str()), values_.size());
    } else if (too_large) {
        set_aside(cformat("is larger than %zu KiB, far more than settings take, so only its beginning was read",
                          settings_limits_t::file_bytes / 1024),
                  values_.size());
    } else if (!parsed.intact) {
        set_aside("was damaged", values_.size());
    }
}

// Keeps an unusable file beside the new one, then writes what was
// recovered so that the next start finds a good file.
void file_settings_store_t::set_aside(const std::string& why, std::size_t recovered) {
    std::filesystem::path kept = file_;
    kept += ".corrupt-" + utc_stamp();
    // Two damaged starts within a second must not overwrite the first copy.
    for (int n = 2; std::filesystem::exists(kept) && n < 100; ++n) {
        kept = file_;
        kept += ".corrupt-" + utc_stamp() + "-" + std::to_string(n);
    }
    const std::string recovered_text =
        recovered == 0 ? std::string("nothing could be recovered from it, so the defaults are in use")
                       : cformat("%zu setting%s could be read from it and %s kept; everything else is back at its "
                                 "default",
                                 recovered, recovered == 1 ? "" : "s", recovered == 1 ? "is" : "are");
    if (::rename(file_.c_str(), kept.c_str()) != 0) {
        const int e = errno;
        read_only_ = true;
        notice_ = cformat("The settings file %s %s. It could not be kept aside (%s), so this session's changes "
                          "will not be saved; %s.",
                          file_.c_str(), why.c_str(), errno_text(e).c_str(), recovered_text.c_str());
    } else {
        notice_ = cformat("The settings file %s %s. It was kept as %s; %s.", file_.c_str(), why.c_str(),
                          kept.filename().c_str(), recovered_text.c_str());
        post();
    }
    console_.line("settings: " + notice_);
}

std::optional<setting_value_t> file_settings_store_t::read(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void file_settings_store_t::write(const std::string& key, const setting_value_t& value) {
    values_[key] = value;
    post();
}

void file_settings_store_t::remove(const std::string& key) {
    values_.erase(key);
    post();
}

void file_settings_store_t::apply(const std::vector<setting_change_t>& changes) {
    for (const setting_change_t& c : changes) {
        if (c.value)
            values_[c.key] = *c.value;
        else
            values_.erase(c.key);
    }
    post();
}

void file_settings_store_t::post() {
    if (read_only_) return;
    ++posted_;
    delete pending_.exchange(new settings_map_t(values_), std::memory_order_acq_rel);
    if (!writer_.joinable()) {
        stop_.store(false, std::memory_order_relaxed);
        writer_ = std::thread([this] { writer_loop(); });
    }
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_one();
}

void file_settings_store_t::flush() {
    if (!writer_.joinable()) return;
    stop_.store(true, std::memory_order_release);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_one();
    writer_.join();
}

void file_settings_store_t::writer_loop() {
    for (;;) {
        const std::uint32_t seen = generation_.load(std::memory_order_acquire);
        if (settings_map_t* values = pending_.exchange(nullptr, std::memory_order_acq_rel)) {
            save(*values);
            delete values;
            continue;
        }
        if (stop_.load(std::memory_order_acquire)) {
            // A copy handed over just before the stop is still written.
            if (settings_map_t* values = pending_.exchange(nullptr, std::memory_order_acq_rel)) {
                save(*values);
                delete values;
            }
            return;
        }
        generation_.wait(seen, std::memory_order_acquire);
    }
}

// Writer thread. The new text goes to a temporary file in the same
// directory, reaches the disk, and replaces the old file in one rename;
// the directory is synced so the rename itself survives a power cut.
void file_settings_store_t::save(const settings_map_t& values) {
    const std::string text = settings_json(values);
    const std::filesystem::path dir = file_.parent_path();
    std::string error;
    std::error_code ec;
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    std::string temp = file_.string() + ".tmp-XXXXXX";
    const int fd = ec ? -1 : ::mkstemp(temp.data());
    if (ec) {
        error = ec.message();
    } else if (fd < 0) {
        error = errno_text(errno);
    } else {
        const bool ok = write_all(fd, text) && ::fsync(fd) == 0;
        const int e = errno;
        ::close(fd);
        if (!ok || ::rename(temp.c_str(), file_.c_str()) != 0) {
            error = errno_text(ok ? errno : e);
            ::unlink(temp.c_str());
        } else if (!dir.empty()) {
            const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dfd >= 0) {
                ::fsync(dfd);
                ::close(dfd);
            }
        }
    }
    if (!error.empty() && error != last_error_) {
        console_.line(cformat("settings: could not save %s (%s); the settings are kept until it works again",
                              file_.c_str(), error.c_str()));
    } else if (error.empty() && !last_error_.empty()) {
        console_.line(cformat("settings: saved %s again", file_.c_str()));
    }
    last_error_ = error;
}

}  // namespace plimsy
