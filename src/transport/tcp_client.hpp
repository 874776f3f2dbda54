#pragma once

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "platform/console.hpp"
#include "platform/main_queue.hpp"
#include "transport/link_state.hpp"
#include "transport/receive_line.hpp"

namespace plimsy {

// What the owner of a TCP client provides: the receivers of the lines and
// frames it reassembles, and the connection's events. Every call arrives on
// the main thread.
class tcp_client_delegate_t : public receive_line_t, public receive_arr_t {
public:
    virtual ~tcp_client_delegate_t() = default;
    virtual void tcp_connected(const std::string& host, std::uint16_t port) = 0;
    // An attempt failed or an established connection was lost. error_number
    // is the platform's errno (0 when the peer simply closed).
    virtual void tcp_failed(const std::string& host, std::uint16_t port, int error_number) = 0;
    // Every received chunk, raw and before it is read as lines or frames.
    virtual void forward_to_ble(std::span<const std::uint8_t> bytes) = 0;
    // receive_arr reported the first binary frame after text; the owner
    // answers the board with a single 0x00 byte.
    virtual void first_binary_frame() {}
};

// One TCP connection to a bridge, numeric IPv4 only: a worker thread makes
// each connection attempt and another runs the loop of each connection,
// which both receives and writes what send() queued. Everything received
// reaches the delegate and the receivers on the main thread, and the loop
// waits until it has been handled. send() only queues, so a peer that stops
// reading never holds up the main thread; once send_limit bytes wait, the
// peer counts as gone and the connection is dropped like a lost one.
//
// All public members, the destructor included, are called on the main
// thread: that is what lets a hand-over know the client is still alive.
class tcp_client_t {
public:
    tcp_client_t(tcp_client_delegate_t& delegate, main_queue_t& main, console_t& console,
                 transport_options_t options = {});
    // Disconnects and joins the workers; nothing reaches the delegate after.
    ~tcp_client_t();
    tcp_client_t(const tcp_client_t&) = delete;
    tcp_client_t& operator=(const tcp_client_t&) = delete;

    // Starts an attempt unless one is running; true when already connected,
    // in which case nothing changes.
    bool connect(const std::string& host, std::uint16_t port);
    // The user no longer wants the connection: clears enabled and valid and
    // shuts the socket down, which ends a receive loop blocked in recv.
    void disconnect();
    // Queues all bytes for the connection's thread to write, in order, and
    // returns at once. False (nothing queued) when not connected, or when
    // the queue would exceed send_limit: the peer has stopped reading, and
    // the connection is then dropped with a console line and reported
    // through tcp_failed (ENOBUFS). A peer that has gone never raises a
    // signal.
    bool send(std::span<const std::uint8_t> bytes);
    // Bytes queued by send() and not yet handed to the system.
    std::size_t unsent() const;

    bool enabled() const { return enabled_; }
    bool valid() const { return valid_; }
    // Where the connection stands, as the main thread has been told: it
    // changes with the delegate's events, in the same hand-over, so it never
    // runs ahead of what the owner has seen. Main thread only.
    const link_state_t& link() const { return link_; }
    bool connecting() const { return connecting_; }
    bool binary() const { return binary_; }
    bool force_text() const { return force_text_; }
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    bool empty_lines() const { return empty_lines_; }
    void set_empty_lines(bool on) { empty_lines_ = on; }

    static constexpr std::size_t buffer_size = 2048;
    // Commands are a few bytes and a relayed board writes a few kilobytes a
    // second: this much waiting means the peer has not read for a long time
    // (the system's own socket buffers are full before anything waits here).
    static constexpr std::size_t send_limit = 256 * 1024;

private:
    struct life_t;

    void connect_once(std::string host, std::uint16_t port);
    void receive_loop(int fd, std::string host, std::uint16_t port);
    void wake_loop();

    // Runs fn on the main thread and waits for it; false when the client is
    // being destroyed, in which case fn may not have run.
    bool hand_over(std::function<void()> fn);
    // Runs fn on the main thread later, unless the client is gone by then.
    void post(std::function<void()> fn);

    // On the main thread: sets link_ and tells the delegate.
    void report_connected(const std::string& host, std::uint16_t port);
    void report_failed(const std::string& host, std::uint16_t port, int error_number);

    tcp_client_delegate_t& delegate_;
    main_queue_t& main_;
    console_t& console_;

    std::atomic<bool> connecting_{false};
    // A connect() that came while an attempt's worker was still running
    // (main thread only).
    bool ask_again_ = false;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> binary_;
    const bool force_text_;
    std::atomic<bool> empty_lines_{false};
    std::atomic<bool> valid_{false};
    link_state_t link_;  // main thread only

    // Guards so_ and every use of it from the main thread. The descriptor is
    // closed only by the worker that owns it (the attempt, then the loop),
    // after it is done with it; the main thread only shuts it down and
    // forgets it, under the lock, so no send reaches a closed descriptor.
    std::mutex so_mutex_;
    int so_ = -1;

    // Bytes waiting to be written. The loop takes them out whole, so the
    // main thread holds this lock only for an append.
    mutable std::mutex out_mutex_;
    std::string out_;
    std::size_t out_pending_ = 0;  // in out_ plus what the loop has taken and not yet written
    std::atomic<bool> stalled_{false};
    // The loop sleeps in poll on the socket and on this pipe's read end;
    // send() and disconnect() write a byte to wake it.
    int wake_[2] = {-1, -1};

    std::string host_ = "192.168.4.1";
    std::uint16_t port_ = 81;

    std::shared_ptr<life_t> life_;
    std::thread connect_thread_;  // touched by the main thread only
    std::thread receive_thread_;  // touched by the connect worker, and by the destructor after joining it
};

}  // namespace plimsy
