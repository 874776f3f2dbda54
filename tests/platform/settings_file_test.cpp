// The settings file: what survives damage, limits on what is read, and
// the writer thread that keeps the disk off the caller's thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/settings_file.hpp"

namespace plimsy {
namespace {

namespace fs = std::filesystem;
using strings = std::vector<std::string>;
using ints = std::vector<std::int64_t>;
using ::testing::HasSubstr;

// Built by appending: GCC 12's optimiser warns falsely (-Wrestrict) about
// std::string::replace and about a literal added to a temporary string.
std::string with_byte_at(const std::string& text, std::size_t at, char byte) {
    std::string out = text;
    out[at] = byte;
    return out;
}

std::string key_named(int k) {
    std::string key = "k";
    key += std::to_string(k);
    return key;
}

struct settings_file_fixture : ::testing::Test {
    fs::path dir;
    fs::path file;
    captured_console_t console;

    void SetUp() override {
        char templ[] = "/tmp/settings_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        file = dir / "Plimsy" / "Plimsy_sensors.json";
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string contents(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void put(const std::string& text) const {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }
    // The files kept aside as damaged.
    std::vector<fs::path> kept() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(file.parent_path()))
            if (e.path().filename().string().starts_with("Plimsy_sensors.json.corrupt-")) out.push_back(e.path());
        return out;
    }
};

// A file as the application writes it: every kind of value.
void write_everything(settings_store_t& store) {
    store.write("enable_ble", false);
    store.write("hmc5883.0.x_min", std::int64_t{-321});
    store.write("history_ble_name", strings{"Plimsy:91 \"UART\"", "b\u00e4r \\ \u2603\n"});
    store.write("history_host", strings{"127.0.0.1", "10.0.0.2"});
    store.write("history_port", ints{8081, 81});
    store.write("empty", ints{});
}

TEST_F(settings_file_fixture, values_keep_their_types_one_line_each) {
    {
        file_settings_store_t store(file, console);
        EXPECT_TRUE(store.notice().empty());
        write_everything(store);
        store.write("gone", true);
        store.remove("gone");
        // Reads come from memory at once, before the file is written.
        EXPECT_EQ(store.read_int("hmc5883.0.x_min"), -321);
    }
    const std::string text = contents(file);
    EXPECT_THAT(text, HasSubstr("\n    \"enable_ble\": false,\n"));
    EXPECT_THAT(text, HasSubstr("\n    \"history_port\": [8081, 81],\n"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("gone")));
    const settings_parse_t parsed = parse_settings_json(text);
    EXPECT_TRUE(parsed.intact);
    EXPECT_TRUE(parsed.dropped.empty());

    file_settings_store_t again(file, console);
    EXPECT_EQ(again.read_bool("enable_ble"), false);
    EXPECT_EQ(again.read_int("hmc5883.0.x_min"), -321);
    EXPECT_EQ(again.read_string_array("history_ble_name"), (strings{"Plimsy:91 \"UART\"", "b\u00e4r \\ \u2603\n"}));
    EXPECT_EQ(again.read_int_array("history_port"), (ints{8081, 81}));
    EXPECT_EQ(again.read_string_array("empty"), strings{});
    EXPECT_TRUE(again.notice().empty());
    EXPECT_TRUE(kept().empty());

    // A file in the layout of earlier versions (arrays over several lines,
    // numbers written as floats, escapes) reads the same.
    put("{\n    \"history_host\": [\n        \"10.0.0.1\"\n    ],\n    \"history_port\": [\n        81.0\n    ],\n"
        "    \"name\": \"\\u00e4\\ud83d\\ude00\\/\"\n}\n");
    file_settings_store_t earlier(file, console);
    EXPECT_TRUE(earlier.notice().empty());
    EXPECT_EQ(earlier.read_string_array("history_host"), strings{"10.0.0.1"});
    EXPECT_EQ(earlier.read_int_array("history_port"), ints{81});
    EXPECT_EQ(earlier.read_string("name"), "\u00e4\U0001F600/");
}

TEST_F(settings_file_fixture, damaged_files_are_kept_aside_and_what_is_intact_recovered) {
    std::string good;
    {
        file_settings_store_t store(file, console);
        write_everything(store);
    }
    good = contents(file);

    struct damage_t {
        const char* what;
        std::string text;
        strings recovered;  // keys expected back
    };
    const strings all = {"empty", "enable_ble", "history_ble_name", "history_host", "history_port",
                         "hmc5883.0.x_min"};
    const std::size_t port_line = good.find("    \"history_port\"");
    const std::vector<damage_t> damages = {
        // The end cut off: every setting before it is whole.
        {"closing brace lost", good.substr(0, good.size() - 2), all},
        // A number that runs to the end of the text may have lost digits,
        // so it goes, even if it happens to be whole.
        {"three bytes cut", good.substr(0, good.size() - 3), strings(all.begin(), all.end() - 1)},
        {"cut in the last number", good.substr(0, good.find("-321") + 3), strings(all.begin(), all.end() - 1)},
        // One line overwritten: the settings on the other lines survive.
        {"line garbled", good.substr(0, port_line) + "    \"history_p\x01rt\": [80\n" + good.substr(good.find('\n', port_line) + 1),
         {"empty", "enable_ble", "history_ble_name", "history_host", "hmc5883.0.x_min"}},
        // A byte that is not UTF-8 inside a text.
        {"bad byte", with_byte_at(good, good.find("10.0.0.2") + 2, '\xff'),
         {"empty", "enable_ble", "history_ble_name", "history_port", "hmc5883.0.x_min"}},
        {"not JSON", "{ not json", {}},
        {"empty file", "", {}},
    };
    for (const damage_t& d : damages) {
        SCOPED_TRACE(d.what);
        fs::remove_all(file.parent_path());
        put(d.text);
        console.clear();
        strings keys;
        std::string notice;
        {
            file_settings_store_t store(file, console);
            for (const auto& [key, value] : store.values()) keys.push_back(key);
            notice = store.notice();
        }
        EXPECT_EQ(keys, d.recovered);
        // The damaged file is kept byte for byte beside the new one, and
        // both the window's notice and the console say so.
        const auto aside = kept();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(contents(aside[0]), d.text);
        EXPECT_THAT(notice, HasSubstr("was damaged"));
        EXPECT_THAT(notice, HasSubstr("kept as " + aside[0].filename().string()));
        EXPECT_THAT(notice, HasSubstr(d.recovered.empty() ? "nothing could be recovered"
                                                          : std::to_string(d.recovered.size()) + " setting"));
        EXPECT_THAT(console.lines(), ::testing::Contains("settings: " + notice));
        // What was recovered is in a good file again, without waiting for
        // the next change.
        const settings_parse_t now = parse_settings_json(contents(file));
        EXPECT_TRUE(now.intact);
        EXPECT_EQ(now.values.size(), d.recovered.size());
    }
}

TEST_F(settings_file_fixture, what_is_read_is_bounded) {
    // A file far beyond what settings take is read only up to the limit;
    // the settings at its start are kept, the file is set aside.
    {
        std::string big = "{\n    \"enable_ble\": false,\n    \"history_host\": [";
        while (big.size() < settings_limits_t::file_bytes + 4096) big += "\"10.0.0.1\", ";
        big += "\"10.0.0.1\"]\n}\n";
        put(big);
        file_settings_store_t store(file, console);
        EXPECT_EQ(store.read_bool("enable_ble"), false);
        EXPECT_FALSE(store.read("history_host"));
        EXPECT_THAT(store.notice(), HasSubstr("is larger than 1024 KiB"));
        EXPECT_EQ(kept().size(), 1u);
    }
    // Within the size limit: texts and arrays beyond theirs and values of
    // kinds the settings do not keep are dropped with a line each; the
    // file itself is sound and stays where it is.
    console.clear();
    fs::remove_all(file.parent_path());
    std::string hosts;
    for (int i = 0; i < 20000; ++i) hosts += "\"10.0.0.1\",";
    put("{\"a\": \"" + std::string(settings_limits_t::text_bytes + 1, 'x') + "\", \"b\": 1.5, \"c\": null,"
        " \"d\": {\"e\": [1, {\"f\": true}]}, \"history_host\": [" + hosts + "\"10.0.0.1\"], \"names\": [\"ok\", \"" +
        std::string(5000, 'y') + "\"], \"mixed\": [1, \"x\"], \"big\": 12345678901234567890, \"kept\": true}");
    {
        file_settings_store_t store(file, console);
        for (const char* gone : {"a", "b", "c", "d", "mixed", "big"}) EXPECT_FALSE(store.read(gone)) << gone;
        ASSERT_TRUE(store.read_string_array("history_host"));
        EXPECT_EQ(store.read_string_array("history_host")->size(), settings_limits_t::array_entries);
        EXPECT_EQ(store.read_string_array("names"), strings{"ok"});
        EXPECT_EQ(store.read_bool("kept"), true);
        EXPECT_TRUE(store.notice().empty());
    }
    const auto lines = console.lines();
    EXPECT_THAT(lines, ::testing::Contains("settings: \"history_host\": 20001 entries; kept the first 100"));
    EXPECT_THAT(lines, ::testing::Contains("settings: \"a\": a text of 4097 bytes (more than 4096); dropped"));
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("\"names\": dropped 1 text(s) longer than 4096")));
    EXPECT_THAT(lines, ::testing::Contains("settings: \"b\": not a whole number in range; dropped"));
    EXPECT_TRUE(kept().empty());

    // Nesting deeper than any setting is damage and does not exhaust the
    // stack; the settings on the following lines are still read.
    fs::remove_all(file.parent_path());
    put("{\n    \"deep\": " + std::string(100000, '[') + std::string(100000, ']') + ",\n    \"kept\": true\n}\n");
    file_settings_store_t store(file, console);
    EXPECT_FALSE(store.read("deep"));
    EXPECT_EQ(store.read_bool("kept"), true);
    EXPECT_EQ(kept().size(), 1u);
}

// Many changes in a burst: each is handed over at once, the file ends up
// with the last one, and the writer never writes a stale copy last.
TEST_F(settings_file_fixture, the_last_change_wins_and_reaches_the_file) {
    {
        file_settings_store_t store(file, console);
        for (std::int64_t i = 0; i < 500; ++i) store.write("count", i);
        store.apply({{"a", std::int64_t{1}}, {"b", std::int64_t{2}}, {"count", std::nullopt}});
        EXPECT_EQ(store.changes_posted(), 501u);
        store.flush();
        EXPECT_EQ(parse_settings_json(contents(file)).values,
                  (settings_map_t{{"a", std::int64_t{1}}, {"b", std::int64_t{2}}}));
        // The store goes on writing after a flush.
        store.write("count", std::int64_t{7});
    }
    file_settings_store_t again(file, console);
    EXPECT_EQ(again.read_int("count"), 7);
    EXPECT_EQ(again.read_int("b"), 2);
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(settings_file_fixture, a_failing_disk_is_reported_once_and_the_values_kept) {
    // The settings directory cannot be made: a file stands in its place.
    fs::create_directories(dir);
    std::ofstream(file.parent_path()) << "in the way";
    file_settings_store_t store(file, console);
    store.write("a", true);
    store.flush();
    store.write("b", true);
    store.flush();
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("settings: could not save " + file.string()));
    EXPECT_EQ(store.read_bool("a"), true);

    fs::remove(file.parent_path());
    store.write("c", true);
    store.flush();
    EXPECT_EQ(console.lines().back(), "settings: saved " + file.string() + " again");
    EXPECT_EQ(parse_settings_json(contents(file)).values.size(), 3u);
}

// A process killed at any moment of its writes leaves the old file or a
// new one, whole: the writer replaces the file by renaming a finished copy.
// Large values make each write long, so the looks and kills land inside
// writes.
TEST_F(settings_file_fixture, a_killed_writer_leaves_a_whole_file) {
    fs::create_directories(file.parent_path());
    for (int round = 0; round < 4; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            null_console_t quiet;
            file_settings_store_t store(file, quiet);
            for (std::int64_t i = 0;; ++i) {
                std::vector<setting_change_t> changes;
                for (int k = 0; k < 60; ++k)
                    changes.push_back({key_named(k), std::string(2000, static_cast<char>('a' + i % 26))});
                changes.push_back({"generation", i});
                store.apply(changes);
                store.flush();
            }
        }
        // While it writes, whoever reads the file finds it whole.
        for (int look = 0; look < 30; ++look) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + round));
            if (!fs::exists(file)) continue;
            const settings_parse_t now = parse_settings_json(contents(file));
            EXPECT_TRUE(now.intact && now.values.size() == 61u) << "round " << round << ", look " << look;
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!fs::exists(file)) continue;  // killed before the first write finished
        const settings_parse_t parsed = parse_settings_json(contents(file));
        EXPECT_TRUE(parsed.intact) << "round " << round;
        EXPECT_EQ(parsed.values.size(), 61u) << "round " << round;
    }
}

}  // namespace
}  // namespace plimsy
