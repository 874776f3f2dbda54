#include "cli/decode_command.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace plimsy;

namespace {
// Runs the decode command on `input` and returns what it wrote.
struct run_result_t {
    int status;
    std::string out, err;
};

std::string read_all(std::FILE* f) {
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

run_result_t run(std::string input, std::initializer_list<const char*> args = {}) {
    std::FILE* in = fmemopen(input.data(), input.size(), "r");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::vector<const char*> argv(args);
    const int status = decode_command(static_cast<int>(argv.size()), argv.data(), in, out, err);
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
}
}  // namespace

TEST(decode_command, one_json_object_per_line) {
    const auto r = run(
        "compass_c={\"h\":359.5,\"x_raw\":12,\"y_raw\":-3,\"z_raw\":40,\"x_min\":-1,\"y_min\":-1,\"z_min\":-1,"
        "\"x_max\":1,\"y_max\":1,\"z_max\":1,\"xv_min\":-1,\"yv_min\":-1,\"xv_max\":1,\"yv_max\":1,\"c\":\"xy\",\"e\":\"c0\"}\r\n"
        "\n"
        "adp536x={\"cs1\":\"0x02\",\"cs2\":\"0x00\",\"pgs\":\"0x01\",\"voltage\":4100,\"level\":300}\n"
        "boot: hello\n"
        "\xC3\x28 junk\n"
        "gravity={\"x\":9.81,\"y\":0,\"z\":-0.5}");  // no final line feed
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"line\":\"compass_c={\\\"h\\\":359.5,\\\"x_raw\\\":12,\\\"y_raw\\\":-3,\\\"z_raw\\\":40,\\\"x_min\\\":-1,"
              "\\\"y_min\\\":-1,\\\"z_min\\\":-1,\\\"x_max\\\":1,\\\"y_max\\\":1,\\\"z_max\\\":1,\\\"xv_min\\\":-1,"
              "\\\"yv_min\\\":-1,\\\"xv_max\\\":1,\\\"yv_max\\\":1,\\\"c\\\":\\\"xy\\\",\\\"e\\\":\\\"c0\\\"}\","
              "\"result\":\"ok\",\"record\":\"compass_c_str_t\",\"fields\":{\"h\":359.5,\"x_raw\":12,\"y_raw\":-3,"
              "\"z_raw\":40,\"x_min\":-1,\"y_min\":-1,\"z_min\":-1,\"x_max\":1,\"y_max\":1,\"z_max\":1,\"xv_min\":-1,"
              "\"yv_min\":-1,\"xv_max\":1,\"yv_max\":1,\"c\":\"xy\",\"e\":\"c0\"},\"device_model\":\"compass\"}\n"
              "{\"line\":\"adp536x={\\\"cs1\\\":\\\"0x02\\\",\\\"cs2\\\":\\\"0x00\\\",\\\"pgs\\\":\\\"0x01\\\","
              "\\\"voltage\\\":4100,\\\"level\\\":300}\",\"result\":\"error\",\"error\":\"\\\"level\\\": out of range "
              "for UInt8 (300)\",\"device_model\":\"compass\"}\n"
              "{\"line\":\"boot: hello\",\"result\":\"ignored\",\"device_model\":\"compass\"}\n"
              "{\"line\":\"\xEF\xBF\xBD( junk\",\"result\":\"binary\",\"device_model\":\"compass\"}\n"
              "{\"line\":\"gravity={\\\"x\\\":9.81,\\\"y\\\":0,\\\"z\\\":-0.5}\",\"result\":\"ok\",\"record\":"
              "\"gravity_str_t\",\"fields\":{\"x\":9.81,\"y\":0.0,\"z\":-0.5},\"device_model\":\"gravity\"}\n");
    // Diagnostics go to the error stream, never between the JSON lines.
    EXPECT_NE(r.err.find("failed to decode JSON"), std::string::npos);
    EXPECT_NE(r.err.find("[binary frame] 7 bytes"), std::string::npos);
}

TEST(decode_command, summary_counts_and_bad_options) {
    const auto r = run("gps={\"h\":1}\nx\ngps={}\ngps={\"h\":null,\"b\":\"1\"}\n", {"--summary"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("{\"lines\":4,\"ok\":2,\"error\":1,\"ignored\":1,\"binary\":0,\"seconds\":", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"lines_per_second\":"), std::string::npos);

    const auto bad = run("", {"--sumary"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("unknown option '--sumary'"), std::string::npos);
}
