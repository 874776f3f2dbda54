#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "config/config_connection.hpp"
#include "mqtt/mqtt_broker.hpp"
#include "mqtt/mqtt_gateway.hpp"
#include "platform/console.hpp"
#include "session/session.hpp"
#include "sim/simulated_board.hpp"

namespace plimsy {
namespace {

using test::broker_t;
using test::listener_t;
using test::process_t;

using test::has;

// The "line" member of each object that connect --decode wrote.
std::vector<std::string> decoded_lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string json;
    while (std::getline(in, json)) {
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
}

// Whole lines of a byte stream, without their line ends; a last line
// without one is left out, as a reader would still be waiting for it.
std::vector<std::string> whole_lines(const std::string& stream) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = stream.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = stream.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::filesystem::path password_file(const broker_t& broker) {
    const auto p = broker.dir() / "gateway.pw";
    std::ofstream(p) << test::broker_password << "\n";
    return p;
}

std::vector<std::string> gateway_argv(const broker_t& broker, const std::string& board) {
    return {PLIMSY_CLI_BINARY,  "connect",      "--simulate",     "--decode",
            "--mqtt",           broker.url(),   "--mqtt-user",    test::broker_user,
            "--mqtt-password-file", password_file(broker).string(), "--mqtt-board", board};
}

// The real program relays a simulated board: a subscriber that puts the raw
// chunks back together gets exactly the lines the gateway decoded, one
// record message per decoded line, and a retained status that says online
// while it runs and offline after a clean stop.
TEST(MqttGateway, RelaysTheBoardLosslesslyWithARetainedStatus) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    listener_t watcher(broker.options(), {"plimsy/#"});
    ASSERT_TRUE(watcher.wait_for([&] { return watcher.connects == 1; }));

    auto argv = gateway_argv(broker, "bench-1");
    argv.insert(argv.end(), {"--seconds", "3"});
    process_t gateway(argv, broker.dir() / "gw.out", broker.dir() / "gw.err");
    ASSERT_EQ(gateway.wait(30), 0) << test::slurp(gateway.err);
    const std::string status_topic = "plimsy/bench-1/status";
    ASSERT_TRUE(watcher.wait_for([&] {
        const auto s = watcher.payloads(status_topic);
        return !s.empty() && has(s.back(), "\"online\":false");
    })) << test::slurp(gateway.err);

    const auto decoded = decoded_lines(test::slurp(gateway.out));
    ASSERT_GT(decoded.size(), 50u) << test::slurp(gateway.err);
    watcher.with_lock([&] {
        std::string stream;
        std::size_t records = 0;
        for (const auto& m : watcher.messages) {
            if (m.topic == "plimsy/bench-1/raw") stream += m.payload;
            else if (m.topic != status_topic) {
                ++records;
                EXPECT_EQ(m.payload.front(), '{') << m.topic;
            }
        }
        EXPECT_EQ(whole_lines(stream), decoded);
        EXPECT_EQ(records, decoded.size());  // every simulated line decodes
        const auto statuses = watcher.payloads(status_topic);
        EXPECT_TRUE(has(statuses.front(), "\"online\":true")) << statuses.front();
        EXPECT_TRUE(has(statuses.back(), "\"kind\":\"compass_gravity\"")) << statuses.back();
        EXPECT_TRUE(has(statuses.back(), "\"link\":\"simulated\"")) << statuses.back();
        EXPECT_TRUE(has(statuses.back(), "\"commands\":false")) << statuses.back();
    });
    // Retained: one who comes later learns it at once.
    listener_t late(broker.options(), {status_topic});
    EXPECT_TRUE(late.wait_for([&] {
        return !late.messages.empty() && late.messages.front().retained &&
               has(late.messages.front().payload, "\"online\":false");
    }));
}

// A gateway that dies without a word is announced offline by the broker
// (its last will), to those watching and to those who come later.
TEST(MqttGateway, AKilledGatewayTurnsItsBoardOffline) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    const std::string status_topic = "plimsy/killed/status";
    listener_t watcher(broker.options(), {status_topic});
    process_t gateway(gateway_argv(broker, "killed"), broker.dir() / "gw.out", broker.dir() / "gw.err");
    ASSERT_TRUE(watcher.wait_for([&] {
        const auto s = watcher.payloads(status_topic);
        return !s.empty() && has(s.back(), "\"online\":true");
    })) << test::slurp(gateway.err);
    gateway.signal(SIGKILL);
    EXPECT_EQ(gateway.wait(10), 128 + SIGKILL);
    EXPECT_TRUE(watcher.wait_for([&] {
        const auto s = watcher.payloads(status_topic);
        return has(s.back(), "\"online\":false");
    }));
    // The will names the board and its link; not a kind it could not know.
    watcher.with_lock([&] {
        EXPECT_EQ(watcher.payloads(status_topic).back(),
                  "{\"online\":false,\"board\":\"killed\",\"link\":\"simulated\",\"commands\":false}");
    });
    listener_t late(broker.options(), {status_topic});
    EXPECT_TRUE(late.wait_for([&] {
        return !late.messages.empty() && has(late.messages.front().payload, "\"online\":false");
    }));
}

// A gateway in this process, on an event loop of its own, so a test can
// look at the session and the simulated board behind it.
class gateway_host_t {
public:
    gateway_host_t(mqtt_options_t mqtt, mqtt_gateway_options_t options) {
        thread_ = std::thread([this] { loop_.run(); });
        call([&] {
            session_options_t how;
            how.simulate = session_simulation_t{};
            how.links = session_links_t{.ble_name = std::string(config_connection_t::default_ble_name_text)};
            session_ = std::make_unique<session_t>(
                session_services_t{.clock = system_clock_t::instance(), .main = loop_, .console = &console}, how);
            gateway_ = std::make_unique<mqtt_gateway_t>(*session_, std::move(mqtt), std::move(options));
            gateway_->start();
            tick();
        });
    }
    ~gateway_host_t() {
        call([&] {
            gateway_.reset();
            session_.reset();
        });
        loop_.quit();
        thread_.join();
    }
    void call(const std::function<void()>& fn) { loop_.post_and_wait(fn); }
    session_t& session() { return *session_; }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (has(l, text)) return true;
        return false;
    }
    bool wait_console(std::string_view text, double seconds = 10) {
        for (int i = 0; i < seconds * 100; ++i) {
            if (console_has(text)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string received_commands() {
        std::string c;
        call([&] { c = session_->simulated_board()->received_commands(); });
        return c;
    }

    captured_console_t console;

private:
    void tick() {
        if (!session_) return;
        session_->poll_simulation();
        loop_.post_after(0.002, [this] { tick(); });
    }
    event_loop_t loop_;
    std::thread thread_;
    std::unique_ptr<session_t> session_;
    std::unique_ptr<mqtt_gateway_t> gateway_;
};

// Commands from the broker reach the board only when allowed, and only as
// short printable lines sent live.
TEST(MqttGateway, CommandsAreRefusedUnlessAllowedAndCheckedAsUntrusted) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    listener_t sender(broker.options());
    ASSERT_TRUE(sender.wait_for([&] { return sender.connects == 1; }));
    {
        gateway_host_t closed(broker.options(), {.board = "closed", .link = "simulated"});
        ASSERT_TRUE(closed.wait_console("mqtt: connected"));
        sender.publish("plimsy/closed/cmd", "C");
        EXPECT_TRUE(closed.wait_console("refused the command 'C'"));
        EXPECT_TRUE(closed.console_has("--allow-commands"));
        EXPECT_EQ(closed.received_commands(), "");
    }
    // A retained command would run at every start of a gateway: ignored.
    sender.publish("plimsy/open/cmd", "C", true);
    gateway_host_t open(broker.options(), {.board = "open", .link = "simulated", .allow_commands = true});
    ASSERT_TRUE(open.wait_console("mqtt: connected"));
    EXPECT_TRUE(open.wait_console("ignored a retained command"));
    sender.publish("plimsy/open/cmd", "", true);  // clears it; arrives live and empty
    EXPECT_TRUE(open.wait_console("an empty command"));
    sender.publish("plimsy/open/cmd", std::string(200, 'C'));
    EXPECT_TRUE(open.wait_console("a command of 200 bytes"));
    sender.publish("plimsy/open/cmd", "C\x01");
    EXPECT_TRUE(open.wait_console("not printable"));
    EXPECT_EQ(open.received_commands(), "");
    sender.publish("plimsy/open/cmd", "C\n");
    ASSERT_TRUE(open.wait_console("command 'C' from plimsy/open/cmd"));
    for (int i = 0; i < 200 && open.received_commands().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(open.received_commands(), "C");
}

// The broker goes away and comes back: the board stays connected all along,
// the gateway reconnects by itself, publishes again, and says how much its
// full buffer dropped.
TEST(MqttGateway, CarriesOnThroughABrokerRestartAndReportsDrops) {
    REQUIRE_MOSQUITTO();
    broker_t broker;
    auto mqtt = broker.options();
    mqtt.buffer_messages = 30;
    gateway_host_t host(mqtt, {.board = "restart", .link = "simulated"});
    listener_t watcher(broker.options(), {"plimsy/restart/raw"});
    ASSERT_TRUE(watcher.wait_for([&] { return watcher.messages.size() > 20; }));

    broker.stop();
    ASSERT_TRUE(host.wait_console("lost the connection to the broker"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    bool board_up = false;
    host.call([&] { board_up = host.session().link_up(); });
    EXPECT_TRUE(board_up);
    const std::size_t before = watcher.with_lock([&] { return watcher.messages.size(); });
    broker.start();

    EXPECT_TRUE(host.wait_console("dropped "));
    EXPECT_TRUE(watcher.wait_for([&] { return watcher.connects == 2 && watcher.messages.size() > before + 50; }, 15));
    int connects = 0;
    for (const auto& l : host.console.lines()) connects += has(l, "mqtt: connected") ? 1 : 0;
    EXPECT_EQ(connects, 2);
}

}  // namespace
}  // namespace plimsy
