#include "cli/link_options.hpp"

#include <charconv>
#include <string_view>

#include "config/config_connection.hpp"

#ifdef PLIMSY_CLI_QT
#include "cli/qt_host.hpp"
#endif

namespace plimsy {

const char* const link_options_usage =
    "  --tcp HOST:PORT    numeric IPv4 address and port of the bridge\n"
    "  --ble NAME         the board's advertised name, exactly (default\n"
    "                     \"Plimsy:91 UART\"); over the host's Bluetooth unless\n"
    "                     --simulate is given\n"
    "  --serial PORT[:BAUD]\n"
    "                     the board on a serial port (/dev/ttyACM0, or any tty\n"
    "                     path) at BAUD, 8N1 (default 115200); opened again by\n"
    "                     itself when the board is unplugged and comes back\n"
    "  --simulate [KIND]  BLE through a simulated radio with a simulated board\n"
    "                     of that kind (default compass_gravity)\n";

link_option_t parse_link_option(int argc, const char* const* argv, int& i, link_options_t& o, std::string& why) {
    const std::string_view a = argv[i];
    const bool has_value = i + 1 < argc && argv[i + 1][0] != '-';
    auto bad = [&](std::string reason) {
        why = std::move(reason);
        return link_option_t::bad;
    };
    if (a == "--tcp") {
        if (!has_value) return bad("--tcp needs HOST:PORT");
        const std::string_view v = argv[++i];
        const auto colon = v.rfind(':');
        if (colon == std::string_view::npos) return bad("invalid --tcp '" + std::string(v) + "': expected HOST:PORT");
        const auto host = config_connection_t::validate_host(v.substr(0, colon));
        if (!host) return bad("invalid host '" + std::string(v.substr(0, colon)) + "': a numeric IPv4 address is needed");
        const std::string_view p = v.substr(colon + 1);
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), port);
        if (ec != std::errc() || end != p.data() + p.size() || port == 0 || port > 65535)
            return bad("invalid port '" + std::string(p) + "': 1 to 65535");
        o.host = *host;
        o.port = static_cast<std::uint16_t>(port);
    } else if (a == "--ble") {
        if (!has_value) return bad("--ble needs the board's name");
        o.ble_name = argv[++i];
    } else if (a == "--serial") {
        if (!has_value) return bad("--serial needs PORT[:BAUD]");
        const std::string_view v = argv[++i];
        o.serial = parse_serial_target(v);
        if (!o.serial)
            return bad("invalid --serial '" + std::string(v) +
                       "': expected PORT or PORT:BAUD with BAUD from 50 to 4000000");
    } else if (a == "--simulate") {
        o.simulate = true;
        if (has_value && !parse_device_model(argv[i + 1], o.board))
            return bad(std::string("unknown board kind '") + argv[i + 1] + "'");
        if (has_value) ++i;
    } else {
        return link_option_t::not_mine;
    }
    return link_option_t::ok;
}

bool check_link_options(link_options_t& o, std::string& why) {
    if (o.simulate && !o.ble_name) o.ble_name = std::string(config_connection_t::default_ble_name_text);
    if (!o.host && !o.ble_name && !o.serial) {
        why = "nothing to connect: give --tcp, --ble, --serial or --simulate";
        return false;
    }
    if (o.serial && o.ble_name) {
        why = "one board at a time: --serial or --ble/--simulate, not both";
        return false;
    }
#ifndef PLIMSY_CLI_QT
    if (o.ble_name && !o.simulate) {
        why = "real Bluetooth needs a build with Qt (PLIMSY_BUILD_UI=ON); "
              "use --simulate for a simulated board, or --tcp through a bridge";
        return false;
    }
    if (o.serial) {
        why = "serial ports need a build with Qt (PLIMSY_BUILD_UI=ON)";
        return false;
    }
#endif
    return true;
}

link_host_t::link_host_t(const link_options_t& o, std::FILE* err) : o_(o), console_(err) {
#ifdef PLIMSY_CLI_QT
    // Qt Bluetooth and Qt Serial Port deliver their events through Qt's loop.
    if ((o_.ble_name && !o_.simulate) || o_.serial) {
        qt_.reset(new qt_host_t());
        main_ = &qt_->main();
    }
#endif
}

link_host_t::~link_host_t() = default;

void qt_host_deleter_t::operator()(qt_host_t* host) const {
#ifdef PLIMSY_CLI_QT
    delete host;
#else
    (void)host;  // never made without Qt
#endif
}

void link_host_t::run() {
#ifdef PLIMSY_CLI_QT
    if (qt_) return qt_->run();
#endif
    portable_.run();
}

void link_host_t::quit() {
#ifdef PLIMSY_CLI_QT
    if (qt_) return qt_->quit();
#endif
    portable_.quit();
}

session_services_t link_host_t::services() {
    session_services_t s{.clock = system_clock_t::instance(), .main = *main_, .console = &console_};
#ifdef PLIMSY_CLI_QT
    if (qt_) {
        s.make_central = [q = qt_.get()] { return q->make_central(); };
        s.make_serial_port = [q = qt_.get()] { return q->make_serial_port(); };
    }
#endif
    return s;
}

session_options_t link_host_t::session_options() const {
    session_options_t how;
    if (o_.simulate) how.simulate = session_simulation_t{.board = o_.board};
    session_links_t links;
    links.ble_name = o_.ble_name;
    if (o_.serial) {
        links.serial_port = o_.serial->port;
        links.serial_baud = o_.serial->baud;
    }
    if (o_.host) {
        links.tcp_host = o_.host;
        links.tcp_port = o_.port;
    }
    how.links = links;
    return how;
}

}  // namespace plimsy
