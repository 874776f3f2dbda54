#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace plimsy {

// The whole "replay" command: plays a capture file at its recorded pace
// (or faster) with decode's outputs, or serves its board bytes over TCP.
// Writes to `out`, diagnostics to `err`; `stop` (Ctrl-C) ends it early.
// `on_listening(port)`, when given, is called once --tcp-serve listens
// (tests learn the port it picked). Returns the exit status.
int replay_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop,
                   const std::function<void(std::uint16_t port)>& on_listening = {});

}  // namespace plimsy
