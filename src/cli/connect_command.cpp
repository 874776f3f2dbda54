#include "cli/connect_command.hpp"

#include <poll.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "cli/decode_command.hpp"
#include "mqtt/mqtt_gateway.hpp"
#include "config/config_connection.hpp"
#include "platform/event_loop.hpp"
#include "session/session.hpp"
#include "transport/line_reassembler.hpp"

#ifdef PLIMSY_CLI_QT
#include "cli/qt_host.hpp"
#endif

namespace plimsy {

namespace {

const char* connect_usage =
    "usage: plimsy-cli connect [--tcp HOST:PORT] [--ble NAME] [--serial PORT[:BAUD]]\n"
    "                          [--simulate [BOARD]]\n"
    "                          [--decode] [--summary] [--seconds N]\n"
    "                          [--mqtt URL [--mqtt-user USER] [--mqtt-password-file FILE]\n"
    "                           [--mqtt-ca FILE] [--mqtt-board ID] [--allow-commands]]\n"
    "Connects to a board over TCP (through a bridge), over BLE, on a serial port, or\n"
    "a board (BLE or serial) and TCP at once (bridge mode: raw bytes are relayed\n"
    "between the board and the TCP peer).\n"
    "Every line read from standard input is sent to the board as a command with\n"
    "a line feed added; lines read before the first connection wait up to 10 s\n"
    "for it. A command that no connection takes is reported on standard error.\n"
    "The run ends at the end of standard input (once its commands are sent or\n"
    "reported) or on Ctrl-C. Console lines go to standard error.\n"
    "  --tcp HOST:PORT    numeric IPv4 address and port of the bridge\n"
    "  --ble NAME         the board's advertised name, exactly (default\n"
    "                     \"Plimsy:91 UART\"); over the host's Bluetooth unless\n"
    "                     --simulate is given\n"
    "  --serial PORT[:BAUD]\n"
    "                     the board on a serial port (/dev/ttyACM0, or any tty\n"
    "                     path) at BAUD, 8N1 (default 115200); opened again by\n"
    "                     itself when the board is unplugged and comes back\n"
    "  --simulate [KIND]  BLE through a simulated radio with a simulated board\n"
    "                     of that kind (default compass_gravity)\n"
    "  --decode           one JSON object per received line on standard output,\n"
    "                     as 'plimsy-cli decode' writes them\n"
    "  --summary          one JSON object at the end: counts, bytes, lines per second\n"
    "  --seconds N        stop after N seconds (standard input is then only read\n"
    "                     for commands; its end does not stop the run)\n"
    "Gateway to an MQTT broker (the end of standard input does not stop it):\n"
    "  --mqtt URL         publish the board to the broker at mqtt://HOST[:PORT]\n"
    "                     (default port 1883) or mqtts://HOST[:PORT] (TLS with the\n"
    "                     broker's certificate checked, default port 8883):\n"
    "                     plimsy/BOARD/raw (raw chunks), plimsy/BOARD/KEY (records\n"
    "                     as JSON), plimsy/BOARD/status (retained; offline as the\n"
    "                     last will); commands from plimsy/BOARD/cmd\n"
    "  --mqtt-user USER   the user name for the broker\n"
    "  --mqtt-password-file FILE\n"
    "                     the password: the first line of FILE; else the\n"
    "                     environment variable PLIMSY_MQTT_PASSWORD (never an\n"
    "                     option: command lines are visible to every user)\n"
    "  --mqtt-ca FILE     CA certificates (PEM) for the broker's certificate\n"
    "                     (default: the system's)\n"
    "  --mqtt-board ID    the board's id in topics (default: from the BLE name,\n"
    "                     serial port or TCP address)\n"
    "  --allow-commands   send commands from plimsy/BOARD/cmd to the board\n"
    "                     (refused and logged without it)\n";

struct options_t {
    std::optional<std::string> host;
    std::uint16_t port = 0;
    std::optional<std::string> ble_name;
    std::optional<serial_target_t> serial;
    bool simulate = false;
    device_model_t board = device_model_t::compass_gravity;
    bool decode = false;
    bool summary = false;
    double seconds = 0;
    std::optional<mqtt_url_t> mqtt;
    std::string mqtt_user;
    std::optional<std::string> mqtt_password_file;
    std::string mqtt_ca;
    std::optional<std::string> mqtt_board;
    bool allow_commands = false;
};

// Parses the arguments; on a mistake writes why to `err` and returns false.
bool parse(int argc, const char* const* argv, options_t& o, std::FILE* err) {
    auto fail = [&](const std::string& why) {
        std::fprintf(err, "plimsy-cli connect: %s\n%s", why.c_str(), connect_usage);
        return false;
    };
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has_value = i + 1 < argc && argv[i + 1][0] != '-';
        if (a == "--tcp") {
            if (!has_value) return fail("--tcp needs HOST:PORT");
            const std::string_view v = argv[++i];
            const auto colon = v.rfind(':');
            if (colon == std::string_view::npos) return fail("invalid --tcp '" + std::string(v) + "': expected HOST:PORT");
            const auto host = config_connection_t::validate_host(v.substr(0, colon));
            if (!host) return fail("invalid host '" + std::string(v.substr(0, colon)) + "': a numeric IPv4 address is needed");
            const std::string_view p = v.substr(colon + 1);
            unsigned port = 0;
            const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), port);
            if (ec != std::errc() || end != p.data() + p.size() || port == 0 || port > 65535)
                return fail("invalid port '" + std::string(p) + "': 1 to 65535");
            o.host = *host;
            o.port = static_cast<std::uint16_t>(port);
        } else if (a == "--ble") {
            if (!has_value) return fail("--ble needs the board's name");
            o.ble_name = argv[++i];
        } else if (a == "--serial") {
            if (!has_value) return fail("--serial needs PORT[:BAUD]");
            const std::string_view v = argv[++i];
            o.serial = parse_serial_target(v);
            if (!o.serial)
                return fail("invalid --serial '" + std::string(v) +
                            "': expected PORT or PORT:BAUD with BAUD from 50 to 4000000");
        } else if (a == "--simulate") {
            o.simulate = true;
            if (has_value && !parse_device_model(argv[i + 1], o.board))
                return fail(std::string("unknown board kind '") + argv[i + 1] + "'");
            if (has_value) ++i;
        } else if (a == "--decode") {
            o.decode = true;
        } else if (a == "--summary") {
            o.summary = true;
        } else if (a == "--seconds") {
            if (!has_value) return fail("--seconds needs a number");
            const std::string_view v = argv[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o.seconds);
            if (ec != std::errc() || end != v.data() + v.size() || !(o.seconds > 0))
                return fail("invalid --seconds '" + std::string(v) + "'");
        } else if (a == "--mqtt") {
            if (!has_value) return fail("--mqtt needs a broker URL (mqtt://HOST[:PORT] or mqtts://HOST[:PORT])");
            std::string error;
            o.mqtt = parse_mqtt_url(argv[++i], error);
            if (!o.mqtt) return fail(error);
        } else if (a == "--mqtt-user") {
            if (!has_value) return fail("--mqtt-user needs a user name");
            o.mqtt_user = argv[++i];
        } else if (a == "--mqtt-password-file") {
            if (!has_value) return fail("--mqtt-password-file needs a file");
            o.mqtt_password_file = argv[++i];
        } else if (a == "--mqtt-password" || a.starts_with("--mqtt-password=")) {
            return fail(
                "no password on the command line (every user can read it): use --mqtt-password-file FILE or the "
                "environment variable PLIMSY_MQTT_PASSWORD");
        } else if (a == "--mqtt-ca") {
            if (!has_value) return fail("--mqtt-ca needs a PEM file");
            o.mqtt_ca = argv[++i];
        } else if (a == "--mqtt-board") {
            if (!has_value) return fail("--mqtt-board needs an id");
            std::string error;
            if (!mqtt_board_id_valid(argv[i + 1], error)) return fail(error);
            o.mqtt_board = argv[++i];
        } else if (a == "--allow-commands") {
            o.allow_commands = true;
        } else {
            return fail("unknown option '" + std::string(a) + "'");
        }
    }
    if (o.simulate && !o.ble_name) o.ble_name = std::string(config_connection_t::default_ble_name_text);
    if (!o.host && !o.ble_name && !o.serial) return fail("nothing to connect: give --tcp, --ble, --serial or --simulate");
    if (o.serial && o.ble_name) return fail("one board at a time: --serial or --ble/--simulate, not both");
    if (!o.mqtt && (!o.mqtt_user.empty() || o.mqtt_password_file || !o.mqtt_ca.empty() || o.mqtt_board ||
                    o.allow_commands))
        return fail("--mqtt-user, --mqtt-password-file, --mqtt-ca, --mqtt-board and --allow-commands need --mqtt URL");
    if (o.mqtt && !o.mqtt->tls && !o.mqtt_ca.empty())
        return fail("--mqtt-ca is for TLS: use an mqtts:// URL");
#ifndef PLIMSY_CLI_QT
    if (o.ble_name && !o.simulate)
        return fail(
            "real Bluetooth needs a build with Qt (PLIMSY_BUILD_UI=ON); "
            "use --simulate for a simulated board, or --tcp through a bridge");
    if (o.serial) return fail("serial ports need a build with Qt (PLIMSY_BUILD_UI=ON)");
#endif
    return true;
}

}  // namespace

int connect_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err,
                    const std::atomic<bool>& stop) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(connect_usage, out);
            return 0;
        }
    }
    options_t o;
    if (!parse(argc, argv, o, err)) return 2;

    // The board's radio decides the event loop: Qt Bluetooth delivers its
    // events through Qt's loop, everything else runs on the portable one.
    event_loop_t portable;
    main_queue_t* main = &portable;
    std::function<void()> run_loop = [&] { portable.run(); };
    std::function<void()> quit_loop = [&] { portable.quit(); };
#ifdef PLIMSY_CLI_QT
    std::unique_ptr<qt_host_t> qt;
    // Qt Serial Port too reads and writes from Qt's loop.
    if ((o.ble_name && !o.simulate) || o.serial) {
        qt = std::make_unique<qt_host_t>();
        main = &qt->main();
        run_loop = [&] { qt->run(); };
        quit_loop = [&] { qt->quit(); };
    }
#endif
    main_queue_t& loop = *main;
    stdout_console_t console(err);

    // The links asked for go into the session's settings (kept in memory:
    // a run never changes the application's saved connection), and the
    // session connects as they say.
    session_services_t services{.clock = system_clock_t::instance(), .main = loop, .console = &console};
#ifdef PLIMSY_CLI_QT
    if (qt) {
        services.make_central = [&] { return qt->make_central(); };
        services.make_serial_port = [&] { return qt->make_serial_port(); };
    }
#endif
    session_options_t how;
    if (o.simulate) how.simulate = session_simulation_t{.board = o.board};
    session_links_t links;
    links.ble_name = o.ble_name;
    if (o.serial) {
        links.serial_port = o.serial->port;
        links.serial_baud = o.serial->baud;
    }
    if (o.host) {
        links.tcp_host = o.host;
        links.tcp_port = o.port;
    }
    how.links = links;
    session_t session(std::move(services), std::move(how));
    line_report_t report(session.pipeline(), [&](const std::string& json) {
        if (!o.decode) return;
        std::fwrite(json.data(), 1, json.size(), out);
        std::fputc('\n', out);
        std::fflush(out);
    });

    // The gateway: the password is read before the loop runs (a small file,
    // once), never taken from the command line.
    std::unique_ptr<mqtt_gateway_t> gateway;
    if (o.mqtt) {
        mqtt_options_t mqtt;
        mqtt.url = *o.mqtt;
        mqtt.user = o.mqtt_user;
        mqtt.ca_file = o.mqtt_ca;
        if (o.mqtt_password_file) {
            std::ifstream file(*o.mqtt_password_file);
            if (!file || !std::getline(file, mqtt.password)) {
                std::fprintf(err, "plimsy-cli connect: cannot read the password from '%s'\n",
                             o.mqtt_password_file->c_str());
                return 2;
            }
            if (!mqtt.password.empty() && mqtt.password.back() == '\r') mqtt.password.pop_back();
        } else if (const char* env = std::getenv("PLIMSY_MQTT_PASSWORD")) {
            mqtt.password = env;
        }
        if (!mqtt.password.empty() && mqtt.user.empty()) {
            std::fprintf(err, "plimsy-cli connect: a password needs a user: give --mqtt-user\n");
            return 2;
        }
        mqtt_gateway_options_t gw;
        gw.allow_commands = o.allow_commands;
        if (o.simulate) gw.link = "simulated";
        else if (o.ble_name) gw.link = "ble";
        else if (o.serial) gw.link = "serial";
        if (o.host) gw.link += gw.link.empty() ? "tcp" : "+tcp";
        if (o.mqtt_board) gw.board = *o.mqtt_board;
        else if (o.ble_name) gw.board = mqtt_board_id(*o.ble_name);
        else if (o.serial) gw.board = mqtt_board_id(o.serial->port);
        else gw.board = mqtt_board_id(*o.host + ":" + std::to_string(o.port));
        gateway = std::make_unique<mqtt_gateway_t>(session, std::move(mqtt), std::move(gw));
        gateway->start();
    }

    // Commands from standard input, read by a thread of its own so that the
    // main thread never waits for the pipe. Lines go through the same line
    // rule as the transports, with a limit fit for a command; the thread
    // waits while `inbox_limit` commands are not yet taken, so a fast
    // producer cannot pile them up.
    constexpr std::size_t max_command = 4096;
    constexpr std::size_t inbox_limit = 64;
    constexpr std::size_t held_limit = 256;
    // Commands read before the first connection wait this long for one:
    // `echo C | plimsy-cli connect ...` should deliver C once connected, but
    // not keep a run whose input has ended alive for ever.
    constexpr double hold_seconds = 10.0;
    // After the end of input, how long queued commands may take to leave.
    constexpr double drain_seconds = 5.0;

    std::mutex inbox_mutex;
    std::condition_variable inbox_room;
    std::deque<std::string> inbox;
    bool input_done = false;  // guarded by inbox_mutex
    std::atomic<bool> quitting{false};

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool ever_connected = false;
    std::deque<std::pair<std::string, double>> held;  // command, when it was read
    bool all_handed = false;
    auto send = [&](const std::string& command) { session.send(command + "\n"); };

    // On the main thread: takes what the reader has, and sends it or holds
    // it. Before the first connection commands wait for it (a while); after
    // it they go at once, and one that no link takes is reported.
    std::function<void()> pass_commands = [&] {
        if (session.link_up()) ever_connected = true;
        bool inbox_empty, ended;
        {
            std::lock_guard lock(inbox_mutex);
            while (!inbox.empty() && held.size() < held_limit) {
                held.emplace_back(std::move(inbox.front()), elapsed());
                inbox.pop_front();
            }
            inbox_empty = inbox.empty();
            ended = input_done;
        }
        inbox_room.notify_all();
        while (!held.empty() && (ever_connected || elapsed() - held.front().second >= hold_seconds)) {
            send(held.front().first);
            held.pop_front();
        }
        all_handed = ended && inbox_empty && held.empty();
    };

    std::thread input([&] {
        line_reassembler_t lines(false, true, max_command);
        std::vector<char> buf(64 * 1024);
        const int fd = fileno(in);
        auto deliver = [&](std::string_view line) {
            std::unique_lock lock(inbox_mutex);
            while (inbox.size() >= inbox_limit && !quitting) inbox_room.wait_for(lock, std::chrono::milliseconds(100));
            inbox.emplace_back(line);
            // The first of a batch wakes the main thread; the rest ride along.
            if (inbox.size() == 1) loop.post(pass_commands);
        };
        while (!quitting) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready <= 0) continue;
            const ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n <= 0) break;
            for (std::string_view line : lines.split_lines({buf.data(), static_cast<std::size_t>(n)})) deliver(line);
            if (lines.dropped())
                console.line("plimsy-cli connect: dropped a command line of more than " + std::to_string(max_command) +
                             " bytes; the rest of it, up to its line end, is dropped too");
        }
        if (!lines.rem().empty() && !quitting) deliver(lines.rem());
        std::lock_guard lock(inbox_mutex);
        input_done = true;
    });

    std::optional<double> input_ended_at;

    // A 10 ms heartbeat drives the simulated radio, passes commands on and
    // notices the end.
    std::function<void()> tick = [&] {
        session.poll_simulation();
        pass_commands();
        if (all_handed && !input_ended_at) input_ended_at = elapsed();

        const bool time_up = o.seconds > 0 && elapsed() >= o.seconds;
        const bool input_over =
            o.seconds <= 0 && !gateway && all_handed && (!session.sending() || elapsed() - *input_ended_at >= drain_seconds);
        if (stop || time_up || input_over) {
            quit_loop();
            return;
        }
        loop.post_after(0.01, tick);
    };
    loop.post(tick);
    run_loop();

    // Whatever never got a link is reported, not silently dropped.
    for (const auto& [command, when] : held) send(command);
    held.clear();
    quitting = true;
    inbox_room.notify_all();
    // The offline status leaves before the board's link goes.
    gateway.reset();
    session.disconnect();
    input.join();
    const double seconds = elapsed();
    if (o.summary) {
        const std::string extra = "\"bytes\":" + std::to_string(session.cnc().bytes_received);
        std::fprintf(out, "%s\n", report.summary(seconds, extra).c_str());
    }
    std::fflush(out);
    return 0;
}

}  // namespace plimsy
