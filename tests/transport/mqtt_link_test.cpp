#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/manual_main_queue.hpp"
#include "transport/connection.hpp"
#include "transport/scripted_broker.hpp"

namespace plimsy {
namespace {

struct tap_t final : raw_tap_t {
    void board_rx(std::span<const std::uint8_t> b) override { rx.append(reinterpret_cast<const char*>(b.data()), b.size()); }
    void board_tx(std::span<const std::uint8_t> b) override { tx.append(reinterpret_cast<const char*>(b.data()), b.size()); }
    std::string rx, tx;
};

struct mqtt_fixture : ::testing::Test {
    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    memory_settings_store_t store;
    captured_console_t console;
    counting_haptics_t haptics;
    manual_altimeter_t altimeter{false};
    connection_t cnc{{clock, store, console, queue, altimeter, haptics, nullptr}};
    scripted_brokers_t brokers;
    std::vector<std::string>& calls = brokers.calls;
    scripted_broker_t*& client = brokers.last;
    const int& clients_made = brokers.made;

    mqtt_fixture() { cnc.set_broker_factory(brokers.factory()); }
    void status(const std::string& board, const std::string& json) { client->status(board, json); }
    void message(const std::string& topic, std::string_view payload) { client->message(topic, payload); }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(mqtt_fixture, watches_the_chosen_board_and_follows_its_status) {
    tap_t tap;
    cnc.add_raw_tap(&tap);
    cnc.connect_mqtt({"mqtt://127.0.0.1:18830", "ann", "desk-1", ""});
    ASSERT_NE(client, nullptr);
    EXPECT_TRUE(client->subscribed.count("plimsy/+/status"));
    EXPECT_TRUE(client->subscribed.count("plimsy/desk-1/raw"));
    EXPECT_EQ(cnc.link_mqtt().kind, link_kind_t::connecting);
    EXPECT_EQ(cnc.status_mqtt(), "MQTT connect 127.0.0.1:18830");
    EXPECT_EQ(cnc.sta_fg_mqtt(), colour_t::green);

    client->events.broker_connected();
    EXPECT_EQ(cnc.status_mqtt(), "MQTT waiting for desk-1") << "no status seen yet";
    EXPECT_FALSE(cnc.any_link_up());

    status("desk-1", R"({"online":true,"kind":"compass_gravity","link":"ble Plimsy:91 UART","commands":false})");
    status("field-7", R"({"online":false})");
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1");
    EXPECT_EQ(cnc.sta_fg_mqtt(), colour_t::secondary);
    EXPECT_TRUE(cnc.any_link_up());
    ASSERT_EQ(cnc.mqtt().boards().size(), 2u);
    EXPECT_EQ(cnc.mqtt().boards()[0].id, "desk-1") << "listed by id";
    EXPECT_EQ(cnc.mqtt().boards()[0].kind, "compass_gravity");
    EXPECT_FALSE(cnc.mqtt().boards()[1].online);

    // A line cut across two chunks comes out whole, as on a local link;
    // the taps see the raw chunks.
    message("plimsy/desk-1/raw", "compass={\"h\":12.5,\"x\":0,");
    message("plimsy/desk-1/raw", "\"y\":0.2,\"z\":9.8,\"c\":\"xy\"}\nboot ok\n");
    EXPECT_EQ(cnc.pipeline.sensors.device_model, device_model_t::compass_gravity);
    EXPECT_EQ(cnc.pipeline.sensors.compass.heading_s(), "13");
    EXPECT_EQ(cnc.pipeline.msg_good, 1u);
    EXPECT_EQ(tap.rx, "compass={\"h\":12.5,\"x\":0,\"y\":0.2,\"z\":9.8,\"c\":\"xy\"}\nboot ok\n");
    EXPECT_EQ(cnc.bytes_received, tap.rx.size());
    // Another board's stream is not ours, even if the broker sent it.
    message("plimsy/field-7/raw", "compass={\"h\":99,\"x\":0,\"y\":0.2,\"z\":9.8,\"c\":\"xy\"}\n");
    EXPECT_EQ(cnc.pipeline.msg_good, 1u);

    // The gateway dies: its last will turns the board offline, in red.
    status("desk-1", R"({"online":false})");
    EXPECT_EQ(cnc.link_mqtt().kind, link_kind_t::lost);
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1 is offline");
    EXPECT_EQ(cnc.sta_fg_mqtt(), colour_t::red);
    status("desk-1", R"({"online":true,"commands":false})");
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1");

    // The broker goes away and comes back; the client reconnects by itself.
    client->events.broker_failed(broker_failure_t::lost, "Connection reset by peer");
    EXPECT_EQ(cnc.link_mqtt().kind, link_kind_t::lost);
    EXPECT_EQ(cnc.sta_fg_mqtt(), colour_t::red);
    EXPECT_NE(cnc.status_mqtt().find("lost"), std::string::npos);
    client->events.broker_connected();
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1");
    EXPECT_EQ(clients_made, 1) << "reconnecting is the client's own business";

    cnc.disconnect();
    EXPECT_EQ(cnc.status_mqtt(), "offline");
    EXPECT_EQ(cnc.sta_fg_mqtt(), colour_t::accent);
    EXPECT_FALSE(cnc.mqtt().enabled());
    cnc.remove_raw_tap(&tap);
}

TEST_F(mqtt_fixture, commands_only_where_the_gateway_takes_them) {
    tap_t tap;
    cnc.add_raw_tap(&tap);
    cnc.connect_mqtt({"mqtt://127.0.0.1:18830", "", "desk-1", ""});
    std::string why;
    EXPECT_FALSE(cnc.commands_available(&why));
    EXPECT_EQ(why, "no connection to the broker");
    EXPECT_FALSE(cnc.send("C\n"));
    EXPECT_EQ(cnc.command_note(), "C not delivered: no connection to the broker");

    client->events.broker_connected();
    EXPECT_FALSE(cnc.commands_available(&why)) << "commands are off until the gateway says otherwise";
    EXPECT_EQ(why, "desk-1 has not said whether it takes commands");

    status("desk-1", R"({"online":true,"commands":false})");
    EXPECT_FALSE(cnc.commands_available(&why));
    EXPECT_NE(why.find("does not take commands"), std::string::npos);
    calls.clear();
    EXPECT_FALSE(cnc.send("C\n"));
    EXPECT_TRUE(calls.empty()) << "nothing published";
    EXPECT_NE(cnc.command_note().find("does not take commands"), std::string::npos);

    status("desk-1", R"({"online":true,"commands":true})");
    EXPECT_TRUE(cnc.commands_available());
    EXPECT_TRUE(cnc.send("C\n"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "pub plimsy/desk-1/cmd C\n");
    EXPECT_EQ(tap.tx, "C\n") << "a recording sees the command";
    EXPECT_EQ(cnc.command_note(), "");

    client->accept_publish = false;
    EXPECT_FALSE(cnc.send("R\n"));
    EXPECT_EQ(cnc.command_note(), "R not delivered: the outgoing buffer is full");

    // Without MQTT nothing is refused in advance.
    cnc.disconnect();
    EXPECT_TRUE(cnc.commands_available());
    cnc.remove_raw_tap(&tap);
}

TEST_F(mqtt_fixture, broker_input_is_untrusted) {
    cnc.connect_mqtt({"mqtt://127.0.0.1:18830", "", "desk-1", ""});
    client->events.broker_connected();
    console.clear();

    status("a", "not json");
    status("b", R"({"kind":"compass"})");  // says nothing about online
    status("c", R"([true])");
    status("d", std::string(mqtt_link_t::max_status_bytes + 1, ' '));
    message("plimsy/a/b/status", R"({"online":true})");  // two levels: not a board id
    message("elsewhere/x", "hello");
    EXPECT_TRUE(cnc.mqtt().boards().empty());
    EXPECT_EQ(cnc.mqtt().ignored_messages(), 6u);
    EXPECT_TRUE(console_has("MQTT ignored the status of a: not a status object (not json)"));

    // Texts from the broker are shown: control characters do not get through.
    status("e", "{\"online\":true,\"kind\":\"x\\u0007y\",\"link\":\"" + std::string(500, 'z') + "\"}");
    ASSERT_EQ(cnc.mqtt().boards().size(), 1u);
    EXPECT_EQ(cnc.mqtt().boards()[0].kind, "x?y");
    EXPECT_EQ(cnc.mqtt().boards()[0].link.size(), 80u);
    // An empty retained status removes the board.
    status("e", "");
    EXPECT_TRUE(cnc.mqtt().boards().empty());

    // The list is bounded.
    for (std::size_t i = 0; i <= mqtt_link_t::max_boards + 5; ++i) status("b" + std::to_string(i), R"({"online":true})");
    EXPECT_EQ(cnc.mqtt().boards().size(), mqtt_link_t::max_boards);
    EXPECT_TRUE(console_has("more than 1000 boards"));

    // An oversized raw chunk is dropped whole; the stream goes on.
    message("plimsy/desk-1/raw", std::string(mqtt_link_t::max_raw_bytes + 1, 'x'));
    EXPECT_EQ(cnc.bytes_received, 0u);
    message("plimsy/desk-1/raw", "compass={\"h\":7,\"x\":0,\"y\":0.2,\"z\":9.8,\"c\":\"xy\"}\n");
    EXPECT_EQ(cnc.pipeline.sensors.compass.heading_s(), "7");
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1") << "data without a status shows the board is there";
}

TEST_F(mqtt_fixture, failures_in_the_users_words_and_the_password_kept_apart) {
    cnc.mqtt().set_password_pending();
    cnc.connect_mqtt({"mqtts://127.0.0.1:18831", "ann", "", "/tmp/ca.pem"});
    EXPECT_EQ(client, nullptr) << "waits for the keyring";
    EXPECT_EQ(cnc.status_mqtt(), "MQTT connect 127.0.0.1:18831");
    cnc.mqtt().set_password("s3cret");
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(calls.back(), "connect mqtts://127.0.0.1:18831 ann:s3cret ca=/tmp/ca.pem");
    EXPECT_FALSE(client->subscribed.count("plimsy//raw")) << "no board: the list only";

    client->events.broker_failed(broker_failure_t::bad_login, "not authorised");
    EXPECT_EQ(cnc.link_mqtt().kind, link_kind_t::failed);
    EXPECT_EQ(cnc.status_mqtt(), "MQTT broker refused the user name or password: correct them in the settings");
    // A new password tries again at once.
    cnc.mqtt().set_password("right");
    EXPECT_EQ(clients_made, 2);
    EXPECT_EQ(calls.back(), "connect mqtts://127.0.0.1:18831 ann:right ca=/tmp/ca.pem");

    client->events.broker_failed(broker_failure_t::certificate, "certificate verify failed");
    EXPECT_NE(cnc.status_mqtt().find("certificate was not accepted"), std::string::npos);
    EXPECT_NE(cnc.status_mqtt().find("CA file"), std::string::npos);
    client->events.broker_failed(broker_failure_t::unreachable, "Connection refused");
    EXPECT_EQ(cnc.status_mqtt(),
              "MQTT broker 127.0.0.1:18831 unreachable (Connection refused): is the URL right and the broker running?");

    // Choosing a board on the same broker moves the subscription only.
    client->events.broker_connected();
    status("desk-1", R"({"online":true})");
    cnc.connect_mqtt({"mqtts://127.0.0.1:18831", "ann", "desk-1", "/tmp/ca.pem"});
    EXPECT_EQ(clients_made, 2);
    EXPECT_TRUE(client->subscribed.count("plimsy/desk-1/raw"));
    EXPECT_EQ(cnc.status_mqtt(), "MQTT desk-1");
    cnc.connect_mqtt({"mqtts://127.0.0.1:18831", "ann", "field-7", "/tmp/ca.pem"});
    EXPECT_FALSE(client->subscribed.count("plimsy/desk-1/raw"));
    EXPECT_TRUE(client->subscribed.count("plimsy/field-7/raw"));
    EXPECT_EQ(cnc.status_mqtt(), "MQTT waiting for field-7");
    for (const auto& l : console.lines()) EXPECT_EQ(l.find("s3cret"), std::string::npos) << l;
}

TEST(mqtt_link_statuses, no_client_in_this_build) {
    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    memory_settings_store_t store;
    captured_console_t console;
    counting_haptics_t haptics;
    manual_altimeter_t altimeter{false};
    connection_t cnc{{clock, store, console, queue, altimeter, haptics, nullptr}};
    cnc.connect_mqtt({"mqtt://127.0.0.1:1883", "", "b", ""});
    EXPECT_EQ(cnc.link_mqtt().kind, link_kind_t::failed);
    EXPECT_EQ(cnc.status_mqtt(), "MQTT is not available in this build");
}

}  // namespace
}  // namespace plimsy
