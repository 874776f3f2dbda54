#include "qt/quit_on_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace plimsy {

namespace {

int wake_fds[2] = {-1, -1};

// Only async-signal-safe calls here: one byte into a pipe that the event
// loop watches, and the default action back for the next signal.
void on_signal(int sig) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wake_fds[1], &byte, 1);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
}

}  // namespace

void quit_on_termination_signals() {
    if (wake_fds[0] >= 0 || !QCoreApplication::instance()) return;
    if (::pipe2(wake_fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(wake_fds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char buf[16];
        while (::read(wake_fds[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

}  // namespace plimsy
