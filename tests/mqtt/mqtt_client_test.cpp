#include <gtest/gtest.h>

#include <cstdio>

#include "cli/connect_command.hpp"
#include "mqtt/mqtt_broker.hpp"
#include "mqtt/mqtt_client.hpp"
#include "mqtt/mqtt_topics.hpp"

namespace plimsy {
namespace {

using test::broker_t;
using test::listener_t;

TEST(MqttUrl, ReadsBothSchemesAndRefusesTheRest) {
    std::string error;
    auto u = parse_mqtt_url("mqtt://127.0.0.1", error);
    ASSERT_TRUE(u);
    EXPECT_FALSE(u->tls);
    EXPECT_EQ(u->port, 1883);
    u = parse_mqtt_url("mqtts://broker.example.org:18883/", error);
    ASSERT_TRUE(u);
    EXPECT_TRUE(u->tls);
    EXPECT_EQ(u->host, "broker.example.org");
    EXPECT_EQ(u->port, 18883);
    EXPECT_EQ(u->text(), "mqtts://broker.example.org:18883");
    u = parse_mqtt_url("mqtts://[::1]", error);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->host, "::1");
    EXPECT_EQ(u->port, 8883);
    EXPECT_EQ(u->text(), "mqtts://[::1]:8883");

    for (const char* bad : {"tcp://127.0.0.1:1883", "ssl://h", "127.0.0.1:1883", "mqtt://", "mqtt://h:0",
                            "mqtt://h:65536", "mqtt://h:12x", "mqtt://h/topic", "mqtt://h b", "mqtts://[::1"}) {
        error.clear();
        EXPECT_FALSE(parse_mqtt_url(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(parse_mqtt_url("mqtt://user:pw@h", error));
    EXPECT_NE(error.find("no user or password"), std::string::npos) << error;
}

TEST(MqttTopics, BoardIdsAreOneSafeTopicLevel) {
    EXPECT_EQ(mqtt_board_id("Plimsy:91 UART"), "Plimsy:91_UART");
    EXPECT_EQ(mqtt_board_id("/dev/ttyACM0"), "ttyACM0");
    EXPECT_EQ(mqtt_board_id("127.0.0.1:8081"), "127.0.0.1:8081");
    EXPECT_EQ(mqtt_board_id("a/b+c#d\x01" "e"), "a_b_c_d_e");
    EXPECT_EQ(mqtt_board_id("$SYS"), "_SYS");
    EXPECT_EQ(mqtt_board_id("caf\xc3\xa9"), "caf");
    EXPECT_EQ(mqtt_board_id(""), "board");
    EXPECT_EQ(mqtt_board_id("###"), "board");
    EXPECT_EQ(mqtt_board_id(std::string(300, 'x')).size(), mqtt_board_id_max);
    std::string error;
    EXPECT_TRUE(mqtt_board_id_valid("lab-3.bench_2", error));
    for (const char* bad : {"", "a/b", "a+", "#", "a b", "tab\t"}) EXPECT_FALSE(mqtt_board_id_valid(bad, error)) << bad;
    EXPECT_FALSE(mqtt_board_id_valid(std::string(65, 'x'), error));
    EXPECT_EQ(mqtt_board_topic("b1", "raw"), "plimsy/b1/raw");
    EXPECT_EQ(mqtt_topic_board("plimsy/b1/status", "status"), "b1");
    EXPECT_FALSE(mqtt_topic_board("plimsy/b1/raw", "status"));
    EXPECT_FALSE(mqtt_topic_board("plimsy/a/b/status", "status"));
    EXPECT_FALSE(mqtt_topic_board("other/b1/status", "status"));
}

TEST(MqttCli, GatewayOptionsAreCheckedBeforeAnythingStarts) {
    const std::atomic<bool> stop{false};
    auto run = [&](std::vector<const char*> argv) {
        std::FILE* in = std::tmpfile();
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = connect_command(static_cast<int>(argv.size()), argv.data(), in, out, err, stop);
        std::string text(4096, '\0');
        std::rewind(err);
        text.resize(std::fread(text.data(), 1, text.size(), err));
        for (auto* f : {in, out, err}) std::fclose(f);
        return std::make_pair(status, text);
    };
    auto [status, err] = run({"--simulate", "--mqtt", "mqtt://127.0.0.1:1", "--mqtt-password", "x"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("no password on the command line"), std::string::npos) << err;
    std::tie(status, err) = run({"--simulate", "--mqtt", "http://127.0.0.1"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("mqtts://"), std::string::npos) << err;
    std::tie(status, err) = run({"--simulate", "--allow-commands"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("need --mqtt"), std::string::npos) << err;
    std::tie(status, err) = run({"--simulate", "--mqtt", "mqtt://127.0.0.1", "--mqtt-ca", "ca.pem"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("mqtts://"), std::string::npos) << err;
    std::tie(status, err) = run({"--simulate", "--mqtt", "mqtt://127.0.0.1", "--mqtt-board", "a/b"});
    EXPECT_EQ(status, 2);
    std::tie(status, err) = run({"--simulate", "--mqtt", "mqtt://127.0.0.1", "--mqtt-user", "u",
                                 "--mqtt-password-file", "/nonexistent/pw"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("cannot read the password"), std::string::npos) << err;
}

// Each failure says what is wrong in words, and none of them ever connects:
// in particular mqtts aimed at the clear listener (which would accept these
// credentials in clear text) must fail in the TLS handshake.
TEST(MqttClient, FailuresAreToldClearlyAndTlsNeverFallsBackToClearText) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    auto expect_down = [](mqtt_options_t o, const std::string& expected, bool gives_up = false) {
        listener_t c(std::move(o));
        EXPECT_TRUE(c.wait_for([&] { return !c.downs.empty(); })) << expected;
        c.with_lock([&] {
            EXPECT_EQ(c.connects, 0) << expected;
            ASSERT_FALSE(c.downs.empty());
            EXPECT_NE(c.downs.front().find(expected), std::string::npos) << c.downs.front();
            EXPECT_EQ(c.gave_up, gives_up) << c.downs.front();
        });
    };
    auto o = broker.options();
    o.password = "wrong";
    expect_down(o, "not authorised");
    o = broker.options(true);
    o.ca_file = broker.other_ca().string();
    expect_down(o, "certificate verify failed");
    o = broker.options(true);
    o.url.port = broker.plain_port;
    expect_down(o, "TLS handshake failed");
    o = broker.options(true);
    o.ca_file = (broker.dir() / "missing.pem").string();
    expect_down(o, "cannot read the CA file", true);
    o = broker.options();
    o.url.port = test::free_port();
    expect_down(o, "connection refused");
    o = broker.options();
    o.url.port = broker.tls_port;
    expect_down(o, "use mqtts://");

    // And the right settings do connect, in clear and over TLS.
    for (bool tls : {false, true}) {
        listener_t c(broker.options(tls));
        EXPECT_TRUE(c.wait_for([&] { return c.connects == 1; })) << tls;
    }
}

// With the broker away, publications wait in a bounded buffer: the oldest go
// and are counted, the rest arrive in order once the broker is back, the
// drop is reported, and subscriptions are renewed by themselves.
TEST(MqttClient, BuffersBoundedWhileTheBrokerIsAwayAndReportsWhatItDropped) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    auto po = broker.options();
    po.buffer_messages = 10;
    // The subscriber is back before the publisher retries, so it sees the
    // whole buffer.
    po.reconnect_min_seconds = 1.5;
    po.reconnect_max_seconds = 3;
    listener_t publisher(po);
    listener_t subscriber(broker.options(), {"t/#"});
    ASSERT_TRUE(publisher.wait_for([&] { return publisher.connects == 1; }));
    ASSERT_TRUE(subscriber.wait_for([&] { return subscriber.connects == 1; }));
    publisher.publish("t/x", "before");
    ASSERT_TRUE(subscriber.wait_for([&] { return subscriber.payloads("t/x").size() == 1; }));

    broker.stop();
    ASSERT_TRUE(publisher.wait_for([&] { return !publisher.downs.empty(); }));
    EXPECT_NE(publisher.with_lock([&] { return publisher.downs.back(); }).find("lost the connection"),
              std::string::npos);
    for (int i = 0; i < 25; ++i) publisher.publish("t/x", std::to_string(i));
    EXPECT_EQ(publisher.counters().queued, 10u);
    EXPECT_EQ(publisher.counters().dropped, 15u);
    broker.start();

    ASSERT_TRUE(subscriber.wait_for([&] { return subscriber.payloads("t/x").size() == 11; }, 15));
    subscriber.with_lock([&] {
        const auto got = subscriber.payloads("t/x");
        for (int i = 0; i < 10; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i) + 1], std::to_string(15 + i));
    });
    EXPECT_TRUE(publisher.wait_for([&] { return publisher.connects == 2 && publisher.dropped == 15; }));
    // "0".."14" went, each with its three-byte topic.
    EXPECT_EQ(publisher.with_lock([&] { return publisher.dropped_bytes; }), 10u * (3 + 1) + 5u * (3 + 2));
    EXPECT_EQ(publisher.counters().queued, 0u);
}

}  // namespace
}  // namespace plimsy
