#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/broker_url.hpp"
#include "config/config_connection.hpp"

namespace plimsy {
namespace {

using strings = std::vector<std::string>;
using ports = std::vector<std::uint16_t>;
using stored_ints = std::vector<std::int64_t>;

class recording_requests_t final : public connection_requests_t {
public:
    void connect_ble(const std::string& name) override { calls.push_back("ble " + name); }
    void connect_tcp(const std::string& host, std::uint16_t port) override {
        calls.push_back("tcp " + host + ":" + std::to_string(port));
    }
    void connect_serial(const std::string& port, std::uint32_t baud) override {
        calls.push_back("serial " + port + ":" + std::to_string(baud));
    }
    void connect_mqtt(const mqtt_request_t& r) override {
        calls.push_back("mqtt " + r.url + " user=" + r.user + " board=" + r.board + " ca=" + r.ca_file);
    }
    void disconnect() override { calls.push_back("disconnect"); }
    strings calls;
};

struct fixture_t {
    memory_settings_store_t store;
    captured_console_t console;
};

TEST(config_connection, host_validation) {
    const auto valid = [](const char* text) { return config_connection_t::validate_host(text); };
    EXPECT_EQ(valid("192.168.1.20"), "192.168.1.20");
    EXPECT_EQ(valid("010.001.002.003"), "10.1.2.3");
    EXPECT_EQ(valid("1.0.255.3"), "1.0.255.3");
    EXPECT_EQ(valid("+1.2.3.4"), "1.2.3.4");
    for (const char* bad : {"0.1.2.3", "255.1.2.3", "1.2.3.0", "1.2.3.255", "1.256.3.4", "1.2.3", "1..2.3",
                            "1.2.3.4.5", "", "1.2.3.4.", " 1.2.3.4", "1.2.3.4 ", "1.-2.3.4", "a.b.c.d", "1,2,3,4"}) {
        EXPECT_FALSE(valid(bad)) << bad;
    }

    fixture_t f;
    config_connection_t cfg(f.store, f.console);
    EXPECT_EQ(cfg.host_bind(), "192.168.1.20") << "untouched buffer reads the current host";
    std::string host_at_signal;
    auto sub = cfg.subscribe([&] { host_at_signal = cfg.host(); });

    cfg.set_host_bind("10,0,0,7");
    EXPECT_EQ(cfg.host_bind(), "10.0.0.7");
    EXPECT_TRUE(cfg.host_valid());
    EXPECT_EQ(cfg.host(), "10.0.0.7");
    EXPECT_EQ(host_at_signal, "192.168.1.20") << "announced before the change";

    cfg.set_host_bind("192.168.1.300");
    EXPECT_EQ(cfg.host_bind(), "192.168.1.300") << "the buffer keeps what was typed";
    EXPECT_FALSE(cfg.host_valid());
    EXPECT_EQ(cfg.host(), "10.0.0.7");

    cfg.set_host_bind("010.001.002.003");
    EXPECT_TRUE(cfg.host_valid());
    EXPECT_EQ(cfg.host_bind(), "010.001.002.003");
    EXPECT_EQ(cfg.host(), "10.1.2.3");
    EXPECT_EQ(cfg.history_host().front(), "192.168.1.20") << "typing does not commit";
}

TEST(config_connection, port_validation) {
    fixture_t f;
    config_connection_t cfg(f.store, f.console);
    EXPECT_EQ(cfg.port_bind(), "81");
    for (const char* bad : {"0", "65536", "8o", "", "-1", "99999999999", " 80"}) {
        cfg.set_port_bind(bad);
        EXPECT_FALSE(cfg.port_valid()) << bad;
        EXPECT_EQ(cfg.port_bind(), bad);
        EXPECT_EQ(cfg.port(), 81) << bad;
    }
    cfg.set_port_bind("8080");
    EXPECT_TRUE(cfg.port_valid());
    EXPECT_EQ(cfg.port(), 8080);
    cfg.set_port_bind("65535");
    EXPECT_EQ(cfg.port(), 65535);
    EXPECT_EQ(cfg.history_port(), ports{81});
}

TEST(config_connection, start_with_an_empty_store) {
    fixture_t f;
    config_connection_t cfg(f.store, f.console);
    EXPECT_FALSE(cfg.show_config());
    EXPECT_FALSE(cfg.enable_bridge());
    EXPECT_TRUE(cfg.enable_ble());
    EXPECT_TRUE(cfg.host_valid());
    EXPECT_TRUE(cfg.port_valid());
    EXPECT_EQ(cfg.ble_name(), "Plimsy:91 UART");
    EXPECT_EQ(cfg.history_ble_name(), config_connection_t::default_ble_name);
    EXPECT_EQ(cfg.host(), "192.168.1.20");
    const auto& d = config_connection_t::default_host;
    ASSERT_EQ(d.size(), 6u);
    EXPECT_EQ(d[2], "192.168.1.20");
    for (const auto& h : d) EXPECT_EQ(config_connection_t::validate_host(h), h);
    EXPECT_EQ(cfg.history_host(), (strings{d[2], d[0], d[1], d[3], d[4], d[5]}));
    EXPECT_EQ(cfg.port(), 81);
    EXPECT_EQ(cfg.history_port(), ports{81});

    // Only the histories are written; the flags wait for their first change.
    const auto& v = f.store.values();
    EXPECT_EQ(v.size(), 4u);
    EXPECT_EQ(f.store.read_string_array("history_ble_name"), config_connection_t::default_ble_name);
    EXPECT_EQ(f.store.read_string_array("history_host"), cfg.history_host());
    EXPECT_EQ(f.store.read_int_array("history_port"), stored_ints{81});
    EXPECT_EQ(f.store.read_string_array("history_serial_port"), config_connection_t::default_serial_port);
    EXPECT_TRUE(f.console.lines().empty());
}

TEST(config_connection, histories_are_most_recently_used) {
    fixture_t f;
    config_connection_t cfg(f.store, f.console);

    // Already first: history unchanged, yet written again.
    f.store.remove("history_host");
    EXPECT_EQ(cfg.commit_host("192.168.1.20"), "192.168.1.20");
    EXPECT_EQ(f.store.read_string_array("history_host"), cfg.history_host());
    EXPECT_EQ(cfg.history_host().size(), 6u);

    // Position 5 moves to the front without a duplicate.
    const std::string fifth = cfg.history_host()[4];
    cfg.commit_host(fifth);
    EXPECT_EQ(cfg.history_host().front(), fifth);
    EXPECT_EQ(std::count(cfg.history_host().begin(), cfg.history_host().end(), fifth), 1);
    EXPECT_EQ(cfg.history_host().size(), 6u);

    // Normalised before it is compared and stored.
    EXPECT_EQ(cfg.commit_host("010.000.000.001"), "10.0.0.1");
    EXPECT_EQ(cfg.host_bind(), "10.0.0.1");
    EXPECT_EQ(cfg.history_host().front(), "10.0.0.1");

    // Fill past the cap: ten entries, newest first, oldest gone.
    const std::string oldest = cfg.history_host().back();
    for (int i = 1; i <= 10; ++i) cfg.commit_host("10.9.9." + std::to_string(i));
    ASSERT_EQ(cfg.history_host().size(), 10u);
    EXPECT_EQ(cfg.history_host().front(), "10.9.9.10");
    EXPECT_EQ(cfg.history_host().back(), "10.9.9.1");
    EXPECT_EQ(std::count(cfg.history_host().begin(), cfg.history_host().end(), oldest), 0);
    EXPECT_EQ(f.store.read_string_array("history_host"), cfg.history_host());

    // An invalid host falls back to the newest entry and leaves the buffer on it.
    cfg.set_host_bind("1.2.3");
    EXPECT_EQ(cfg.commit_host("1.2.3"), "10.9.9.10");
    EXPECT_EQ(cfg.host_bind(), "10.9.9.10");
    EXPECT_EQ(cfg.history_host().size(), 10u);

    // Port 0 is "no value": the newest port stays.
    EXPECT_EQ(cfg.commit_port(8080), 8080);
    EXPECT_EQ(cfg.commit_port(9000), 9000);
    EXPECT_EQ(cfg.commit_port(8080), 8080);
    EXPECT_EQ(cfg.history_port(), (ports{8080, 9000, 81}));
    EXPECT_EQ(cfg.commit_port(0), 8080);
    EXPECT_EQ(cfg.port_bind(), "8080");
    EXPECT_EQ(f.store.read_int_array("history_port"), (stored_ints{8080, 9000, 81}));

    // An empty name is "no value"; any other name is taken as it is.
    EXPECT_EQ(cfg.commit_ble_name(" odd name "), " odd name ");
    cfg.set_ble_name("");
    EXPECT_EQ(cfg.commit_ble_name(cfg.ble_name()), " odd name ");
    EXPECT_EQ(cfg.ble_name(), " odd name ");
    EXPECT_EQ(cfg.history_ble_name().size(), 4u);
}

TEST(config_connection, persistence_round_trip) {
    fixture_t f;
    {
        config_connection_t cfg(f.store, f.console);
        cfg.set_enable_bridge(true);
        cfg.set_enable_ble(false);
        cfg.commit_ble_name("brambleB22 UART");
        cfg.commit_host("10.0.0.99");
        cfg.commit_port(8081);
        EXPECT_EQ(f.store.read("enable_bridge"), setting_value_t(true));
        EXPECT_EQ(f.store.read("enable_ble"), setting_value_t(false));
    }
    // A repeated stored entry is dropped as it would be on commit.
    f.store.write("history_ble_name", strings{"x UART", "y UART", "x UART"});

    config_connection_t again(f.store, f.console, "ignored UART", "10.1.1.1", 1234);
    EXPECT_TRUE(again.enable_bridge());
    EXPECT_FALSE(again.enable_ble());
    EXPECT_EQ(again.ble_name(), "x UART");
    EXPECT_EQ(again.history_ble_name(), (strings{"x UART", "y UART"}));
    EXPECT_EQ(f.store.read_string_array("history_ble_name"), again.history_ble_name());
    EXPECT_EQ(again.host(), "10.0.0.99");
    EXPECT_EQ(again.history_host().size(), 7u);
    EXPECT_EQ(again.port(), 8081);
    EXPECT_EQ(again.history_port(), (ports{8081, 81}));
    EXPECT_EQ(again.host_bind(), "10.0.0.99");
    EXPECT_EQ(again.port_bind(), "8081");
}

TEST(config_connection, mistyped_stored_values_are_ignored) {
    fixture_t f;
    f.store.write("enable_bridge", std::string("true"));
    f.store.write("enable_ble", std::int64_t{0});
    f.store.write("history_ble_name", std::string("Plimsy:91 UART"));
    f.store.write("history_host", stored_ints{10, 0, 0, 1});
    f.store.write("history_port", strings{"8080"});
    config_connection_t cfg(f.store, f.console, "mine UART", "10.2.3.4", 4321);
    EXPECT_FALSE(cfg.enable_bridge());
    EXPECT_TRUE(cfg.enable_ble());
    EXPECT_EQ(cfg.ble_name(), "mine UART");
    EXPECT_EQ(cfg.history_ble_name().front(), "mine UART");
    EXPECT_EQ(cfg.host(), "10.2.3.4");
    EXPECT_EQ(cfg.port(), 4321);
    EXPECT_EQ(cfg.history_port(), (ports{4321, 81}));
    // The mistyped histories were replaced with well-typed ones.
    EXPECT_EQ(f.store.read_string_array("history_host"), cfg.history_host());
    EXPECT_EQ(f.store.read_int_array("history_port"), (stored_ints{4321, 81}));

    // Empty histories, and histories of nothing but unusable entries, count
    // as absent too.
    fixture_t g;
    g.store.write("history_port", stored_ints{0, 70000});
    g.store.write("history_host", strings{});
    config_connection_t other(g.store, g.console, "a UART", "10.2.3.4", 4321);
    EXPECT_EQ(other.port(), 4321);
    EXPECT_EQ(other.host(), "10.2.3.4");
}

TEST(config_connection, delete_config) {
    fixture_t f;
    config_connection_t cfg(f.store, f.console);
    cfg.set_enable_bridge(true);
    cfg.commit_ble_name("other UART");
    cfg.commit_host("10.0.0.99");
    cfg.commit_port(8081);
    ASSERT_EQ(f.store.values().size(), 5u);

    cfg.delete_config();
    EXPECT_TRUE(f.store.values().empty());
    EXPECT_EQ(f.console.lines(), strings{"delete_config"});
    EXPECT_EQ(cfg.history_ble_name(), config_connection_t::default_ble_name);
    EXPECT_EQ(cfg.history_host(), config_connection_t::default_host);
    EXPECT_EQ(cfg.history_port(), config_connection_t::default_port);
    EXPECT_TRUE(cfg.enable_bridge());
    EXPECT_EQ(cfg.ble_name(), "other UART");
    EXPECT_EQ(cfg.host(), "10.0.0.99");
    EXPECT_EQ(cfg.port(), 8081);

    // Deleting at construction starts from the defaults whatever was stored.
    cfg.set_enable_ble(false);
    cfg.commit_host("10.0.0.98");
    config_connection_t fresh(f.store, f.console, "Plimsy:91 UART", "192.168.1.20", 81, true);
    EXPECT_TRUE(fresh.enable_ble());
    EXPECT_EQ(fresh.host(), "192.168.1.20");
    EXPECT_EQ(f.console.lines().size(), 2u);
    EXPECT_FALSE(f.store.read("enable_ble"));
}

TEST(config_connection, connect_from_config) {
    fixture_t f;
    config_connection_t cfg(f.store, f.console);
    recording_requests_t requests;

    connect_from_config(cfg, requests);
    EXPECT_EQ(requests.calls, strings{"ble Plimsy:91 UART"});

    // BLE mode ignores TCP values entirely, and commits what it uses.
    requests.calls.clear();
    cfg.set_host_bind("10.0.0.5");
    cfg.set_ble_name("brambleA1 UART");
    connect_from_config(cfg, requests);
    EXPECT_EQ(requests.calls, strings{"ble brambleA1 UART"});
    EXPECT_EQ(cfg.history_ble_name().front(), "brambleA1 UART");
    EXPECT_EQ(cfg.history_host().front(), "192.168.1.20");

    // TCP mode uses the host and port last typed validly.
    requests.calls.clear();
    cfg.set_enable_ble(false);
    cfg.set_port_bind("8080");
    cfg.set_port_bind("80800");
    connect_from_config(cfg, requests);
    EXPECT_EQ(requests.calls, strings{"tcp 10.0.0.5:8080"});
    EXPECT_EQ(cfg.history_host().front(), "10.0.0.5");
    EXPECT_EQ(cfg.history_port().front(), 8080);
    EXPECT_EQ(cfg.port_bind(), "8080") << "the buffer follows the committed port";

    // Bridge mode connects BLE first, then TCP, whatever enable_ble says.
    requests.calls.clear();
    cfg.set_enable_bridge(true);
    cfg.set_ble_name("");
    connect_from_config(cfg, requests);
    EXPECT_EQ(requests.calls, (strings{"ble brambleA1 UART", "tcp 10.0.0.5:8080"}));
    EXPECT_EQ(cfg.ble_name(), "brambleA1 UART");
}

TEST(config_connection, serial_port_speed_and_choice_are_kept_and_used) {
    fixture_t f;
    recording_requests_t requests;
    {
        config_connection_t cfg(f.store, f.console);
        EXPECT_FALSE(cfg.enable_serial());
        EXPECT_EQ(cfg.serial_port(), "/dev/ttyACM0");
        EXPECT_EQ(cfg.serial_baud(), 115200u);

        cfg.set_enable_serial(true);
        cfg.set_serial_port("/dev/ttyUSB3");
        EXPECT_TRUE(cfg.set_serial_baud(1'000'000));
        EXPECT_FALSE(cfg.set_serial_baud(0));
        EXPECT_FALSE(cfg.set_serial_baud(5'000'000));
        EXPECT_EQ(cfg.serial_baud(), 1'000'000u);
        connect_from_config(cfg, requests);
        EXPECT_EQ(requests.calls, strings{"serial /dev/ttyUSB3:1000000"}) << "serial wins over enable_ble";
        EXPECT_EQ(cfg.history_serial_port(), (strings{"/dev/ttyUSB3", "/dev/ttyACM0", "/dev/ttyUSB0"}));

        // Bridge mode: the board on the cable, then the TCP peer.
        requests.calls.clear();
        cfg.set_enable_bridge(true);
        cfg.set_serial_port("");
        connect_from_config(cfg, requests);
        EXPECT_EQ(requests.calls, (strings{"serial /dev/ttyUSB3:1000000", "tcp 192.168.1.20:81"}))
            << "an empty port falls back to the newest history entry";
        cfg.set_enable_bridge(false);
    }
    {
        // Everything comes back at the next start.
        config_connection_t cfg(f.store, f.console);
        EXPECT_TRUE(cfg.enable_serial());
        EXPECT_EQ(cfg.serial_port(), "/dev/ttyUSB3");
        EXPECT_EQ(cfg.serial_baud(), 1'000'000u);

        // Choosing TCP (or BLE) leaves the cable, and that is saved too.
        cfg.set_enable_ble(false);
        EXPECT_FALSE(cfg.enable_serial());
        requests.calls.clear();
        connect_from_config(cfg, requests);
        EXPECT_EQ(requests.calls, strings{"tcp 192.168.1.20:81"});
        EXPECT_EQ(f.store.read_bool("enable_serial"), false);

        cfg.delete_config();
        EXPECT_EQ(cfg.history_serial_port(), config_connection_t::default_serial_port);
        EXPECT_FALSE(f.store.read("history_serial_port"));
        EXPECT_FALSE(f.store.read("serial_baud"));
        EXPECT_FALSE(f.store.read("enable_serial"));
    }
    {
        // A speed that no port takes, or of another type, is ignored.
        fixture_t g;
        g.store.write("serial_baud", std::int64_t{7});
        g.store.write("enable_serial", std::string("yes"));
        config_connection_t cfg(g.store, g.console);
        EXPECT_EQ(cfg.serial_baud(), 115200u);
        EXPECT_FALSE(cfg.enable_serial());
        g.store.write("serial_baud", std::string("9600"));
        config_connection_t again(g.store, g.console);
        EXPECT_EQ(again.serial_baud(), 115200u);
    }
}

}  // namespace
}  // namespace plimsy

namespace plimsy {
namespace {

TEST(broker_url, accepted_and_refused_with_reasons) {
    std::string why;
    auto u = parse_broker_url("mqtt://127.0.0.1", why);
    ASSERT_TRUE(u);
    EXPECT_FALSE(u->tls);
    EXPECT_EQ(u->where(), "127.0.0.1:1883");
    u = parse_broker_url(" MQTTS://broker.example.org:8884/ ", why);
    ASSERT_TRUE(u) << why;
    EXPECT_TRUE(u->tls);
    EXPECT_EQ(u->where(), "broker.example.org:8884");
    u = parse_broker_url("mqtts://[::1]", why);
    ASSERT_TRUE(u) << why;
    EXPECT_EQ(u->where(), "[::1]:8883");

    const auto refused = [](const char* text) {
        std::string why;
        EXPECT_FALSE(parse_broker_url(text, why)) << text;
        return why;
    };
    EXPECT_EQ(refused(""), "Enter the broker's URL: mqtt://host:1883 or mqtts://host:8883");
    EXPECT_EQ(refused("tcp://127.0.0.1:1883"), "The URL must start with mqtt:// or mqtts:// (TLS)");
    EXPECT_EQ(refused("127.0.0.1:1883"), "The URL must start with mqtt:// or mqtts:// (TLS)");
    EXPECT_EQ(refused("mqtt://ann:pw@127.0.0.1"), "Put the user name and password in their own fields, not in the URL");
    EXPECT_EQ(refused("mqtt://127.0.0.1:0"), "The port must be a number from 1 to 65535");
    EXPECT_EQ(refused("mqtt://127.0.0.1:65536"), "The port must be a number from 1 to 65535");
    EXPECT_EQ(refused("mqtt://127.0.0.1:99999999999"), "The port must be a number from 1 to 65535");
    EXPECT_EQ(refused("mqtt://127.0.0.1:"), "The port is missing after the colon");
    EXPECT_EQ(refused("mqtt://:1883"), "The URL has no host");
    EXPECT_EQ(refused("mqtt://host/topic"), "A broker URL has no path: mqtt://host:port");
    EXPECT_EQ(refused("mqtt://ho st"), "Not a host name or address: ho st");
    EXPECT_EQ(refused("mqtt://[::1"), "An IPv6 address needs its closing bracket: mqtt://[::1]:1883");

    EXPECT_TRUE(valid_board_id("desk-1"));
    EXPECT_TRUE(valid_board_id("Plimsy_91_UART"));
    for (const std::string& bad : strings{"", "a/b", "a+", "#", "a\nb", std::string(129, 'x'), "\xff"})
        EXPECT_FALSE(valid_board_id(bad)) << bad;
}

TEST(config_connection, mqtt_settings_are_kept_without_the_password_and_win_until_another_link_is_chosen) {
    fixture_t f;
    recording_requests_t requests;
    {
        config_connection_t cfg(f.store, f.console);
        EXPECT_FALSE(cfg.enable_mqtt());
        EXPECT_FALSE(cfg.mqtt_url_valid()) << "nothing typed yet";
        cfg.set_mqtt_url("mqtt://127.0.0.1:99999");
        EXPECT_EQ(cfg.mqtt_url_error(), "The port must be a number from 1 to 65535");
        cfg.set_enable_mqtt(true);
        connect_from_config(cfg, requests);
        EXPECT_TRUE(requests.calls.empty()) << "an unusable URL connects nothing";
        EXPECT_FALSE(f.store.read("mqtt_url")) << "and is not saved";

        cfg.set_mqtt_url("mqtts://127.0.0.1:8883");
        EXPECT_TRUE(cfg.mqtt_url_valid());
        cfg.set_mqtt_user("ann");
        cfg.set_mqtt_board("desk-1");
        cfg.set_mqtt_ca_file("/etc/plimsy/ca.pem");
        cfg.set_enable_bridge(false);
        connect_from_config(cfg, requests);
        EXPECT_EQ(requests.calls, strings{"mqtt mqtts://127.0.0.1:8883 user=ann board=desk-1 ca=/etc/plimsy/ca.pem"});
        EXPECT_EQ(f.store.read_string("mqtt_board"), "desk-1");
        EXPECT_EQ(f.store.read_bool("enable_mqtt"), true);
    }
    {
        // Back at the next start.
        config_connection_t cfg(f.store, f.console);
        EXPECT_TRUE(cfg.enable_mqtt());
        EXPECT_EQ(cfg.mqtt_url(), "mqtts://127.0.0.1:8883");
        EXPECT_EQ(cfg.mqtt_user(), "ann");
        EXPECT_EQ(cfg.mqtt_board(), "desk-1");
        EXPECT_EQ(cfg.mqtt_ca_file(), "/etc/plimsy/ca.pem");
        // Pressing another transport's button leaves MQTT.
        cfg.set_enable_ble(true);
        EXPECT_FALSE(cfg.enable_mqtt());
        requests.calls.clear();
        connect_from_config(cfg, requests);
        EXPECT_EQ(requests.calls, strings{"ble Plimsy:91 UART"});
        cfg.set_enable_mqtt(true);
        cfg.set_enable_serial(true);
        EXPECT_FALSE(cfg.enable_mqtt());
        cfg.set_enable_mqtt(true);
        cfg.set_enable_bridge(true);
        EXPECT_FALSE(cfg.enable_mqtt());
        cfg.delete_config();
        for (const char* key : {"enable_mqtt", "mqtt_url", "mqtt_user", "mqtt_board", "mqtt_ca_file"})
            EXPECT_FALSE(f.store.read(key)) << key;
    }
    // Stored values are checked as if typed: a URL holding a password, a
    // board id that cannot be a topic level and a relative CA path go.
    f.store.write("mqtt_url", std::string("mqtt://ann:pw@127.0.0.1"));
    f.store.write("mqtt_board", std::string("a/#"));
    f.store.write("mqtt_ca_file", std::string("ca.pem"));
    f.store.write("mqtt_user", std::int64_t{5});
    f.console.clear();
    config_connection_t cfg(f.store, f.console);
    EXPECT_EQ(cfg.mqtt_url(), "");
    EXPECT_EQ(cfg.mqtt_board(), "");
    EXPECT_EQ(cfg.mqtt_ca_file(), "");
    EXPECT_EQ(cfg.mqtt_user(), "");
    const auto lines = f.console.lines();
    for (const char* text : {"mqtt_url: dropped", "mqtt_board: dropped (not a board id)",
                             "mqtt_ca_file: dropped (not an absolute path)", "mqtt_user: dropped (not a text)"})
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }))
            << text;
    for (const auto& l : lines) EXPECT_EQ(l.find("pw@"), std::string::npos) << "the password is never echoed";
}

}  // namespace
}  // namespace plimsy
