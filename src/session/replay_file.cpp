#include "capture/capture_file.hpp"
#include "session/replay.hpp"

namespace plimsy {

namespace {

// A capture file on disk, plain or zstd-compressed.
class file_source_t final : public capture_source_t {
public:
    explicit file_source_t(const std::filesystem::path& path) : reader_(path) {}

    const std::string& open_error() const { return reader_.open_error(); }
    std::optional<std::string_view> next_line() override { return reader_.next_line(); }
    const std::string& error() const override { return reader_.error(); }
    std::uint64_t bytes_read() const override { return reader_.bytes_read(); }
    std::uint64_t size() const override { return reader_.file_size(); }

private:
    capture_file_reader_t reader_;
};

}  // namespace

capture_opener_t capture_file_opener(std::filesystem::path path) {
    return [path = std::move(path)](std::string& error) -> std::unique_ptr<capture_source_t> {
        auto source = std::make_unique<file_source_t>(path);
        if (!source->open_error().empty()) {
            error = source->open_error();
            return nullptr;
        }
        return source;
    };
}

}  // namespace plimsy
