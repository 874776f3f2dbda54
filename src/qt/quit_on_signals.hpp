#pragma once

namespace plimsy {

// Turns SIGTERM, SIGINT and SIGHUP (a session that ends, Ctrl-C in a
// terminal, a closed terminal) into an orderly quit of the Qt event loop,
// so that what the application writes on the way out (the settings still
// pending) gets written. A second signal of the same kind ends the process
// at once, in case the orderly way hangs. Call once, after the application
// object exists.
void quit_on_termination_signals();

}  // namespace plimsy
