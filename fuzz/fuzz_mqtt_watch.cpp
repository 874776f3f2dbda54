// Drives the MQTT watching link of the coordinator with what a hostile
// broker could send: status payloads under any topic, raw chunks, losses
// and returns of the connection, board changes and commands, then checks
// what the link keeps about the boards and what it would publish.
//
// The input is a list of records: one byte of operation, two bytes of
// length (little end first) and that many bytes. Operations (by the byte
// modulo 7): 0 a message whose payload follows a topic ending at the first
// 00 byte, 1 a raw chunk of the watched board, 2 the broker connected, 3 the
// broker lost, 4 a command, 5 watch the board named by the bytes, 6 a status
// of the board named by the first byte's count of bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/broker_url.hpp"
#include "platform/manual_main_queue.hpp"
#include "transport/connection.hpp"

namespace {

using namespace plimsy;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "mqtt watch invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

struct quiet_console_t final : console_t {
    void line(std::string_view) override {}
};

struct client_t final : broker_client_t {
    explicit client_t(broker_events_t& e) : events(e) {}
    void connect(const broker_connect_t&) override {}
    void disconnect() override {}
    void subscribe(const std::string&) override {}
    void unsubscribe(const std::string&) override {}
    bool publish(const std::string& topic, std::span<const std::uint8_t>, std::string&) override {
        last_topic = topic;
        ++published;
        return true;
    }
    broker_events_t& events;
    std::string last_topic;
    int published = 0;
};

bool clean(const std::string& text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    memory_settings_store_t store;
    quiet_console_t console;
    no_haptics_t haptics;
    manual_altimeter_t altimeter{false};
    connection_t cnc{{clock, store, console, queue, altimeter, haptics, nullptr}};
    client_t* client = nullptr;
    cnc.set_broker_factory([&](broker_events_t& e) {
        auto c = std::make_unique<client_t>(e);
        client = c.get();
        return c;
    });
    cnc.connect_mqtt({"mqtt://127.0.0.1:1883", "", "b", ""});
    if (!client) fail("no client made");

    std::size_t at = 0;
    while (at + 3 <= size) {
        const int op = data[at] % 7;
        const std::size_t n = std::min<std::size_t>(data[at + 1] | (data[at + 2] << 8), size - at - 3);
        const std::string_view bytes(reinterpret_cast<const char*>(data + at + 3), n);
        const std::span<const std::uint8_t> span(data + at + 3, n);
        at += 3 + n;
        switch (op) {
            case 0: {
                const auto end = bytes.find('\0');
                const std::string topic(bytes.substr(0, end));
                const auto payload = end == std::string_view::npos ? span.subspan(n) : span.subspan(end + 1);
                client->events.broker_message(topic, payload);
                break;
            }
            case 1: client->events.broker_message("plimsy/" + cnc.mqtt().request().board + "/raw", span); break;
            case 2: client->events.broker_connected(); break;
            case 3: client->events.broker_failed(broker_failure_t::lost, std::string(bytes.substr(0, 40))); break;
            case 4: {
                const int before = client->published;
                const bool allowed = cnc.commands_available();
                const bool sent = cnc.send(bytes);
                check(client->published == before + (sent ? 1 : 0), "a send that says so publishes once");
                if (sent) {
                    check(allowed, "a command published while not allowed");
                    check(client->last_topic == "plimsy/" + cnc.mqtt().request().board + "/cmd", "a command off its topic");
                    const broker_board_t* b = cnc.mqtt().find_board(cnc.mqtt().request().board);
                    check(b && b->online && b->commands, "a command to a board whose gateway refuses them");
                }
                break;
            }
            case 5:
                if (valid_board_id(bytes)) cnc.connect_mqtt({"mqtt://127.0.0.1:1883", "", std::string(bytes), ""});
                break;
            case 6: {
                if (n == 0) break;
                const std::size_t id_len = std::min<std::size_t>(static_cast<unsigned char>(bytes[0]) % 8, n - 1);
                const std::string topic = "plimsy/" + std::string(bytes.substr(1, id_len)) + "/status";
                client->events.broker_message(topic, span.subspan(std::min(n, 1 + id_len)));
                break;
            }
        }
        const auto& boards = cnc.mqtt().boards();
        check(boards.size() <= mqtt_link_t::max_boards, "board list past its bound");
        for (std::size_t i = 0; i < boards.size(); ++i) {
            check(valid_board_id(boards[i].id), "a board id that is not one topic level");
            check(i == 0 || boards[i - 1].id < boards[i].id, "board list not sorted or repeated");
            check(clean(boards[i].kind) && clean(boards[i].link), "control characters from the broker kept");
            check(boards[i].kind.size() <= 80 * 3 && boards[i].link.size() <= 80 * 3, "a status text past its bound");
        }
        check(!cnc.status_mqtt().empty(), "an empty status text");
    }
    return 0;
}
