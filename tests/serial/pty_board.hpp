#pragma once

// A stand-in for a board on a cable: a pseudo-terminal whose master end the
// test holds, reached through a symbolic link in a temporary directory the
// way a udev rule names a device. Closing the master is the unplug; a new
// pseudo-terminal behind the same link is the replug (under another
// /dev/pts number, as a kernel renumbering would give).

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace plimsy {

// Seconds; only a bound on waiting, never asserted.
inline constexpr double serial_patience = 10.0;

// Runs Qt's loop until done() holds; false when patience ran out.
inline bool pump_until(const std::function<bool()>& done, double patience = serial_patience) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ::usleep(1000);
    }
    return true;
}

class temp_dir_t {
public:
    temp_dir_t() {
        std::string pattern = (std::filesystem::temp_directory_path() / "plimsy-serial-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~temp_dir_t() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

class pty_board_t {
public:
    explicit pty_board_t(std::string link) : link_(std::move(link)) { plug(); }
    ~pty_board_t() { unplug(); }

    void plug() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
        // Raw and without echo from the start, like a UART: what the board
        // sends before the application opens its end must not come back.
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        // Our copy of the slave end would keep the device alive after an
        // unplug; the application opens its own.
        ::close(slave);
        device_ = name;
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(device_, link_);
    }
    void unplug() {
        if (master_ < 0) return;
        ::close(master_);
        master_ = -1;
        std::error_code ignored;
        std::filesystem::remove(link_, ignored);
    }
    bool plugged() const { return master_ >= 0; }

    const std::string& link() const { return link_; }
    const std::string& device() const { return device_; }
    int master() const { return master_; }

    // What the application set up on its end (the termios are shared).
    speed_t speed() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return ::cfgetospeed(&t);
    }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(master_, bytes.data(), bytes.size());
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // What the application wrote, read without waiting.
    std::string take() {
        std::string got;
        char buffer[4096];
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    std::string link_;
    std::string device_;
    int master_ = -1;
};

}  // namespace plimsy
