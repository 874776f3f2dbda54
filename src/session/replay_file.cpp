#include <cerrno>
#include <cstdio>
#include <cstring>

#include "session/replay.hpp"

namespace plimsy {

namespace {

// A plain capture file read in large blocks, line by line.
class plain_file_source_t final : public capture_source_t {
public:
    explicit plain_file_source_t(std::FILE* f, std::uint64_t size) : f_(f), size_(size), buf_(1 << 16) {}
    ~plain_file_source_t() override { std::fclose(f_); }

    std::optional<std::string_view> next_line() override {
        while (true) {
            const std::size_t lf = std::string_view(data_).find('\n', at_);
            if (lf != std::string_view::npos) {
                const std::string_view line(data_.data() + at_, lf - at_);
                at_ = lf + 1;
                return line;
            }
            if (eof_) {
                if (at_ >= data_.size()) return std::nullopt;
                const std::string_view line(data_.data() + at_, data_.size() - at_);
                at_ = data_.size();
                return line;
            }
            data_.erase(0, at_);
            at_ = 0;
            const std::size_t n = std::fread(buf_.data(), 1, buf_.size(), f_);
            read_ += n;
            data_.append(buf_.data(), n);
            if (n < buf_.size()) {
                eof_ = true;
                if (std::ferror(f_)) error_ = std::string("reading stopped: ") + std::strerror(errno);
            }
        }
    }
    const std::string& error() const override { return error_; }
    std::uint64_t bytes_read() const override { return read_; }
    std::uint64_t size() const override { return size_; }

private:
    std::FILE* f_;
    std::uint64_t size_;
    std::vector<char> buf_;
    std::string data_;
    std::size_t at_ = 0;
    std::uint64_t read_ = 0;
    bool eof_ = false;
    std::string error_;
};

}  // namespace

capture_opener_t capture_file_opener(std::filesystem::path path) {
    return [path = std::move(path)](std::string& error) -> std::unique_ptr<capture_source_t> {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            error = "cannot read " + path.string() + ": " + std::strerror(errno);
            return nullptr;
        }
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        return std::make_unique<plain_file_source_t>(f, ec ? 0 : size);
    };
}

}  // namespace plimsy
