#pragma once

// A real Mosquitto broker on 127.0.0.1 for the MQTT tests: a password file
// made by mosquitto_passwd, a clear listener and a TLS listener whose CA and
// server certificate are made by openssl in a temporary folder; plus an
// in-process subscriber on a loop of its own and a child-process runner.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mqtt/mqtt_client.hpp"
#include "platform/event_loop.hpp"

namespace plimsy::test {

inline constexpr const char* mosquitto_binary = "/usr/sbin/mosquitto";
inline constexpr const char* broker_user = "gateway";
inline constexpr const char* broker_password = "s3cret pass";

inline bool have_mosquitto() { return ::access(mosquitto_binary, X_OK) == 0; }

inline std::uint16_t free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool port_open(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A child process with its standard output and error in files.
struct process_t {
    pid_t pid = -1;
    std::filesystem::path out, err;

    process_t(std::vector<std::string> argv, std::filesystem::path out_file, std::filesystem::path err_file)
        : out(std::move(out_file)), err(std::move(err_file)) {
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        const std::string o = out.string(), e = err.string();
        pid = ::fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int fo = ::open(o.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int fe = ::open(e.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, 0);
            ::dup2(fo, 1);
            ::dup2(fe, 2);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~process_t() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    process_t(const process_t&) = delete;
    process_t& operator=(const process_t&) = delete;

    void signal(int sig) const { ::kill(pid, sig); }
    // The exit status, or -1 if it has not ended within `seconds`.
    int wait(double seconds = 20) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
};

// The broker with its files; started by the constructor, stopped by stop()
// or the destructor, and started again on the same ports by start().
class broker_t {
public:
    broker_t() : dir_(make_dir()) {
        make_certificates();
        run({"mosquitto_passwd", "-b", "-c", (dir_ / "passwd").string(), broker_user, broker_password});
        plain_port = free_port();
        tls_port = free_port();
        std::ofstream conf(dir_ / "mosquitto.conf");
        // As root, mosquitto would switch to its own user, which cannot read
        // this private folder: it stays who we are.
        const passwd* me = ::getpwuid(::getuid());
        if (me != nullptr) conf << "user " << me->pw_name << "\n";
        conf << "per_listener_settings false\n"
             << "allow_anonymous false\n"
             << "password_file " << (dir_ / "passwd").string() << "\n"
             << "persistence false\n"
             << "log_dest file " << (dir_ / "broker.log").string() << "\n"
             << "listener " << plain_port << " 127.0.0.1\n"
             << "listener " << tls_port << " 127.0.0.1\n"
             << "cafile " << (dir_ / "ca.crt").string() << "\n"
             << "certfile " << (dir_ / "server.crt").string() << "\n"
             << "keyfile " << (dir_ / "server.key").string() << "\n";
        conf.close();
        start();
    }
    ~broker_t() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    void start() {
        process_ = std::make_unique<process_t>(
            std::vector<std::string>{mosquitto_binary, "-c", (dir_ / "mosquitto.conf").string()}, dir_ / "broker.out",
            dir_ / "broker.err");
        for (int i = 0; i < 250 && !(port_open(plain_port) && port_open(tls_port)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(port_open(plain_port)) << slurp(dir_ / "broker.err") << slurp(dir_ / "broker.log");
    }
    void stop() {
        if (!process_) return;
        process_->signal(SIGTERM);
        process_->wait(10);
        process_.reset();
    }

    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(plain_port); }
    std::string tls_url() const { return "mqtts://127.0.0.1:" + std::to_string(tls_port); }
    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path ca() const { return dir_ / "ca.crt"; }
    std::filesystem::path other_ca() const { return dir_ / "other_ca.crt"; }

    mqtt_options_t options(bool tls = false) const {
        mqtt_options_t o;
        std::string error;
        o.url = *parse_mqtt_url(tls ? tls_url() : url(), error);
        o.user = broker_user;
        o.password = broker_password;
        if (tls) o.ca_file = ca().string();
        o.reconnect_min_seconds = 0.2;
        o.reconnect_max_seconds = 0.5;
        return o;
    }

    std::uint16_t plain_port = 0, tls_port = 0;

private:
    static std::filesystem::path make_dir() {
        std::string t = (std::filesystem::temp_directory_path() / "plimsy-mqtt-XXXXXX").string();
        return ::mkdtemp(t.data());
    }
    static void run(std::vector<std::string> argv) {
        std::string command;
        for (const auto& a : argv) command += "'" + a + "' ";
        command += ">/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void make_certificates() {
        const std::string d = dir_.string();
        std::ofstream(dir_ / "san.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
        for (const char* ca : {"ca", "other_ca"})
            run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                 "-keyout", d + "/" + ca + ".key", "-out", d + "/" + ca + ".crt", "-days", "2", "-subj",
                 std::string("/CN=plimsy test ") + ca});
        run({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             d + "/server.key", "-out", d + "/server.csr", "-subj", "/CN=127.0.0.1"});
        run({"openssl", "x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.crt", "-CAkey", d + "/ca.key",
             "-CAcreateserial", "-out", d + "/server.crt", "-days", "2", "-extfile", d + "/san.ext"});
    }

    std::filesystem::path dir_;
    std::unique_ptr<process_t> process_;
};

// An MQTT client on an event loop of its own thread, recording what it is
// told. Read what it recorded through with_lock or wait_for.
class listener_t {
public:
    explicit listener_t(mqtt_options_t options, std::vector<std::string> filters = {}) {
        thread_ = std::thread([this] { loop_.run(); });
        loop_.post_and_wait([&] {
            mqtt_events_t e;
            e.connected = [this] {
                std::lock_guard lock(mutex_);
                ++connects;
            };
            e.down = [this](const std::string& why, bool retrying) {
                std::lock_guard lock(mutex_);
                downs.push_back(why);
                gave_up = gave_up || !retrying;
            };
            e.message = [this](const mqtt_message_t& m) {
                std::lock_guard lock(mutex_);
                messages.push_back(m);
            };
            e.dropped = [this](std::uint64_t n, std::uint64_t bytes) {
                std::lock_guard lock(mutex_);
                dropped += n;
                dropped_bytes += bytes;
            };
            client_ = std::make_unique<mqtt_client_t>(loop_, std::move(options), std::move(e));
            for (const auto& f : filters) client_->subscribe(f);
            client_->start();
        });
    }
    ~listener_t() {
        loop_.post_and_wait([&] { client_.reset(); });
        loop_.quit();
        thread_.join();
    }

    void publish(const std::string& topic, const std::string& payload, bool retain = false) {
        loop_.post_and_wait([&] { client_->publish(topic, payload, retain); });
    }
    mqtt_counters_t counters() {
        mqtt_counters_t c;
        loop_.post_and_wait([&] { c = client_->counters(); });
        return c;
    }

    // Waits up to `seconds` for pred (run under the lock) to hold.
    bool wait_for(const std::function<bool()>& pred, double seconds = 10) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (pred()) return true;
            }
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    template <class F>
    auto with_lock(F f) {
        std::lock_guard lock(mutex_);
        return f();
    }

    // Guarded by the lock.
    int connects = 0;
    std::vector<std::string> downs;
    bool gave_up = false;
    std::vector<mqtt_message_t> messages;
    std::uint64_t dropped = 0, dropped_bytes = 0;

    // Payloads on `topic`, in order of arrival (under the lock).
    std::vector<std::string> payloads(const std::string& topic) const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            if (m.topic == topic) out.push_back(m.payload);
        return out;
    }

private:
    event_loop_t loop_;
    std::thread thread_;
    std::mutex mutex_;
    std::unique_ptr<mqtt_client_t> client_;
};

}  // namespace plimsy::test

// Every broker test starts with this: without the program there is nothing
// to test against, and the skip says what to install.
#define REQUIRE_MOSQUITTO()                                                                    \
    if (!::plimsy::test::have_mosquitto())                                                      \
    GTEST_SKIP() << ::plimsy::test::mosquitto_binary << " is not installed (Debian package mosquitto)"

namespace plimsy::test {
inline bool has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }
}  // namespace plimsy::test
