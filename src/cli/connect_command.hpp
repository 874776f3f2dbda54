#pragma once

#include <atomic>
#include <cstdio>

namespace plimsy {

// "plimsy-cli connect": runs the connection coordinator headless on the
// portable event loop until standard input ends, `stop` turns true (SIGINT)
// or --seconds run out. Returns the exit status.
int connect_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err,
                    const std::atomic<bool>& stop);

}  // namespace plimsy
