#pragma once

// A private folder for a test's files, removed with everything in it, and
// whole-file reads and writes.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace plimsy::test_files {

struct temp_dir_t {
    std::filesystem::path path;
    explicit temp_dir_t(std::string_view prefix = "plimsy") {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "_XXXXXX")).string();
        path = ::mkdtemp(pattern.data());
    }
    ~temp_dir_t() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    temp_dir_t(const temp_dir_t&) = delete;
    temp_dir_t& operator=(const temp_dir_t&) = delete;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void spit(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace plimsy::test_files
