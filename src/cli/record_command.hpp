#pragma once

#include <atomic>
#include <cstdio>

namespace plimsy {

// "plimsy-cli record": connects as "connect" does and writes everything
// from and to the board into a capture file until `stop` turns true
// (SIGINT, SIGTERM) or --seconds run out. Returns the exit status.
int record_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop);

}  // namespace plimsy
