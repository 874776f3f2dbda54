#pragma once

#include <atomic>
#include <cstdio>

namespace plimsy {

// "plimsy-cli simulate": serves a simulated board on 127.0.0.1 until `stop`
// turns true (SIGINT in the program). Returns the exit status.
int simulate_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop);

}  // namespace plimsy
