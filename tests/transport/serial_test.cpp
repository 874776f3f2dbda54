#include "transport/serial.hpp"

#include <gtest/gtest.h>

#include <map>

#include "platform/manual_main_queue.hpp"
#include "transport/connection.hpp"
#include "transport/link_print.hpp"

using namespace plimsy;

namespace {

std::vector<std::uint8_t> bytes_of(std::string_view s) { return {s.begin(), s.end()}; }

// Ports that come and go as the test says; an open fails with whatever the
// test set for that name, and "not found" for a name not listed.
class fake_serial_port_t final : public serial_port_t {
public:
    std::vector<serial_port_info_t> ports;
    std::map<std::string, serial_result_t> refuse;
    std::vector<std::string> opened;  // every successful open, in order
    std::vector<std::uint8_t> written;
    std::string open_name;
    std::uint32_t open_baud = 0;
    serial_port_delegate_t* delegate = nullptr;

    std::vector<serial_port_info_t> available() const override { return ports; }
    void set_delegate(serial_port_delegate_t* d) override { delegate = d; }
    serial_result_t open(const std::string& name, std::uint32_t baud) override {
        close();
        if (auto it = refuse.find(name); it != refuse.end()) return it->second;
        bool listed = false;
        for (const auto& p : ports) listed |= p.name == name;
        if (!listed) return {serial_error_t::not_found, "No such file or directory"};
        open_name = name;
        open_baud = baud;
        opened.push_back(name);
        return {};
    }
    void close() override { open_name.clear(); }
    bool is_open() const override { return !open_name.empty(); }
    bool write(std::span<const std::uint8_t> b) override {
        if (!is_open()) return false;
        written.insert(written.end(), b.begin(), b.end());
        return true;
    }
    void receive(std::string_view s) {
        auto b = bytes_of(s);
        delegate->serial_received(b);
    }
    void unplug() {
        close();
        delegate->serial_stopped({serial_error_t::lost, "Input/output error"});
    }
};

struct recorder_t final : serial_delegate_t {
    std::vector<std::string> lines;
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> forwarded;
    std::vector<std::string> events;
    bool first_frame = true;

    void serial_connected(const std::string& port, std::uint32_t baud) override {
        events.push_back("connected " + port + " " + std::to_string(baud));
    }
    void serial_failed(const std::string& port, const std::string& message) override {
        events.push_back("failed " + port + ": " + message);
    }
    void forward_to_tcp(std::span<const std::uint8_t> b) override { forwarded.insert(forwarded.end(), b.begin(), b.end()); }
    void receive_line(std::string_view line) override { lines.emplace_back(line); }
    bool receive_arr(std::span<const std::uint8_t> b) override {
        frames.emplace_back(b.begin(), b.end());
        return std::exchange(first_frame, false);
    }
};

struct serial_fixture : ::testing::Test {
    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    captured_console_t console;
    fake_serial_port_t port;
    recorder_t rec;
    serial_t serial{rec, port, queue, console};

    void wait(double seconds) {
        clock.advance(seconds);
        queue.run_pending();
    }
};

serial_port_info_t usb(std::string name, std::string serial_number) {
    return {std::move(name), "USB Serial Device", "Plimsy", std::move(serial_number), 0x2fe3, 0x0100};
}

}  // namespace

TEST_F(serial_fixture, lines_frames_commands_and_the_bridge_go_where_they_belong) {
    port.ports = {usb("/dev/ttyACM0", "")};
    EXPECT_FALSE(serial.connect("ttyACM0", 1'000'000));  // a bare name means the device under /dev
    ASSERT_TRUE(serial.connected());
    EXPECT_EQ(port.open_name, "/dev/ttyACM0");
    EXPECT_EQ(port.open_baud, 1'000'000u);
    EXPECT_EQ(rec.events, std::vector<std::string>{"connected /dev/ttyACM0 1000000"});
    EXPECT_TRUE(serial.connect("/dev/ttyACM0", 1'000'000)) << "the same port at the same speed is already open";
    EXPECT_EQ(port.opened.size(), 1u);

    // A line cut across reads, CR LF ends, and an inner CR that ends nothing.
    port.receive("gravity={\"x\":1,");
    port.receive("\"y\":2,\"z\":3}\r\nboot\rok\n");
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"gravity={\"x\":1,\"y\":2,\"z\":3}", "bootok"}));
    EXPECT_EQ(rec.forwarded, bytes_of("gravity={\"x\":1,\"y\":2,\"z\":3}\r\nboot\rok\n")) << "raw, CRs included";

    // Binary data: delivered as a frame, and the first one is answered with 0x00.
    port.receive("\xfe\x01\x02");
    ASSERT_EQ(rec.frames.size(), 1u);
    EXPECT_EQ(rec.frames[0], bytes_of("\xfe\x01\x02"));
    EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x00});
    EXPECT_TRUE(serial.binary());
    port.receive("\xfe");
    EXPECT_EQ(port.written.size(), 1u) << "only the first frame after text is answered";
    port.receive("rtc={}\n");
    EXPECT_FALSE(serial.binary()) << "text after binary is read as text again";
    EXPECT_EQ(rec.lines.back(), "rtc={}");

    // Commands go out as they are; nothing is written once disconnected.
    port.written.clear();
    EXPECT_TRUE(serial.write(bytes_of("C\n")));
    EXPECT_EQ(port.written, bytes_of("C\n"));
    serial.disconnect();
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(serial.write(bytes_of("C\n")));
    EXPECT_EQ(serial.state(), serial_t::state_t::offline);
}

TEST_F(serial_fixture, an_unplugged_board_is_found_again_by_its_serial_number_under_a_new_name) {
    port.ports = {usb("/dev/ttyACM0", "E66038B7")};
    serial.connect("/dev/ttyACM0", 115200);
    ASSERT_TRUE(serial.connected());
    EXPECT_EQ(serial.serial_number(), "E66038B7");
    port.receive("half a li");

    port.ports.clear();
    port.unplug();
    EXPECT_EQ(serial.state(), serial_t::state_t::lost);
    EXPECT_EQ(serial.error(), serial_error_t::lost);
    EXPECT_EQ(rec.events.back(), "failed /dev/ttyACM0: /dev/ttyACM0 was unplugged: waiting for the board to come back");

    // Still absent: one more report (the reason changed), then quiet retries.
    wait(serial_t::retry_delay);
    EXPECT_EQ(serial.error(), serial_error_t::not_found);
    const auto reports = rec.events.size();
    wait(serial_t::retry_delay);
    wait(serial_t::retry_delay);
    EXPECT_EQ(rec.events.size(), reports) << "the same reason is not repeated every retry";
    EXPECT_EQ(queue.timers(), 1u) << "one retry pending at a time";

    // The kernel renumbered it, and another board now sits on the old name.
    port.ports = {usb("/dev/ttyACM0", "0BADC0DE"), usb("/dev/ttyACM1", "E66038B7")};
    wait(serial_t::retry_delay);
    ASSERT_TRUE(serial.connected());
    EXPECT_EQ(port.open_name, "/dev/ttyACM1");
    EXPECT_EQ(rec.events.back(), "connected /dev/ttyACM1 115200");
    EXPECT_EQ(serial.message(), "");

    // The half line from before the unplug does not glue onto new lines.
    port.receive("ne\nfresh\n");
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"ne", "fresh"}));
}

TEST_F(serial_fixture, a_port_that_cannot_be_opened_says_why_and_disconnect_stops_the_retries) {
    port.ports = {usb("/dev/ttyUSB0", "")};
    port.refuse["/dev/ttyUSB0"] = {serial_error_t::permission_denied, "Permission denied"};
    serial.connect("/dev/ttyUSB0", 115200);
    EXPECT_FALSE(serial.connected());
    EXPECT_EQ(serial.message(),
              "Permission denied opening /dev/ttyUSB0: add yourself to the dialout group "
              "(sudo adduser $USER dialout) and log in again");

    // Fixed while we wait (a udev rule, say): the next retry opens it.
    port.refuse.clear();
    wait(serial_t::retry_delay);
    EXPECT_TRUE(serial.connected());

    port.refuse["/dev/ttyUSB0"] = {serial_error_t::busy, "Device or resource busy"};
    port.unplug();
    wait(serial_t::retry_delay);
    EXPECT_EQ(serial.error(), serial_error_t::busy);
    EXPECT_NE(serial.message().find("in use by another program"), std::string::npos);

    serial.disconnect();
    port.refuse.clear();
    wait(serial_t::retry_delay);
    wait(serial_t::retry_delay);
    EXPECT_FALSE(serial.connected()) << "no retry after the user disconnected";
    EXPECT_EQ(port.opened.size(), 1u);
}

TEST(serial_target, port_and_optional_speed) {
    auto t = parse_serial_target("/dev/ttyACM0");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->port, "/dev/ttyACM0");
    EXPECT_EQ(t->baud, 115200u);
    t = parse_serial_target("/tmp/x/board:1000000");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->port, "/tmp/x/board");
    EXPECT_EQ(t->baud, 1'000'000u);
    for (const char* bad : {"", ":9600", "/dev/ttyACM0:", "/dev/ttyACM0:fast", "/dev/ttyACM0:9600x",
                            "/dev/ttyACM0:0", "/dev/ttyACM0:99999999999999999999"})
        EXPECT_FALSE(parse_serial_target(bad)) << bad;
}

TEST(serial_coordinator, status_commands_and_a_new_connection_clear_the_log) {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    manual_main_queue_t queue{clock};
    manual_altimeter_t altimeter;
    counting_haptics_t haptics;
    connection_t c{{clock, store, console, queue, altimeter, haptics, nullptr}};
    fake_serial_port_t* port = nullptr;
    c.set_serial_factory([&] {
        auto made = std::make_unique<fake_serial_port_t>();
        port = made.get();
        return made;
    });
    c.pipeline.set_log_enable(true);

    EXPECT_EQ(c.status_serial(), "offline");
    c.connect_serial("/dev/ttyACM0", 115200);
    ASSERT_NE(port, nullptr);
    const std::string missing = "/dev/ttyACM0 not found: is the board plugged in? Waiting for it";
    EXPECT_EQ(c.link_serial(), (link_state_t{link_kind_t::failed, "/dev/ttyACM0 115200", missing, false}));
    EXPECT_EQ(c.link_serial(), c.serial().link()) << "the coordinator and its transport agree";
    EXPECT_EQ(c.status_serial(), missing);
    EXPECT_EQ(c.sta_fg_serial(), colour_t::red);

    port->ports = {usb("/dev/ttyACM0", "")};
    clock.advance(serial_t::retry_delay);
    queue.run_pending();
    EXPECT_EQ(c.link_serial(), (link_state_t{link_kind_t::connected, "/dev/ttyACM0 115200", "", false}));
    EXPECT_EQ(c.status_serial(), "/dev/ttyACM0 115200");
    EXPECT_EQ(c.sta_fg_serial(), colour_t::secondary);
    // Asked again while open: nothing changes.
    c.connect_serial("/dev/ttyACM0", 115200);
    EXPECT_TRUE(c.link_serial().up());

    port->receive("boot\ngravity={\"x\":0.1,\"y\":0.2,\"z\":9.8}\n");
    EXPECT_EQ(c.pipeline.arr_rx().size(), 2u);
    c.send("C\n");
    EXPECT_EQ(port->written, bytes_of("C\n")) << "no prefix or postfix on a cable";

    port->unplug();
    EXPECT_EQ(c.link_serial().kind, link_kind_t::lost);
    EXPECT_EQ(c.link_serial(), c.serial().link());
    EXPECT_EQ(c.sta_fg_serial(), colour_t::red);
    EXPECT_NE(c.status_serial().find("unplugged"), std::string::npos);
    EXPECT_EQ(c.status_serial(), c.link_serial().error);
    clock.advance(serial_t::retry_delay);
    queue.run_pending();
    EXPECT_TRUE(c.link_serial().up());
    EXPECT_EQ(c.sta_fg_serial(), colour_t::secondary);
    EXPECT_TRUE(c.pipeline.arr_rx().empty()) << "a new connection starts a new log";

    c.disconnect();
    EXPECT_EQ(c.link_serial(), (link_state_t{link_kind_t::offline, "", "", true}));
    EXPECT_EQ(c.serial().link(), c.link_serial());
    EXPECT_EQ(c.status_serial(), "offline");
    EXPECT_EQ(c.sta_fg_serial(), colour_t::accent);
    EXPECT_FALSE(c.serial().enabled());
    EXPECT_FALSE(port->is_open());
}

TEST(serial_target, ports_are_described_by_what_usb_says_about_them) {
    EXPECT_EQ(describe_port(usb("/dev/ttyACM0", "E66038B7")),
              "/dev/ttyACM0  USB Serial Device (Plimsy, 2fe3:0100, serial E66038B7)");
    EXPECT_EQ(describe_port({"/dev/ttyS0", "", "", "", std::nullopt, std::nullopt}), "/dev/ttyS0")
        << "a port on the mainboard has nothing to add";
    EXPECT_EQ(describe_port({"/dev/ttyUSB0", "", "FTDI", "", 0x0403, std::nullopt}), "/dev/ttyUSB0  (FTDI)");
}
