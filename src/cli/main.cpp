#include <cstdio>
#include <string_view>

#include <atomic>
#include <csignal>

#include "cli/connect_command.hpp"
#include "cli/decode_command.hpp"
#include "cli/record_command.hpp"
#include "cli/replay_command.hpp"
#include "cli/simulate_command.hpp"

namespace {
std::atomic<bool> stop_requested{false};
extern "C" void on_signal(int) { stop_requested = true; }

const char* usage =
    "usage: plimsy-cli <command> [options]\n"
    "commands:\n"
    "  decode [FILE]        decode board output or a capture (a file or standard input)\n"
    "  replay FILE          play a capture at its pace or faster, or serve it over TCP\n"
    "  simulate --board K   serve a simulated board over TCP on 127.0.0.1\n"
    "  connect ...          connect to a board over TCP and/or BLE, headless\n"
    "  record ...           record a board into a capture file (connect's options, -o FILE)\n"
    "Run 'plimsy-cli <command> --help' for a command's options.\n";
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    if (command == "simulate") return plimsy::simulate_command(argc - 2, argv + 2, stdout, stderr, stop_requested);
    if (command == "connect") return plimsy::connect_command(argc - 2, argv + 2, stdin, stdout, stderr, stop_requested);
    if (command == "record") return plimsy::record_command(argc - 2, argv + 2, stdout, stderr, stop_requested);
    if (command == "decode") return plimsy::decode_command(argc - 2, argv + 2, stdin, stdout, stderr);
    if (command == "replay") return plimsy::replay_command(argc - 2, argv + 2, stdout, stderr, stop_requested);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "plimsy-cli: unknown command '%s'\n%s", argv[1], usage);
    return 2;
}
