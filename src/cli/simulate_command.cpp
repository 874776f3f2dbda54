#include "cli/simulate_command.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "model/device_model.hpp"
#include "sim/board_server.hpp"

namespace plimsy {

namespace {
const char* simulate_usage =
    "usage: plimsy-cli simulate --board <kind> [--port N] [--rate HZ]\n"
    "Serves a simulated board on 127.0.0.1 to every client that connects and\n"
    "prints each command it receives on standard error.\n"
    "  --board KIND  hmc5883, hmc5883n, gavrin3, plimsy91, gravity, compass,\n"
    "                compass_bearing, compass_gravity or gyroscope\n"
    "  --port N      TCP port (default 8081; 0 picks a free one)\n"
    "  --rate HZ     lines per second per client (default 50)\n";

bool parse_number(std::string_view text, double& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}
}  // namespace

int simulate_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop) {
    board_server_t::options_t options;
    bool have_board = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(simulate_usage, out);
            return 0;
        }
        if ((a == "--board" || a == "--port" || a == "--rate") && !has_value) {
            std::fprintf(err, "plimsy-cli simulate: %s needs a value\n%s", argv[i], simulate_usage);
            return 2;
        }
        if (a == "--board") {
            if (!parse_device_model(argv[++i], options.kind)) {
                std::fprintf(err, "plimsy-cli simulate: unknown board kind '%s'\n%s", argv[i], simulate_usage);
                return 2;
            }
            have_board = true;
        } else if (a == "--port") {
            double port = 0;
            if (!parse_number(argv[++i], port) || port < 0 || port > 65535 || port != std::floor(port)) {
                std::fprintf(err, "plimsy-cli simulate: invalid port '%s' (0 to 65535)\n", argv[i]);
                return 2;
            }
            options.port = static_cast<std::uint16_t>(port);
        } else if (a == "--rate") {
            if (!parse_number(argv[++i], options.rate) || options.rate <= 0 || options.rate > 10000) {
                std::fprintf(err, "plimsy-cli simulate: invalid rate '%s' (above 0, at most 10000)\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(err, "plimsy-cli simulate: unknown option '%s'\n%s", argv[i], simulate_usage);
            return 2;
        }
    }
    if (!have_board) {
        std::fprintf(err, "plimsy-cli simulate: --board is required\n%s", simulate_usage);
        return 2;
    }

    std::mutex err_mutex;
    board_server_t server(options, [&](const std::string& peer, char command) {
        std::lock_guard lock(err_mutex);
        std::fprintf(err, "command from %s: %c\n", peer.c_str(), command);
        std::fflush(err);
    });
    std::string error;
    if (!server.start(error)) {
        std::fprintf(err, "plimsy-cli simulate: %s\n", error.c_str());
        return 1;
    }
    {
        std::lock_guard lock(err_mutex);
        std::fprintf(err, "simulating a %s board on 127.0.0.1:%u at %g lines per second; Ctrl-C stops\n",
                     std::string(device_model_name(options.kind)).c_str(), static_cast<unsigned>(server.port()),
                     options.rate);
        std::fflush(err);
    }
    while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.stop();
    std::fprintf(err, "stopped after serving %llu clients\n", static_cast<unsigned long long>(server.clients_served()));
    return 0;
}

}  // namespace plimsy
