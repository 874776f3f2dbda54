#include "config/broker_url.hpp"

#include <algorithm>

#include "common/text.hpp"

namespace plimsy {

std::string broker_url_t::where() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

namespace {

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

bool v6_char(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

}  // namespace

std::optional<broker_url_t> parse_broker_url(std::string_view text, std::string& why) {
    // Blanks around a pasted URL are a slip, not part of it.
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    broker_url_t url;
    if (text.empty()) {
        why = "Enter the broker's URL: mqtt://host:1883 or mqtts://host:8883";
        return std::nullopt;
    }
    const auto scheme_end = text.find("://");
    std::string scheme(text.substr(0, scheme_end == std::string_view::npos ? 0 : scheme_end));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (scheme == "mqtt") {
        url.tls = false;
    } else if (scheme == "mqtts") {
        url.tls = true;
    } else {
        why = "The URL must start with mqtt:// or mqtts:// (TLS)";
        return std::nullopt;
    }
    std::string_view rest = text.substr(scheme_end + 3);
    // A trailing slash is how browsers write an address; nothing may follow it.
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (rest.find('@') != std::string_view::npos) {
        why = "Put the user name and password in their own fields, not in the URL";
        return std::nullopt;
    }
    if (rest.find_first_of("/?#") != std::string_view::npos) {
        why = "A broker URL has no path: mqtt://host:port";
        return std::nullopt;
    }
    std::string_view host, port_text;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            why = "An IPv6 address needs its closing bracket: mqtt://[::1]:1883";
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        std::string_view after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            why = "Only a port may follow the host";
            return std::nullopt;
        }
        if (!after.empty()) port_text = after.substr(1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), v6_char) ||
            host.find(':') == std::string_view::npos) {
            why = "Not an IPv6 address: " + std::string(host);
            return std::nullopt;
        }
        if (!after.empty() && port_text.empty()) {
            why = "The port is missing after the colon";
            return std::nullopt;
        }
    } else {
        const auto colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            port_text = rest.substr(colon + 1);
            if (port_text.empty()) {
                why = "The port is missing after the colon";
                return std::nullopt;
            }
        }
        if (host.empty()) {
            why = "The URL has no host";
            return std::nullopt;
        }
        if (host.size() > 253 || !std::all_of(host.begin(), host.end(), name_char) || host.front() == '.' ||
            host.front() == '-') {
            why = "Not a host name or address: " + utf8_with_replacements(host.substr(0, 64));
            return std::nullopt;
        }
    }
    url.host = std::string(host);
    url.port = url.tls ? mqtts_default_port : mqtt_default_port;
    if (!port_text.empty()) {
        std::uint32_t value = 0;
        for (char c : port_text) {
            if (c < '0' || c > '9' || value > 65535) {
                value = 0;
                break;
            }
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (value < 1 || value > 65535) {
            why = "The port must be a number from 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<std::uint16_t>(value);
    }
    why.clear();
    return url;
}

bool valid_board_id(std::string_view id) {
    if (id.empty() || id.size() > board_id_max_bytes || !valid_utf8(id)) return false;
    return std::none_of(id.begin(), id.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f || c == '/' || c == '+' || c == '#';
    });
}

std::string board_topic(std::string_view board, std::string_view leaf) {
    std::string topic = "plimsy/";
    topic += board;
    topic += '/';
    topic += leaf;
    return topic;
}

}  // namespace plimsy
