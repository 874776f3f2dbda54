#include "mqtt/mqtt_topics.hpp"

namespace plimsy {

namespace {
bool kept(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == ':';
}
}  // namespace

std::string mqtt_board_id(std::string_view name) {
    // A serial port is known by its device name; the folder says nothing.
    if (name.starts_with("/dev/")) name = name.substr(name.rfind('/') + 1);
    std::string id;
    for (char c : name) {
        if (id.size() >= mqtt_board_id_max) break;
        const char out = kept(c) ? c : '_';
        // Runs of replaced bytes (a multi-byte character) become one '_'.
        if (out == '_' && !kept(c) && !id.empty() && id.back() == '_') continue;
        id += out;
    }
    while (!id.empty() && id.back() == '_' && id.size() > 1) id.pop_back();
    if (id.empty() || id == "_") return "board";
    return id;
}

bool mqtt_board_id_valid(std::string_view id, std::string& error) {
    if (id.empty()) {
        error = "the board id is empty";
        return false;
    }
    if (id.size() > mqtt_board_id_max) {
        error = "the board id is longer than " + std::to_string(mqtt_board_id_max) + " bytes";
        return false;
    }
    for (char c : id) {
        if (!kept(c)) {
            error = "the board id '" + std::string(id) +
                    "' may hold only letters, digits and . - _ : (no '/', '+', '#', spaces or control characters)";
            return false;
        }
    }
    return true;
}

std::string mqtt_board_topic(std::string_view board, std::string_view leaf) {
    std::string t(mqtt_topic_root);
    t += '/';
    t += board;
    t += '/';
    t += leaf;
    return t;
}

std::optional<std::string> mqtt_topic_board(std::string_view topic, std::string_view leaf) {
    const std::string prefix = std::string(mqtt_topic_root) + "/";
    if (!topic.starts_with(prefix)) return std::nullopt;
    topic.remove_prefix(prefix.size());
    const auto slash = topic.find('/');
    if (slash == std::string_view::npos || topic.substr(slash + 1) != leaf) return std::nullopt;
    std::string error;
    if (!mqtt_board_id_valid(topic.substr(0, slash), error)) return std::nullopt;
    return std::string(topic.substr(0, slash));
}

}  // namespace plimsy
