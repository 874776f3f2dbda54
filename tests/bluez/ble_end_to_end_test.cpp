// The real Bluetooth path end to end: the coordinator and its BLE
// transport on the Qt Bluetooth central, Qt's BlueZ backend over D-Bus, and
// a stand-in for bluetoothd (tests/bluez/bluez_standin.py) on a private bus.
// Only the daemon is a double; everything on this side of D-Bus is real.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bluez/standin.hpp"
#include "platform/altimeter.hpp"
#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/settings_store.hpp"
#include "qt/platform_services.hpp"
#include "qt/qt_main_queue.hpp"
#include "transport/connection.hpp"

using namespace plimsy;
using plimsy::test::standin_t;
using plimsy::test::wait_for;

namespace {

// Qt reports the boards it already knows in the order of their object
// paths: the near-misses below come before the board.
const QString board_address = "C0:FF:EE:00:00:10";
const std::string board_name = "Plimsy:91 UART";

// The coordinator as the application builds it, with the host's Bluetooth.
struct link_t {
    captured_console_t console;
    memory_settings_store_t store;
    qt_main_queue_t main;
    no_altimeter_t altimeter;
    no_haptics_t haptics;
    connection_t c{{system_clock_t::instance(), store, console, main, altimeter, haptics,
                    [] { return make_platform_central(); }}};
    standin_t standin;

    bool console_has(const std::string& text) const {
        const auto lines = console.lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    std::size_t console_count(const std::string& text) const {
        const auto lines = console.lines();
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }
    std::string console_text() const {
        std::string all;
        for (const auto& l : console.lines()) all += l + "\n";
        return all;
    }
    // Connected, with the board's notifications switched on.
    bool ready() { return c.link_ble().up() && standin.notifying(board_address); }
    bool wait_ready() {
        return wait_for([&] { return ready(); });
    }
};

// The far end of a bridge: a TCP peer on 127.0.0.1 that never blocks, so
// the event loop keeps running while the test waits for its bytes.
class tcp_peer_t {
public:
    tcp_peer_t() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        ::listen(listen_, 1);
    }
    ~tcp_peer_t() {
        if (peer_ >= 0) ::close(peer_);
        ::close(listen_);
    }
    std::uint16_t port() const { return port_; }
    // What arrived so far (accepting the client first if it is waiting).
    const std::string& received() {
        if (peer_ < 0 && ready(listen_)) peer_ = ::accept(listen_, nullptr, nullptr);
        char buffer[512];
        while (peer_ >= 0 && ready(peer_)) {
            const ssize_t n = ::recv(peer_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        return received_;
    }
    void send(const std::string& bytes) { ::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

private:
    static bool ready(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }
    int listen_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
    std::string received_;
};

class bluez_end_to_end : public ::testing::Test {
protected:
    void SetUp() override {
        if (!link.standin.reachable()) GTEST_SKIP() << "no BlueZ stand-in: run through tests/bluez/with_standin.sh";
        // Several tests may share one stand-in when the program runs whole.
        link.standin.reset();
    }
    link_t link;
};

}  // namespace

TEST_F(bluez_end_to_end, connects_the_board_by_its_exact_name_reads_lines_and_writes_commands) {
    auto& c = link.c;
    auto& standin = link.standin;
    // Reported first, and each close to the name: none of them is the board.
    standin.add_board("plimsy:91 uart", "C0:FF:EE:00:00:01", -40);
    standin.add_board("Plimsy:91 UART 2", "C0:FF:EE:00:00:02", -40);
    standin.add_board(QString::fromStdString(board_name), board_address, -67);

    c.connect_ble(board_name);
    ASSERT_TRUE(link.wait_ready()) << link.console_text();
    EXPECT_EQ(c.sta_fg_ble(), colour_t::secondary);
    EXPECT_EQ(standin.connects("C0:FF:EE:00:00:01"), 0);
    EXPECT_EQ(standin.connects("C0:FF:EE:00:00:02"), 0);
    EXPECT_EQ(standin.connects(board_address), 1);
    EXPECT_TRUE(link.console_has("connected to " + board_name));
    // The signal strength of the link is the one discovery saw.
    EXPECT_EQ(c.ble().rssi.rssi(), -67);

    // A line cut across notifications is put together again; the start of
    // the next line waits for the rest.
    ASSERT_TRUE(standin.notify(board_address, R"(gravity={"x":0.5,)"));
    ASSERT_TRUE(standin.notify(board_address, "\"y\":-0.25,\"z\":9.75}\r\ngravity={\"x\":"));
    ASSERT_TRUE(wait_for([&] { return c.pipeline.sensors.gravity.z == 9.75f; })) << link.console_text();
    EXPECT_EQ(c.pipeline.sensors.gravity.x, 0.5f);
    EXPECT_EQ(c.pipeline.sensors.gravity.y, -0.25f);
    EXPECT_EQ(c.pipeline.sensors.device_model, device_model_t::gravity);
    EXPECT_EQ(c.ble().msg_rem(), "gravity={\"x\":");
    ASSERT_TRUE(standin.notify(board_address, "1,\"y\":2,\"z\":3}\n"));
    ASSERT_TRUE(wait_for([&] { return c.pipeline.sensors.gravity.z == 3.0f; }));

    // The calibration command: one write with response, with the postfix.
    c.send("C\n");
    ASSERT_TRUE(wait_for([&] { return !standin.writes(board_address).empty(); }));
    const auto writes = standin.writes(board_address);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].first, "C\n\r\n");
    EXPECT_EQ(writes[0].second, "request");
}

TEST_F(bluez_end_to_end, a_lost_board_is_found_again_but_not_after_the_user_disconnects) {
    auto& c = link.c;
    auto& standin = link.standin;
    const QString name = QString::fromStdString(board_name);
    standin.add_board(name, board_address, -60);
    c.connect_ble(board_name);
    ASSERT_TRUE(link.wait_ready()) << link.console_text();

    // Out of range: the link drops and the board is gone. The coordinator
    // says it is looking for it again.
    standin.remove_board(board_address);
    ASSERT_TRUE(wait_for([&] { return c.link_ble().kind == link_kind_t::lost; }))
        << link.console_text();
    EXPECT_TRUE(link.console_has("disconnected from " + board_name));

    // Back in range: connected again without anyone asking, and its lines
    // reach the model.
    standin.add_board(name, board_address, -60);
    ASSERT_TRUE(link.wait_ready()) << link.console_text();
    ASSERT_TRUE(standin.notify(board_address, "gravity={\"x\":0,\"y\":0,\"z\":1.5}\n"));
    ASSERT_TRUE(wait_for([&] { return c.pipeline.sensors.gravity.z == 1.5f; }));

    // A link that drops while the board stays in range comes back too.
    standin.drop_connection(board_address);
    ASSERT_TRUE(wait_for([&] { return standin.connects(board_address) == 2 && link.ready(); }))
        << link.console_text();

    // The user's disconnect is final: the board advertising again is left
    // alone.
    c.disconnect();
    EXPECT_EQ(c.status_ble(), "offline");
    ASSERT_TRUE(wait_for([&] { return !standin.connected(board_address); }));
    standin.remove_board(board_address);
    standin.add_board(name, board_address, -60);
    QTest::qWait(1000);  // room for a reconnection that must not happen
    EXPECT_EQ(standin.connects(board_address), 0);
    EXPECT_EQ(c.status_ble(), "offline");
}

TEST_F(bluez_end_to_end, bridge_relays_between_the_board_and_a_tcp_peer) {
    auto& c = link.c;
    auto& standin = link.standin;
    tcp_peer_t peer;
    standin.add_board(QString::fromStdString(board_name), board_address, -60);
    c.connect_tcp("127.0.0.1", peer.port());
    c.connect_ble(board_name);
    ASSERT_TRUE(link.wait_ready()) << link.console_text();
    ASSERT_TRUE(wait_for([&] {
        peer.received();
        return c.link_tcp().up();
    })) << link.console_text();

    // Board to peer: the notification's bytes as they came, not lines.
    ASSERT_TRUE(standin.notify(board_address, "gravity={\"x\":1,"));
    ASSERT_TRUE(wait_for([&] { return peer.received() == "gravity={\"x\":1,"; })) << peer.received();

    // Peer to board: its bytes in one write, without the command postfix.
    peer.send("R\n");
    ASSERT_TRUE(wait_for([&] { return standin.writes(board_address).size() == 1; }));
    EXPECT_EQ(standin.writes(board_address)[0], std::make_pair(std::string("R\n"), std::string("request")));

    // A command goes to both: with the postfix to the board, bare to the peer.
    c.send("C\n");
    ASSERT_TRUE(wait_for([&] { return standin.writes(board_address).size() == 2; }));
    EXPECT_EQ(standin.writes(board_address)[1].first, "C\n\r\n");
    ASSERT_TRUE(wait_for([&] { return peer.received() == "gravity={\"x\":1,C\n"; })) << peer.received();
}

TEST_F(bluez_end_to_end, power_state_texts_and_the_board_again_when_the_radio_returns) {
    auto& c = link.c;
    auto& standin = link.standin;
    standin.add_board(QString::fromStdString(board_name), board_address, -60);
    standin.set_powered(false);

    c.connect_ble(board_name);
    ASSERT_TRUE(wait_for([&] {
        return c.link_ble().kind == link_kind_t::failed && link.console_has("ble_manager.state: 4 powered OFF");
    })) << link.console_text();
    EXPECT_EQ(c.ble().status(), "BLE 4 powered OFF");
    EXPECT_EQ(c.ble().sta_fg(), colour_t::red);
    EXPECT_EQ(c.status_ble(), "BLE 4 powered OFF");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::red);
    EXPECT_EQ(standin.connects(board_address), 0);

    standin.set_powered(true);
    ASSERT_TRUE(link.wait_ready()) << link.console_text();

    // Switched off while connected: the state shows, and the board is
    // connected again when the radio comes back.
    standin.set_powered(false);
    ASSERT_TRUE(wait_for([&] {
        return c.link_ble().kind == link_kind_t::failed && !standin.connected(board_address) &&
               link.console_count("ble_manager.state: 4 powered OFF") == 2;
    })) << link.console_text();
    EXPECT_EQ(c.ble().status(), "BLE 4 powered OFF");
    EXPECT_EQ(c.ble().sta_fg(), colour_t::red);
    standin.set_powered(true);
    ASSERT_TRUE(wait_for([&] { return standin.connects(board_address) == 2 && link.ready(); }))
        << link.console_text();
    // Once per connection: nothing of the link before the radio went off
    // makes the new one look ready early.
    EXPECT_EQ(link.console_count("connected to " + board_name), 2u) << link.console_text();
}

// The radio as it is before the application starts: the central's first
// report, through Qt's backend, is the state the transport shows, and a
// radio that comes on later starts the scan that finds the board.
TEST(bluez_power_at_start, off_or_missing_radio_shows_its_state_not_a_scan) {
    standin_t standin;
    if (!standin.reachable()) GTEST_SKIP() << "no BlueZ stand-in: run through tests/bluez/with_standin.sh";
    standin.reset();
    standin.add_board(QString::fromStdString(board_name), board_address, -60);

    standin.set_powered(false);
    {
        link_t link;
        link.c.connect_ble(board_name);
        ASSERT_TRUE(wait_for([&] {
            return link.c.link_ble().kind == link_kind_t::failed && link.console_has("ble_manager.state: 4 powered OFF");
        })) << link.console_text();
        EXPECT_EQ(link.c.ble().status(), "BLE 4 powered OFF");
        EXPECT_EQ(link.c.status_ble(), "BLE 4 powered OFF");
        EXPECT_EQ(link.c.ble().sta_fg(), colour_t::red);
        EXPECT_FALSE(link.console_has("BLE scanning...")) << link.console_text();
        standin.set_powered(true);
        ASSERT_TRUE(link.wait_ready()) << link.console_text();
    }

    standin.set_adapter_present(false);
    {
        link_t link;
        link.c.connect_ble(board_name);
        ASSERT_TRUE(wait_for([&] {
            return link.c.link_ble().kind == link_kind_t::failed && link.console_has("ble_manager.state: 2 unsupported");
        })) << link.console_text();
        EXPECT_EQ(link.c.ble().status(), "BLE 2 unsupported");
        EXPECT_EQ(link.c.status_ble(), "BLE 2 unsupported");
        EXPECT_EQ(link.c.ble().sta_fg(), colour_t::red);
        EXPECT_TRUE(link.console_has("ble_manager.state: 2 unsupported"));
        EXPECT_FALSE(link.console_has("BLE scanning...")) << link.console_text();
    }
    standin.set_adapter_present(true);
}
