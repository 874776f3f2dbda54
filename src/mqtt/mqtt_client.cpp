#include "mqtt/mqtt_client.hpp"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace plimsy {

std::string mqtt_url_t::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    std::string out = tls ? "mqtts://" : "mqtt://";
    out += v6 ? "[" + host + "]" : host;
    out += ':';
    out += std::to_string(port);
    return out;
}

std::optional<mqtt_url_t> parse_mqtt_url(std::string_view text, std::string& error) {
    mqtt_url_t url;
    std::string_view rest;
    const auto scheme_end = text.find("://");
    const std::string_view scheme = scheme_end == std::string_view::npos ? std::string_view{} : text.substr(0, scheme_end);
    if (scheme == "mqtt") {
        url.tls = false;
        url.port = mqtt_url_t::default_port;
    } else if (scheme == "mqtts") {
        url.tls = true;
        url.port = mqtt_url_t::default_tls_port;
    } else {
        error = "'" + std::string(text) +
                "' is not a broker URL: expected mqtt://HOST[:PORT] (clear text) or mqtts://HOST[:PORT] (TLS)";
        return std::nullopt;
    }
    rest = text.substr(scheme_end + 3);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.find('@') != std::string_view::npos) {
        error = "a broker URL carries no user or password: give the user with its own option and the password "
                "in a file or the environment";
        return std::nullopt;
    }
    if (rest.find_first_of("/?#") != std::string_view::npos) {
        error = "a broker URL has no path: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
        return std::nullopt;
    }
    std::string_view host = rest;
    std::string_view port;
    bool has_port = false;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            error = "unclosed '[' in the broker's IPv6 address";
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                error = "expected ':PORT' after the broker's IPv6 address";
                return std::nullopt;
            }
            port = after.substr(1);
            has_port = true;
        }
    } else {
        const auto colon = rest.rfind(':');
        if (colon != std::string_view::npos) {
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
            has_port = true;
        }
    }
    const bool v6 = !rest.empty() && rest.front() == '[';
    const bool host_ok = !host.empty() && host.size() <= 253 &&
                         std::all_of(host.begin(), host.end(), [&](char c) {
                             return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                    c == '.' || c == '-' || c == '_' || (v6 && c == ':');
                         });
    if (!host_ok) {
        error = "invalid broker host '" + std::string(host) + "'";
        return std::nullopt;
    }
    if (has_port) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            error = "invalid broker port '" + std::string(port) + "': 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<std::uint16_t>(value);
    }
    url.host = std::string(host);
    return url;
}

namespace {

struct pending_t {
    std::string topic;
    std::string payload;
    bool retain = false;
};

void init_library_once() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

std::string mqtt_client_t::describe_connack(int code) {
    switch (code) {
        case 0: return "accepted";
        case 1: return "the broker refused the protocol version (it needs MQTT 3.1.1 or later)";
        case 2: return "the broker refused the client id";
        case 3: return "the broker is unavailable just now";
        case 4: return "the broker refused the user name or password";
        case 5:
            return "the broker refused us as not authorised: wrong or missing user name or password, or this user "
                   "may not connect";
        default: return "the broker refused the connection (" + std::string(mosquitto_connack_string(code)) + ")";
    }
}

struct mqtt_client_t::shared_t {
    shared_t(main_queue_t& m, mqtt_options_t o, mqtt_events_t e)
        : main(m), options(std::move(o)), events(std::move(e)) {}

    main_queue_t& main;
    const mqtt_options_t options;
    const mqtt_events_t events;
    mosquitto* mosq = nullptr;
    std::thread worker;
    std::weak_ptr<shared_t> weak_self;

    // Shared between the threads, under `mutex`. mosquitto's functions are
    // called under it only where they do no input or output (publishing
    // queues a packet for the network thread), so holding it is brief.
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    bool accepted = false;
    std::deque<pending_t> queue;
    std::size_t queued_bytes = 0;
    std::unordered_set<int> inflight;
    std::vector<std::string> filters;
    mqtt_counters_t counters;
    std::uint64_t unreported = 0, unreported_bytes = 0;

    // The network thread's own.
    int connack = -1;
    bool was_accepted = false;
    mutable std::mutex log_mutex;
    std::string log_error;  // mosquitto's last error-level log line (TLS reasons come only this way)

    // The main thread's own.
    bool alive = true;
    bool started = false;
    bool connected = false;
    std::string last_down;
    std::chrono::steady_clock::time_point last_drop_report{};

    // Under `mutex`: hands queued publications to the library while the
    // broker takes them.
    void drain() {
        while (accepted && !queue.empty() && inflight.size() < options.max_inflight) {
            pending_t& p = queue.front();
            if (!send(p)) break;
            queued_bytes -= p.topic.size() + p.payload.size();
            queue.pop_front();
        }
    }
    bool send(const pending_t& p) {
        int mid = 0;
        const int rc = mosquitto_publish(mosq, &mid, p.topic.c_str(), static_cast<int>(p.payload.size()),
                                         p.payload.data(), 1, p.retain);
        if (rc != MOSQ_ERR_SUCCESS) return false;
        inflight.insert(mid);
        ++counters.published;
        return true;
    }
    void enqueue(pending_t p) {
        queued_bytes += p.topic.size() + p.payload.size();
        queue.push_back(std::move(p));
        while (queue.size() > 1 &&
               (queue.size() > options.buffer_messages || queued_bytes > options.buffer_bytes)) {
            const std::size_t size = queue.front().topic.size() + queue.front().payload.size();
            queued_bytes -= size;
            ++counters.dropped;
            counters.dropped_bytes += size;
            ++unreported;
            unreported_bytes += size;
            queue.pop_front();
        }
    }

    // Runs fn on the main thread unless the client has gone by then. Once
    // the client closes in the background nothing more is posted: the main
    // queue may be gone before the network thread is. The lock is held only
    // around the hand-over, never around network work.
    std::mutex post_mutex;
    bool detached = false;  // under post_mutex
    void post(std::shared_ptr<shared_t> self, std::function<void(shared_t&)> fn) {
        std::lock_guard lock(post_mutex);
        if (detached) return;
        main.post([self = std::move(self), fn = std::move(fn)] {
            if (self->alive) fn(*self);
        });
    }

    // Stops the network thread, sends DISCONNECT and frees the library's
    // client: on the main thread, or on a closing thread of its own.
    void finish() {
        if (mosq == nullptr) return;
        if (worker.joinable()) {
            {
                std::unique_lock lock(mutex);
                if (options.linger_seconds > 0)
                    changed.wait_for(lock, std::chrono::duration<double>(options.linger_seconds),
                                     [&] { return !accepted || (queue.empty() && inflight.empty()); });
                stop = true;
            }
            changed.notify_all();
            mosquitto_disconnect(mosq);
            worker.join();
        }
        mosquitto_destroy(mosq);
        mosq = nullptr;
    }

    void report_dropped_on_main() {
        std::uint64_t n = 0, bytes = 0;
        {
            std::lock_guard lock(mutex);
            n = unreported;
            bytes = unreported_bytes;
            unreported = unreported_bytes = 0;
        }
        last_drop_report = std::chrono::steady_clock::now();
        if (n > 0 && events.dropped) events.dropped(n, bytes);
    }

    void down_on_main(const std::string& why, bool retrying) {
        connected = false;
        if (why == last_down) return;
        last_down = why;
        if (events.down) events.down(why, retrying);
    }

    std::string configure();
    std::string describe(int rc, int error_number) const;
    void run(std::shared_ptr<shared_t> self);
};

namespace {

void on_connect(mosquitto* m, void* obj, int rc) {
    auto& s = *static_cast<mqtt_client_t::shared_t*>(obj);
    s.connack = rc;
    if (rc != 0) return;
    std::lock_guard lock(s.mutex);
    s.accepted = true;
    s.was_accepted = true;
    ++s.counters.connects;
    for (const auto& f : s.filters) mosquitto_subscribe(m, nullptr, f.c_str(), 1);
    s.drain();
}

void on_disconnect(mosquitto*, void* obj, int) {
    auto& s = *static_cast<mqtt_client_t::shared_t*>(obj);
    std::lock_guard lock(s.mutex);
    s.accepted = false;
    s.changed.notify_all();
}

void on_publish(mosquitto*, void* obj, int mid) {
    auto& s = *static_cast<mqtt_client_t::shared_t*>(obj);
    std::lock_guard lock(s.mutex);
    if (s.inflight.erase(mid) > 0) ++s.counters.acknowledged;
    s.drain();
    s.changed.notify_all();
}

void on_log(mosquitto*, void* obj, int level, const char* text) {
    if (!(level & MOSQ_LOG_ERR) || text == nullptr) return;
    auto& s = *static_cast<mqtt_client_t::shared_t*>(obj);
    std::lock_guard lock(s.log_mutex);
    if (s.log_error.empty() || !contains(s.log_error, "certificate verify failed")) s.log_error = text;
}

}  // namespace

// The settings that need no network; a failure here will not heal by
// retrying. TLS is set before the first connection attempt and never
// switched off, so mqtts cannot end in clear text.
std::string mqtt_client_t::shared_t::configure() {
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!options.user.empty()) {
        if (mosquitto_username_pw_set(mosq, options.user.c_str(),
                                      options.password.empty() ? nullptr : options.password.c_str()) != MOSQ_ERR_SUCCESS)
            return "the user name or password cannot be used (not UTF-8, or too long)";
    }
    if (options.will) {
        const int rc = mosquitto_will_set(mosq, options.will->topic.c_str(),
                                          static_cast<int>(options.will->payload.size()),
                                          options.will->payload.data(), 1, options.will->retain);
        if (rc != MOSQ_ERR_SUCCESS)
            return "the last-will topic '" + options.will->topic + "' cannot be used: " + mosquitto_strerror(rc);
    }
    if (options.url.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (options.ca_file.empty()) {
            rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            if (rc != MOSQ_ERR_SUCCESS) return std::string("cannot use the system's CA certificates: ") + mosquitto_strerror(rc);
        } else {
            rc = mosquitto_tls_set(mosq, options.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                return "cannot read the CA file '" + options.ca_file + "' (" + mosquitto_strerror(rc) +
                       "): give a readable PEM file with the certificate of the CA that signed the broker's";
        }
        rc = mosquitto_tls_opts_set(mosq, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(mosq, false);
        if (rc != MOSQ_ERR_SUCCESS) return std::string("cannot set up TLS: ") + mosquitto_strerror(rc);
    }
    mosquitto_max_inflight_messages_set(mosq, static_cast<unsigned>(options.max_inflight));
    return {};
}

std::string mqtt_client_t::shared_t::describe(int rc, int error_number) const {
    const std::string where = options.url.text();
    std::string log;
    {
        std::lock_guard lock(log_mutex);
        log = log_error;
    }
    if (connack > 0) return where + ": " + mqtt_client_t::describe_connack(connack);
    if (contains(log, "certificate verify failed"))
        return where + ": the broker's certificate was not accepted (certificate verify failed): give the "
                       "certificate of the CA that signed it, and use the host name the certificate names";
    if (options.url.tls && (rc == MOSQ_ERR_TLS || contains(log, "OpenSSL") || contains(log, "SSL")))
        return where + ": the TLS handshake failed (" + log + "): is this port a TLS listener?";
    if (rc == MOSQ_ERR_EAI) return where + ": cannot find the host '" + options.url.host + "' (name lookup failed)";
    if (rc == MOSQ_ERR_ERRNO && error_number == ECONNREFUSED)
        return where + ": connection refused: is the broker running, and is this its port?";
    if (was_accepted)
        return where + ": lost the connection to the broker (" + std::string(mosquitto_strerror(rc)) + ")";
    if (rc == MOSQ_ERR_ERRNO && error_number != 0)
        return where + ": cannot connect (" + std::string(std::strerror(error_number)) + ")";
    if (!options.url.tls && (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_PROTOCOL))
        return where + ": the broker closed the connection before accepting us (" + mosquitto_strerror(rc) +
               "); if it is a TLS listener, use mqtts://";
    return where + ": cannot connect (" + std::string(mosquitto_strerror(rc)) + (log.empty() ? "" : "; " + log) + ")";
}

void mqtt_client_t::shared_t::run(std::shared_ptr<shared_t> self) {
    const std::string fatal = configure();
    if (!fatal.empty()) {
        post(self, [fatal](shared_t& s) { s.down_on_main(s.options.url.text() + ": " + fatal, false); });
        return;
    }
    double delay = options.reconnect_min_seconds;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stop) break;
        }
        connack = -1;
        was_accepted = false;
        {
            std::lock_guard lock(log_mutex);
            log_error.clear();
        }
        errno = 0;
        int rc = mosquitto_connect_async(mosq, options.url.host.c_str(), options.url.port, options.keepalive_seconds);
        int error_number = errno;
        bool told_up = false;
        std::optional<std::chrono::steady_clock::time_point> stop_seen;
        while (rc == MOSQ_ERR_SUCCESS) {
            // A short timeout bounds how long a stop waits while connecting;
            // publications and the stop's DISCONNECT wake it at once.
            rc = mosquitto_loop(mosq, 200, 1);
            error_number = errno;
            if (was_accepted && !told_up) {
                told_up = true;
                post(self, [](shared_t& s) {
                    s.connected = true;
                    s.last_down.clear();
                    if (s.events.connected) s.events.connected();
                    s.report_dropped_on_main();
                });
            }
            std::lock_guard lock(mutex);
            if (stop) {
                const auto now = std::chrono::steady_clock::now();
                if (!stop_seen) stop_seen = now;
                if (!accepted || now - *stop_seen > std::chrono::seconds(1)) break;
            }
        }
        {
            std::lock_guard lock(mutex);
            accepted = false;
            if (stop) break;
        }
        if (was_accepted) delay = options.reconnect_min_seconds;
        post(self, [why = describe(rc, error_number)](shared_t& s) { s.down_on_main(why, true); });
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::duration<double>(delay), [&] { return stop; });
        delay = std::min(delay * 2, options.reconnect_max_seconds);
    }
}

mqtt_client_t::mqtt_client_t(main_queue_t& main, mqtt_options_t options, mqtt_events_t events)
    : shared_(std::make_shared<shared_t>(main, std::move(options), std::move(events))) {
    init_library_once();
    auto& s = *shared_;
    s.weak_self = shared_;
    s.mosq = mosquitto_new(s.options.client_id.empty() ? nullptr : s.options.client_id.c_str(), true, &s);
    if (s.mosq == nullptr) return;
    mosquitto_threaded_set(s.mosq, true);
    mosquitto_connect_callback_set(s.mosq, on_connect);
    mosquitto_disconnect_callback_set(s.mosq, on_disconnect);
    mosquitto_publish_callback_set(s.mosq, on_publish);
    mosquitto_log_callback_set(s.mosq, on_log);
    mosquitto_message_callback_set(s.mosq, [](mosquitto*, void* obj, const mosquitto_message* m) {
        auto& s = *static_cast<shared_t*>(obj);
        if (m == nullptr || m->topic == nullptr) return;
        if (static_cast<std::size_t>(m->payloadlen) > s.options.max_incoming_bytes) {
            std::lock_guard lock(s.mutex);
            ++s.counters.oversized;
            return;
        }
        mqtt_message_t message{m->topic, std::string(static_cast<const char*>(m->payload),
                                                     static_cast<std::size_t>(m->payloadlen)),
                               m->retain};
        // The network thread runs only while the client exists, so the
        // shared state is there to lock; posted work keeps it alive.
        s.post(s.weak_self.lock(), [message = std::move(message)](shared_t& s) {
            {
                std::lock_guard lock(s.mutex);
                ++s.counters.received;
            }
            if (s.events.message) s.events.message(message);
        });
    });
}

namespace {
std::atomic<int> closing_clients{0};
}  // namespace

mqtt_client_t::~mqtt_client_t() {
    auto& s = *shared_;
    s.alive = false;
    if (s.mosq == nullptr) return;
    if (s.options.close_in_background && s.worker.joinable()) {
        {
            std::lock_guard lock(s.post_mutex);
            s.detached = true;
        }
        closing_clients.fetch_add(1);
        std::thread([self = shared_] {
            self->finish();
            closing_clients.fetch_sub(1);
        }).detach();
        return;
    }
    s.finish();
}

bool wait_for_mqtt_closes(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (closing_clients.load() > 0) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void mqtt_client_t::start() {
    auto& s = *shared_;
    if (s.started) return;
    s.started = true;
    if (s.mosq == nullptr) {
        s.down_on_main(s.options.url.text() + ": cannot make an MQTT client (out of memory?)", false);
        return;
    }
    s.worker = std::thread([self = shared_] { self->run(self); });
}

void mqtt_client_t::publish(std::string_view topic, std::string_view payload, bool retain) {
    auto& s = *shared_;
    if (s.mosq == nullptr) return;
    pending_t p{std::string(topic), std::string(payload), retain};
    {
        std::lock_guard lock(s.mutex);
        if (!(s.accepted && s.queue.empty() && s.inflight.size() < s.options.max_inflight && s.send(p)))
            s.enqueue(std::move(p));
        if (s.unreported == 0 || !s.connected) return;
    }
    if (std::chrono::steady_clock::now() - s.last_drop_report >= std::chrono::seconds(1)) s.report_dropped_on_main();
}

void mqtt_client_t::subscribe(std::string_view filter) {
    auto& s = *shared_;
    std::lock_guard lock(s.mutex);
    const std::string f(filter);
    if (std::find(s.filters.begin(), s.filters.end(), f) != s.filters.end()) return;
    s.filters.push_back(f);
    if (s.accepted && s.mosq) mosquitto_subscribe(s.mosq, nullptr, f.c_str(), 1);
}

void mqtt_client_t::unsubscribe(std::string_view filter) {
    auto& s = *shared_;
    std::lock_guard lock(s.mutex);
    const std::string f(filter);
    const auto it = std::find(s.filters.begin(), s.filters.end(), f);
    if (it == s.filters.end()) return;
    s.filters.erase(it);
    if (s.accepted && s.mosq) mosquitto_unsubscribe(s.mosq, nullptr, f.c_str());
}

bool mqtt_client_t::connected() const { return shared_->connected; }

const mqtt_options_t& mqtt_client_t::options() const { return shared_->options; }

mqtt_counters_t mqtt_client_t::counters() const {
    std::lock_guard lock(shared_->mutex);
    mqtt_counters_t c = shared_->counters;
    c.queued = shared_->queue.size();
    return c;
}

}  // namespace plimsy
