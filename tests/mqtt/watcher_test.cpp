#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/shown_text.hpp"
#include "mqtt/mqtt_broker.hpp"
#include "platform/manual_main_queue.hpp"
#include "session/session.hpp"
#include "shown/screen.hpp"
#include "sim/simulated_board.hpp"
#include "transport/line_reassembler.hpp"

// A watching session (the application's, without the window) against a real
// mosquitto on 127.0.0.1: what it decodes from a board published to the
// broker, the board list, commands, failures in words, and that the password
// stays out of the settings file.
namespace plimsy {
namespace {

using test::broker_t;
using test::listener_t;
using test::process_t;

using test::has;

// A session on a manual clock and a manual main queue, which the MQTT
// client's thread posts to; the test pumps it.
struct watcher_t {
    manual_clock_t& clock;
    manual_main_queue_t queue{clock};
    captured_console_t console;
    std::unique_ptr<session_t> session;
    std::vector<std::string> lines;  // every line the pipeline took, with its result

    watcher_t(manual_clock_t& c, session_options_t o = {}) : clock(c) {
        o.start_connection = false;
        session = std::make_unique<session_t>(session_services_t{.clock = clock, .main = queue, .console = &console},
                                              std::move(o));
        session->pipeline().line_observer = [this](const line_result_t& r) {
            lines.push_back(std::string(r.line) + (r.kind == line_result_t::kind_t::ok ? "" : " !"));
        };
    }
    connection_t& cnc() { return session->cnc(); }
    bool pump_until(const std::function<bool()>& done, double seconds = 15) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.01);
            queue.run_pending();
        }
        return true;
    }
    void watch(const broker_t& b, const std::string& board, const std::string& password = test::broker_password) {
        cnc().mqtt().set_password(password);
        cnc().connect_mqtt({b.url(), test::broker_user, board, ""});
    }
    std::string status() const { return session->cnc().status_mqtt(); }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (has(l, text)) return true;
        return false;
    }
};

std::string state_json(const receive_pipeline_t& p) {
    std::string out;
    append_shown_state_json(out, shown_state(p));
    return out;
}

// What a simulated board of `kind` sends in `seconds`, as one stream.
std::string board_stream(device_model_t kind, double seconds) {
    manual_clock_t clock;
    simulated_board_t board(kind, clock, 50, 7);
    std::vector<std::string> lines;
    for (double t = 0; t < seconds; t += 0.02) {
        clock.advance(0.02);
        board.due_lines(lines);
    }
    std::string stream;
    for (const auto& l : lines) stream += l + "\n";
    return stream;
}

// A board published to the broker (here by a plain client, as a gateway
// would) is decoded by the watcher exactly as a local link decodes the same
// chunks: the same lines with the same results, the same state.
TEST(MqttWatcher, DecodesAPublishedBoardLikeADirectLink) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    manual_clock_t clock;
    watcher_t w(clock);
    w.watch(broker, "desk-1");
    EXPECT_EQ(w.status(), "MQTT connect 127.0.0.1:" + std::to_string(broker.plain_port));
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().mqtt().broker_up(); })) << w.status();
    EXPECT_EQ(w.status(), "MQTT waiting for desk-1");

    listener_t gateway(broker.options());
    ASSERT_TRUE(gateway.wait_for([&] { return gateway.connects == 1; }));
    gateway.publish("plimsy/desk-1/status", R"({"online":true,"board":"desk-1","kind":"hmc5883","link":"ble","commands":false})", true);
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().link_mqtt().up(); })) << w.status();
    EXPECT_EQ(w.status(), "MQTT desk-1");

    // Chunks of every size a link delivers: BLE's 20 bytes, a line and a
    // half, a few hundred bytes; lines and UTF-8 cut anywhere.
    const std::string stream = board_stream(device_model_t::hmc5883, 4) + "temp={\"t\":21.5,\"unit\":\"°C\"}\nbad={\n";
    std::vector<std::string> chunks;
    for (std::size_t at = 0, i = 0; at < stream.size(); ++i) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, i % 3 == 0 ? 20 : i % 3 == 1 ? 97 : 311);
        chunks.push_back(stream.substr(at, n));
        at += n;
    }
    for (const auto& c : chunks) gateway.publish("plimsy/desk-1/raw", c);
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().bytes_received == stream.size(); }))
        << w.cnc().bytes_received << " of " << stream.size();

    // The same chunks through the rule every local link uses.
    watcher_t direct(clock);
    direct.session->pipeline().clear_log();
    line_reassembler_t reassembler;
    for (const auto& c : chunks) {
        const auto& got = reassembler.feed(c);
        for (auto line : got.lines) direct.session->pipeline().receive_line(line);
    }
    ASSERT_GT(direct.lines.size(), 150u);
    EXPECT_EQ(w.lines, direct.lines);
    EXPECT_EQ(state_json(w.session->pipeline()), state_json(direct.session->pipeline()));
    EXPECT_EQ(w.session->sensors().device_model, device_model_t::hmc5883);
    EXPECT_EQ(w.cnc().chunks_received, chunks.size());
}

// The real gateway (plimsy-cli connect --mqtt) relays a simulated board;
// the watcher lists it, decodes exactly the lines the gateway decoded (from
// where it joined), publishes commands only while the gateway takes them,
// and sees the board go offline when its gateway is killed.
TEST(MqttWatcher, EndToEndThroughTheRealGateway) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    const auto pw = broker.dir() / "gw.pw";
    std::ofstream(pw) << test::broker_password << "\n";
    const auto gateway_argv = [&](bool allow) {
        std::vector<std::string> argv = {PLIMSY_CLI_BINARY, "connect", "--simulate", "gravity", "--decode", "--mqtt",
                                         broker.url(), "--mqtt-user", test::broker_user, "--mqtt-password-file",
                                         pw.string(), "--mqtt-board", "field-7"};
        if (allow) argv.push_back("--allow-commands");
        return argv;
    };
    listener_t cmd_seen(broker.options(), {"plimsy/field-7/cmd"});
    ASSERT_TRUE(cmd_seen.wait_for([&] { return cmd_seen.connects == 1; }));

    manual_clock_t clock;
    watcher_t w(clock);
    w.watch(broker, "");  // the list only, first
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().mqtt().broker_up(); })) << w.status();
    EXPECT_EQ(w.status(), "MQTT: choose a board");

    auto gateway = std::make_unique<process_t>(gateway_argv(false), broker.dir() / "gw.out", broker.dir() / "gw.err");
    ASSERT_TRUE(w.pump_until([&] {
        const auto* b = w.cnc().mqtt().find_board("field-7");
        return b && b->online && b->kind == "gravity";
    })) << test::slurp(gateway->err);
    EXPECT_EQ(w.cnc().mqtt().find_board("field-7")->link, "simulated");
    EXPECT_FALSE(w.cnc().mqtt().find_board("field-7")->commands);

    // Chosen: the same broker connection, now with the board's stream.
    w.watch(broker, "field-7");
    ASSERT_TRUE(w.pump_until([&] { return w.lines.size() >= 100; })) << w.status();
    EXPECT_EQ(w.status(), "MQTT field-7");
    EXPECT_EQ(w.session->sensors().device_model, device_model_t::gravity);

    std::string why;
    EXPECT_FALSE(w.cnc().commands_available(&why));
    EXPECT_TRUE(has(why, "does not take commands")) << why;
    EXPECT_FALSE(w.session->send("C\n"));
    EXPECT_TRUE(has(w.cnc().command_note(), "does not take commands"));

    // Killed without a word: the broker's last will turns it offline, in red.
    gateway->signal(SIGKILL);
    EXPECT_EQ(gateway->wait(10), 128 + SIGKILL);
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().link_mqtt().kind == link_kind_t::lost; })) << w.status();
    EXPECT_EQ(w.status(), "MQTT field-7 is offline");
    EXPECT_EQ(w.cnc().sta_fg_mqtt(), colour_t::red);
    const auto decoded_by_gateway = [&] {
        std::vector<std::string> lines;
        std::istringstream in(test::slurp(gateway->out));
        for (std::string json; std::getline(in, json);) {
            const auto at = json.find("\"line\":\"");
            if (at == std::string::npos) continue;
            std::string line;
            for (std::size_t i = at + 8; i < json.size() && json[i] != '"'; ++i) {
                if (json[i] == '\\' && i + 1 < json.size()) ++i;
                line += json[i];
            }
            lines.push_back(line);
        }
        return lines;
    }();
    // The watcher joined late: what it has is one unbroken stretch of what
    // the gateway decoded (its first line may be cut, so it is left out).
    std::vector<std::string> watched(w.lines.begin() + 1, w.lines.end());
    ASSERT_GT(watched.size(), 50u);
    const auto start = std::search(decoded_by_gateway.begin(), decoded_by_gateway.end(), watched.begin(),
                                   watched.begin() + 20);
    ASSERT_NE(start, decoded_by_gateway.end());
    const std::size_t offset = static_cast<std::size_t>(start - decoded_by_gateway.begin());
    ASSERT_LE(offset + watched.size(), decoded_by_gateway.size());
    EXPECT_TRUE(std::equal(watched.begin(), watched.end(), decoded_by_gateway.begin() + static_cast<long>(offset)));

    // A gateway that takes commands: the send buttons' command reaches cmd.
    gateway = std::make_unique<process_t>(gateway_argv(true), broker.dir() / "gw2.out", broker.dir() / "gw2.err");
    ASSERT_TRUE(w.pump_until([&] { return w.cnc().commands_available(); })) << w.status();
    EXPECT_EQ(w.status(), "MQTT field-7");
    EXPECT_TRUE(w.session->send("C\n"));
    EXPECT_TRUE(cmd_seen.wait_for([&] { return cmd_seen.payloads("plimsy/field-7/cmd").size() == 1; }));
    cmd_seen.with_lock([&] { EXPECT_EQ(cmd_seen.payloads("plimsy/field-7/cmd"), std::vector<std::string>{"C\n"}); });
    gateway->signal(SIGTERM);
    gateway->wait(10);
}

// Wrong password and wrong certificate authority are said plainly; the
// broker restarting is followed by the watcher by itself; the password
// never reaches the settings file.
TEST(MqttWatcher, FailuresInWordsAndThePasswordStaysOutOfTheSettingsFile) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    const auto settings = broker.dir() / "config" / "Plimsy_sensors.json";
    std::filesystem::create_directories(settings.parent_path());
    manual_clock_t clock;
    {
        session_options_t o;
        o.settings_file = settings;
        watcher_t w(clock, std::move(o));
        config_connection_t& cfg = w.session->cfg();
        cfg.set_mqtt_url(broker.url());
        cfg.set_mqtt_user(test::broker_user);
        cfg.set_mqtt_board("desk-1");
        cfg.set_enable_mqtt(true);
        w.cnc().mqtt().set_password("wrong one");
        w.session->connect_from_config();
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().link_mqtt().kind == link_kind_t::failed; })) << w.status();
        EXPECT_TRUE(has(w.status(), "user name or password")) << w.status();
        EXPECT_EQ(w.cnc().sta_fg_mqtt(), colour_t::red);

        w.cnc().mqtt().set_password(test::broker_password);
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().mqtt().broker_up(); })) << w.status();
        EXPECT_EQ(w.status(), "MQTT waiting for desk-1");

        broker.stop();
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().link_mqtt().kind == link_kind_t::lost; })) << w.status();
        broker.start();
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().mqtt().broker_up(); }, 20)) << w.status();

        // mqtts with a CA that did not sign the broker's certificate.
        cfg.set_mqtt_url(broker.tls_url());
        cfg.set_mqtt_ca_file(broker.other_ca().string());
        w.session->connect_from_config();
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().link_mqtt().kind == link_kind_t::failed; })) << w.status();
        EXPECT_TRUE(has(w.status(), "certificate")) << w.status();
        cfg.set_mqtt_ca_file(broker.ca().string());
        w.session->connect_from_config();
        ASSERT_TRUE(w.pump_until([&] { return w.cnc().mqtt().broker_up(); })) << w.status();
        for (const auto& l : w.console.lines()) EXPECT_FALSE(has(l, test::broker_password)) << l;
    }
    const std::string saved = test::slurp(settings);
    EXPECT_TRUE(has(saved, "\"mqtt_url\"")) << saved;
    EXPECT_TRUE(has(saved, broker.tls_url())) << saved;
    EXPECT_FALSE(has(saved, test::broker_password)) << saved;
    EXPECT_FALSE(has(saved, "wrong one")) << saved;
}

}  // namespace
}  // namespace plimsy
