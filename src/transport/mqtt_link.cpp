#include "transport/mqtt_link.hpp"

#include <simdjson.h>

#include <algorithm>

#include "common/text.hpp"

namespace plimsy {

namespace {

constexpr std::string_view status_filter = "plimsy/+/status";

std::string_view as_text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A text member of a status, shortened and cleaned for the sheet: it comes
// from the broker and is shown to the user.
std::string shown_member(std::string_view text) {
    constexpr std::size_t max = 80;
    std::string out = utf8_with_replacements(text.substr(0, max));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

}  // namespace

std::optional<broker_board_t> parse_board_status(std::string_view board, std::string_view payload) {
    // One parser for the status topics; they are small and rare.
    static thread_local simdjson::dom::parser parser;
    simdjson::padded_string padded(payload);
    simdjson::dom::element root;
    if (parser.parse(padded).get(root) != simdjson::SUCCESS) return std::nullopt;
    simdjson::dom::object object;
    if (root.get(object) != simdjson::SUCCESS) return std::nullopt;
    broker_board_t b;
    b.id = std::string(board);
    // "online": true/false, or "state": "online"/"offline": the last will
    // may be written either way by a gateway of another make.
    bool online = false;
    std::string_view state;
    if (object["online"].get(online) == simdjson::SUCCESS) {
        b.online = online;
    } else if (object["state"].get(state) == simdjson::SUCCESS || object["status"].get(state) == simdjson::SUCCESS) {
        if (state != "online" && state != "offline") return std::nullopt;
        b.online = state == "online";
    } else {
        return std::nullopt;
    }
    std::string_view text;
    if (object["kind"].get(text) == simdjson::SUCCESS) b.kind = shown_member(text);
    if (object["link"].get(text) == simdjson::SUCCESS) b.link = shown_member(text);
    bool commands = false;
    if (object["commands"].get(commands) == simdjson::SUCCESS ||
        object["allow_commands"].get(commands) == simdjson::SUCCESS)
        b.commands = commands;
    return b;
}

mqtt_link_t::mqtt_link_t(mqtt_link_delegate_t& delegate, console_t& console, const clock_t& clock,
                         broker_factory_t make_client)
    : delegate_(delegate), console_(console), clock_(clock), make_client_(std::move(make_client)) {}

mqtt_link_t::~mqtt_link_t() {
    // The client's thread posts events to this object: stop it first.
    client_.reset();
}

void mqtt_link_t::log(const std::string& text) { console_.line(timestamp(clock_.now()) + "  " + text); }

void mqtt_link_t::ignore(const std::string& what) {
    ++ignored_;
    log("MQTT ignored " + what);
}

void mqtt_link_t::set_state(link_state_t state) {
    if (state == state_) return;
    will_change();
    state_ = std::move(state);
}

void mqtt_link_t::connect(const mqtt_request_t& request) {
    std::string why;
    const auto url = parse_broker_url(request.url, why);
    if (!url) {
        // The settings check the URL before they ask; this is a caller's slip.
        log("MQTT not connected: " + why);
        set_state({link_kind_t::failed, {}, "MQTT " + why, false});
        return;
    }
    const bool same_broker = client_ && enabled_ && request.url == request_.url && request.user == request_.user &&
                             request.ca_file == request_.ca_file && password_ == password_used_;
    const std::string old_raw = raw_topic_;
    will_change();
    enabled_ = true;
    request_ = request;
    where_ = url->where();
    raw_topic_ = request.board.empty() ? std::string() : board_topic(request.board, "raw");
    // Another board's stream starts afresh: nothing of the last one's
    // incomplete line may be joined to it.
    reassembler_.reset();
    board_up_ = false;
    if (same_broker && !failure_) {
        // Only the board changed: move the subscription, keep the list.
        if (old_raw != raw_topic_) {
            if (!old_raw.empty()) client_->unsubscribe(old_raw);
            if (!raw_topic_.empty()) client_->subscribe(raw_topic_);
        }
        if (request.board.empty()) log("MQTT listing the boards on " + where_);
        update_state();
        return;
    }
    boards_.clear();
    boards_full_said_ = false;
    start_client();
}

void mqtt_link_t::start_client() {
    client_.reset();
    broker_up_ = false;
    failure_.reset();
    failure_after_up_ = false;
    if (password_pending_) {
        log("MQTT " + where_ + ": waiting for the keyring to give the password");
        set_state({link_kind_t::connecting, where_, {}, false});
        return;
    }
    if (!make_client_) {
        failure_ = "MQTT is not available in this build";
        update_state();
        return;
    }
    log("MQTT connect " + where_);
    client_ = make_client_(*this);
    if (!client_) {
        failure_ = "MQTT client could not be made";
        update_state();
        return;
    }
    client_->subscribe(std::string(status_filter));
    if (!raw_topic_.empty()) client_->subscribe(raw_topic_);
    password_used_ = password_;
    client_->connect({request_.url, request_.user, password_, request_.ca_file});
    update_state();
}

void mqtt_link_t::disconnect() {
    if (!enabled_ && !client_) return;
    will_change();
    enabled_ = false;
    if (client_) client_->disconnect();
    client_.reset();
    broker_up_ = false;
    board_up_ = false;
    failure_.reset();
    reassembler_.reset();
    set_state({link_kind_t::offline, {}, {}, true});
}

void mqtt_link_t::set_password_pending() { password_pending_ = true; }

void mqtt_link_t::set_password(std::string password) {
    const bool was_pending = password_pending_;
    const bool changed = password != password_;
    password_pending_ = false;
    password_ = std::move(password);
    // A connection that waited for it, or one the broker refused, goes now.
    if (enabled_ && (was_pending || (changed && failure_)))
        start_client();
}

const broker_board_t* mqtt_link_t::find_board(std::string_view id) const {
    auto it = std::lower_bound(boards_.begin(), boards_.end(), id,
                               [](const broker_board_t& b, std::string_view key) { return b.id < key; });
    return it != boards_.end() && it->id == id ? &*it : nullptr;
}

void mqtt_link_t::update_state() {
    if (!enabled_) return;
    const std::string& board = request_.board;
    if (failure_) {
        set_state({failure_after_up_ ? link_kind_t::lost : link_kind_t::failed, where_, *failure_, false});
        board_up_ = false;
        return;
    }
    if (!broker_up_) {
        set_state({link_kind_t::connecting, where_, {}, false});
        return;
    }
    const broker_board_t* b = board.empty() ? nullptr : find_board(board);
    if (b && !b->online) {
        // Known and offline: the gateway said so, or its last will did.
        set_state({board_up_ ? link_kind_t::lost : link_kind_t::failed, board, "MQTT " + board + " is offline", false});
        board_up_ = false;
        return;
    }
    if (b || board_up_) {
        if (!board_up_) {
            board_up_ = true;
            set_state({link_kind_t::connected, board, {}, false});
            log("MQTT watching " + board + " on " + where_);
            delegate_.mqtt_board_up(board);
            return;
        }
        set_state({link_kind_t::connected, board, {}, false});
        return;
    }
    set_state({link_kind_t::scanning, board, {}, false});
}

void mqtt_link_t::broker_connected() {
    if (!enabled_) return;
    will_change();
    broker_up_ = true;
    failure_.reset();
    log("MQTT connected to " + where_);
    update_state();
}

std::string mqtt_link_t::explain(broker_failure_t why, const std::string& detail) const {
    const std::string more = detail.empty() ? std::string() : " (" + detail + ")";
    switch (why) {
        case broker_failure_t::unreachable:
            return "MQTT broker " + where_ + " unreachable" + more + ": is the URL right and the broker running?";
        case broker_failure_t::lost: return "MQTT connection to " + where_ + " lost" + more + ": trying again";
        case broker_failure_t::bad_login:
            return "MQTT broker refused the user name or password: correct them in the settings";
        case broker_failure_t::not_allowed: return "MQTT broker refused this client" + more;
        case broker_failure_t::certificate:
            return "MQTT broker's certificate was not accepted" + more +
                   ": choose the CA file that signed it, or check the host name";
        case broker_failure_t::tls: return "MQTT TLS failed" + more;
        case broker_failure_t::other: break;
    }
    // A client that words its failures itself.
    return detail.empty() ? "MQTT error" : "MQTT " + detail;
}

void mqtt_link_t::broker_failed(broker_failure_t why, const std::string& detail) {
    if (!enabled_) return;
    will_change();
    failure_after_up_ = broker_up_ || board_up_;
    broker_up_ = false;
    failure_ = explain(why, detail);
    // The stream stopped in the middle of a line, perhaps.
    reassembler_.reset();
    log(*failure_);
    update_state();
}

void mqtt_link_t::broker_message(std::string_view topic, std::span<const std::uint8_t> payload) {
    if (!enabled_) return;
    if (!raw_topic_.empty() && topic == raw_topic_) {
        raw_message(payload);
        return;
    }
    // plimsy/<board>/status; anything else was not asked for.
    constexpr std::string_view prefix = "plimsy/", suffix = "/status";
    if (topic.size() > prefix.size() + suffix.size() && topic.starts_with(prefix) && topic.ends_with(suffix)) {
        status_message(topic.substr(prefix.size(), topic.size() - prefix.size() - suffix.size()), payload);
        return;
    }
    // A board watched before, whose last chunks were on their way when the
    // subscription moved: not worth a console line each.
    if (topic.starts_with(prefix) && topic.ends_with("/raw")) {
        ++ignored_;
        return;
    }
    ignore("a message on a topic not subscribed to");
}

void mqtt_link_t::status_message(std::string_view board, std::span<const std::uint8_t> payload) {
    if (!valid_board_id(board)) {
        ignore("a status with an unusable board id");
        return;
    }
    auto it = std::lower_bound(boards_.begin(), boards_.end(), board,
                               [](const broker_board_t& b, std::string_view key) { return b.id < key; });
    const bool known = it != boards_.end() && it->id == board;
    // An empty retained message clears the topic: the board is gone from
    // the broker.
    if (payload.empty()) {
        if (known) {
            will_change();
            boards_.erase(it);
            update_state();
        }
        return;
    }
    if (payload.size() > max_status_bytes) {
        ignore("the status of " + std::string(board) + ": " + std::to_string(payload.size()) + " bytes, more than " +
               std::to_string(max_status_bytes));
        return;
    }
    auto parsed = parse_board_status(board, as_text(payload));
    if (!parsed) {
        ignore("the status of " + std::string(board) + ": not a status object (" +
               shown_member(as_text(payload).substr(0, 40)) + ")");
        return;
    }
    if (known) {
        if (*it == *parsed) return;
        will_change();
        *it = std::move(*parsed);
    } else {
        if (boards_.size() >= max_boards) {
            if (!boards_full_said_) {
                boards_full_said_ = true;
                log("MQTT the broker knows more than " + std::to_string(max_boards) + " boards; the rest are not listed");
            }
            ++ignored_;
            return;
        }
        will_change();
        boards_.insert(it, std::move(*parsed));
    }
    if (board == request_.board) update_state();
}

void mqtt_link_t::raw_message(std::span<const std::uint8_t> payload) {
    if (payload.empty()) return;
    if (payload.size() > max_raw_bytes) {
        ignore("a raw chunk of " + std::to_string(payload.size()) + " bytes from " + request_.board +
               ", more than " + std::to_string(max_raw_bytes));
        return;
    }
    // A gateway that publishes no status: its data is the sign that the
    // board is there.
    if (!board_up_ && broker_up_ && !find_board(request_.board)) {
        board_up_ = true;
        set_state({link_kind_t::connected, request_.board, {}, false});
        log("MQTT watching " + request_.board + " on " + where_);
        delegate_.mqtt_board_up(request_.board);
    }
    delegate_.mqtt_rx(payload);
    const auto& got = reassembler_.feed(payload);
    if (got.dropped > 0) console_.line(dropped_line_notice("mqtt", got.dropped));
    for (const std::string_view line : got.lines) delegate_.receive_line(line);
    // A watched board is not written to for a binary frame: the gateway
    // next to it answers its board itself.
    if (got.is_frame) delegate_.receive_arr(got.frame);
}

bool mqtt_link_t::commands_allowed(std::string* why) const {
    const auto no = [&](std::string text) {
        if (why) *why = std::move(text);
        return false;
    };
    if (!enabled_) return no("no connection to the board");
    if (!broker_up_) return no("no connection to the broker");
    if (request_.board.empty()) return no("no board chosen");
    const broker_board_t* b = find_board(request_.board);
    if (!b) return no(request_.board + " has not said whether it takes commands");
    if (!b->online) return no(request_.board + " is offline");
    if (!b->commands) return no("the gateway of " + request_.board + " does not take commands (--allow-commands)");
    return true;
}

bool mqtt_link_t::send(std::string_view text, std::string& why) {
    if (!commands_allowed(&why)) return false;
    if (text.size() > max_command_bytes) {
        why = "the command is longer than " + std::to_string(max_command_bytes) + " bytes";
        return false;
    }
    return client_->publish(board_topic(request_.board, "cmd"),
                            {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, why);
}

}  // namespace plimsy
