#include "ui/config_view_model.hpp"

#include <cstdio>

#include "transport/serial.hpp"
#include "ui/palette.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
QString port_s(unsigned port) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", port);
    return QString::fromLatin1(buf);
}
}  // namespace

QVariantMap config_view_model_t::tooltips() const {
    return {
        {QStringLiteral("ble_connect"), tooltip_text("Connects over Bluetooth to the board of this name")},
        {QStringLiteral("tcp_connect"), tooltip_text("Connects over TCP to the bridge at this address and port")},
        {QStringLiteral("ble_revert"), tooltip_text("Puts back the newest name of the history")},
        {QStringLiteral("tcp_revert"), tooltip_text("Puts back the newest address or port of the history")},
        {QStringLiteral("close"), tooltip_text("Closes without connecting; changes not connected are dropped", "Esc")},
        {QStringLiteral("bridge"),
         tooltip_text(cfg() && cfg()->enable_bridge()
                          ? "Ends bridge mode and reconnects with one transport"
                          : "Bridge mode: Bluetooth and TCP at once, bytes relayed between them",
                      "B")},
        {QStringLiteral("disconnect"), tooltip_text("Disconnects; the settings stay open", "D")},
        {QStringLiteral("mqtt_connect"),
         tooltip_text("Connects to the MQTT broker and watches the board chosen, or lists the broker's boards")},
    };
}

QString config_view_model_t::ble_name() const { return cfg() ? qs(cfg()->ble_name()) : QString(); }
void config_view_model_t::set_ble_name(const QString& name) {
    if (cfg() && name != ble_name()) cfg()->set_ble_name(name.toStdString());
}
bool config_view_model_t::ble_name_empty() const { return !cfg() || cfg()->ble_name().empty(); }

QString config_view_model_t::host_text() const { return cfg() ? qs(cfg()->host_bind()) : QString(); }
void config_view_model_t::set_host_text(const QString& text) {
    if (cfg()) cfg()->set_host_bind(text.toStdString());
}
QString config_view_model_t::port_text() const { return cfg() ? qs(cfg()->port_bind()) : QString(); }
void config_view_model_t::set_port_text(const QString& text) {
    if (cfg()) cfg()->set_port_bind(text.toStdString());
}
bool config_view_model_t::host_valid() const { return cfg() && cfg()->host_valid(); }
bool config_view_model_t::port_valid() const { return cfg() && cfg()->port_valid(); }
QColor config_view_model_t::host_colour() const {
    return palette_colour(host_valid() ? colour_t::primary : colour_t::red);
}
QColor config_view_model_t::port_colour() const {
    return palette_colour(port_valid() ? colour_t::primary : colour_t::red);
}

QStringList config_view_model_t::history_ble_name() const {
    QStringList list;
    if (cfg())
        for (const auto& s : cfg()->history_ble_name()) list << qs(s);
    return list;
}
QStringList config_view_model_t::history_host() const {
    QStringList list;
    if (cfg())
        for (const auto& s : cfg()->history_host()) list << qs(s);
    return list;
}
QStringList config_view_model_t::history_port() const {
    QStringList list;
    if (cfg())
        for (auto p : cfg()->history_port()) list << port_s(p);
    return list;
}

bool config_view_model_t::tcp_enabled() const {
    return view() && view()->cnc().has_tcp_client() && view()->cnc().tcp_client().enabled();
}
bool config_view_model_t::ble_enabled() const {
    return view() && view()->cnc().has_ble() && view()->cnc().ble().enabled();
}
QString config_view_model_t::status_tcp() const {
    return tcp_enabled() ? qs(cfg()->host()) + ":" + port_s(cfg()->port()) : QString();
}
QString config_view_model_t::status_ble() const { return ble_enabled() ? qs(cfg()->ble_name()) : QString(); }
bool config_view_model_t::offline() const {
    return !tcp_enabled() && !ble_enabled() && !serial_enabled() && !mqtt_enabled();
}
bool config_view_model_t::show_disconnect() const {
    return tcp_enabled() || ble_enabled() || serial_enabled() || mqtt_enabled();
}

bool config_view_model_t::mqtt_enabled() const {
    return view() && view()->cnc().has_mqtt() && view()->cnc().mqtt().enabled();
}
QString config_view_model_t::status_mqtt() const {
    if (!mqtt_enabled()) return {};
    const mqtt_request_t& r = view()->cnc().mqtt().request();
    return qs(r.url) + (r.board.empty() ? QString() : " " + qs(r.board));
}
QString config_view_model_t::mqtt_url() const { return cfg() ? qs(cfg()->mqtt_url()) : QString(); }
void config_view_model_t::set_mqtt_url(const QString& url) {
    if (cfg() && url != mqtt_url()) cfg()->set_mqtt_url(url.toStdString());
}
bool config_view_model_t::mqtt_url_valid() const { return cfg() && cfg()->mqtt_url_valid(); }
QString config_view_model_t::mqtt_url_error() const {
    // Nothing typed yet is not an error to show in red.
    return cfg() && !cfg()->mqtt_url().empty() ? qs(cfg()->mqtt_url_error()) : QString();
}
QColor config_view_model_t::mqtt_url_colour() const {
    return palette_colour(mqtt_url_error().isEmpty() ? colour_t::primary : colour_t::red);
}
QString config_view_model_t::mqtt_user() const { return cfg() ? qs(cfg()->mqtt_user()) : QString(); }
void config_view_model_t::set_mqtt_user(const QString& user) {
    if (cfg() && user != mqtt_user()) cfg()->set_mqtt_user(user.toStdString());
}
void config_view_model_t::set_mqtt_password(const QString& password) {
    if (password == typed_password_ && password_typed_) return;
    typed_password_ = password;
    password_typed_ = true;
    emit changed();
}
QString config_view_model_t::mqtt_password_placeholder() const {
    if (view() && view()->passwords().keyring_unavailable()) return QStringLiteral("password (this run only)");
    return QStringLiteral("password (kept in the keyring)");
}
QString config_view_model_t::mqtt_ca_file() const { return cfg() ? qs(cfg()->mqtt_ca_file()) : QString(); }
void config_view_model_t::set_mqtt_ca_file(const QString& path) {
    if (cfg() && path != mqtt_ca_file()) cfg()->set_mqtt_ca_file(path.toStdString());
}
QString config_view_model_t::mqtt_board() const { return cfg() ? qs(cfg()->mqtt_board()) : QString(); }
void config_view_model_t::set_mqtt_board(const QString& board) {
    if (cfg() && board != mqtt_board()) cfg()->set_mqtt_board(board.toStdString());
}
QStringList config_view_model_t::mqtt_boards() const {
    QStringList list;
    if (!view() || !view()->cnc().has_mqtt()) return list;
    for (const broker_board_t& b : view()->cnc().mqtt().boards()) {
        QString line = qs(b.id) + (b.online ? "  online" : "  offline");
        if (!b.kind.empty()) line += "  " + qs(b.kind);
        if (b.commands) line += "  commands";
        list << line;
    }
    return list;
}
QString config_view_model_t::mqtt_boards_title() const {
    if (!mqtt_enabled() || !view()->cnc().mqtt().broker_up()) return QStringLiteral("Connect to list the boards");
    const auto n = view()->cnc().mqtt().boards().size();
    return n == 0 ? QStringLiteral("No boards on the broker") : QStringLiteral("Boards (%1)").arg(n);
}
QString config_view_model_t::mqtt_status() const {
    return view() ? qs(view()->cnc().status_mqtt()) : QStringLiteral("offline");
}
QColor config_view_model_t::mqtt_status_colour() const {
    return palette_colour(view() ? view()->cnc().sta_fg_mqtt() : colour_t::primary);
}
QString config_view_model_t::keyring_note() const { return view() ? view()->passwords().note() : QString(); }

void config_view_model_t::mqtt_connect() {
    if (!view() || !cfg()->mqtt_url_valid()) return;
    view()->tick();
    if (password_typed_) {
        view()->passwords().remember(cfg()->mqtt_url(), cfg()->mqtt_user(), typed_password_);
        typed_password_.clear();
        password_typed_ = false;
    }
    opened_with_.reset();
    cfg()->set_enable_mqtt(true);
    // Without a board the sheet stays open: the broker's list is where one
    // is chosen.
    if (!cfg()->mqtt_board().empty()) cfg()->set_show_config(false);
    // The other transports stop; a broker connection already up stays when
    // only the board changes.
    if (!mqtt_enabled()) view()->cnc().disconnect();
    view()->connect_from_config();
    emit changed();
}

void config_view_model_t::pick_mqtt_board(int index) {
    if (!view() || !view()->cnc().has_mqtt() || index < 0) return;
    const auto& boards = view()->cnc().mqtt().boards();
    if (static_cast<std::size_t>(index) >= boards.size()) return;
    view()->tick();
    cfg()->set_mqtt_board(boards[static_cast<std::size_t>(index)].id);
    if (mqtt_enabled() && cfg()->enable_mqtt()) mqtt_connect();
}

bool config_view_model_t::serial_enabled() const {
    return view() && view()->cnc().has_serial() && view()->cnc().serial().enabled();
}
QString config_view_model_t::status_serial() const {
    return serial_enabled() ? qs(cfg()->serial_port()) + " " + port_s(cfg()->serial_baud()) : QString();
}
QString config_view_model_t::serial_port() const { return cfg() ? qs(cfg()->serial_port()) : QString(); }
void config_view_model_t::set_serial_port(const QString& port) {
    if (cfg() && port != serial_port()) cfg()->set_serial_port(port.toStdString());
}
bool config_view_model_t::serial_port_empty() const { return !cfg() || cfg()->serial_port().empty(); }
QStringList config_view_model_t::available_ports() const {
    QStringList list;
    for (const auto& p : ports_) list << qs(describe_port(p));
    return list;
}
QStringList config_view_model_t::history_serial_port() const {
    QStringList list;
    if (cfg())
        for (const auto& s : cfg()->history_serial_port()) list << qs(s);
    return list;
}
QStringList config_view_model_t::bauds() const {
    QStringList list;
    for (auto b : config_connection_t::common_bauds) list << port_s(b);
    return list;
}
int config_view_model_t::baud_index() const {
    if (!cfg()) return -1;
    const auto& b = config_connection_t::common_bauds;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (b[i] == cfg()->serial_baud()) return static_cast<int>(i);
    return -1;
}

void config_view_model_t::refresh_ports() {
    if (!view()) return;
    // The listing reads the kernel's device tables (sysfs), which live in
    // memory; it is done when the sheet opens, not on every redraw.
    connection_t& c = view()->cnc();
    c.serial();
    ports_ = c.serial_port() ? c.serial_port()->available() : std::vector<serial_port_info_t>{};
    emit changed();
}

void config_view_model_t::pick_available_port(int index) {
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= ports_.size()) return;
    view()->tick();
    cfg()->set_serial_port(ports_[static_cast<std::size_t>(index)].name);
}

void config_view_model_t::pick_serial_port(int index) {
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= cfg()->history_serial_port().size()) return;
    view()->tick();
    cfg()->set_serial_port(cfg()->history_serial_port()[static_cast<std::size_t>(index)]);
}

void config_view_model_t::pick_baud(int index) {
    const auto& b = config_connection_t::common_bauds;
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= b.size()) return;
    view()->tick();
    cfg()->set_serial_baud(b[static_cast<std::size_t>(index)]);
}

void config_view_model_t::serial_connect() {
    if (!view()) return;
    view()->tick();
    cfg()->set_enable_serial(true);
    reconnect();
}

void config_view_model_t::serial_revert() {
    if (!view()) return;
    view()->tick();
    if (!cfg()->history_serial_port().empty()) cfg()->set_serial_port(cfg()->history_serial_port().front());
}
QColor config_view_model_t::bridge_colour() const {
    return palette_colour(cfg() && cfg()->enable_bridge() ? colour_t::orange : colour_t::secondary);
}

void config_view_model_t::reconnect() {
    // What the user connects with is theirs to keep.
    opened_with_.reset();
    cfg()->set_show_config(false);
    view()->cnc().disconnect();
    view()->connect_from_config();
}

void config_view_model_t::ble_connect() {
    if (!view()) return;
    view()->tick();
    cfg()->set_enable_ble(true);
    reconnect();
}

void config_view_model_t::tcp_connect() {
    if (!view()) return;
    view()->tick();
    cfg()->set_enable_ble(false);
    reconnect();
}

void config_view_model_t::ble_revert() {
    if (!view()) return;
    view()->tick();
    if (!cfg()->history_ble_name().empty()) cfg()->set_ble_name(cfg()->history_ble_name().front());
}

void config_view_model_t::tcp_revert() {
    if (!view()) return;
    view()->tick();
    if (!cfg()->host_valid() && !cfg()->history_host().empty()) cfg()->set_host_bind(cfg()->history_host().front());
    if (!cfg()->port_valid() && !cfg()->history_port().empty())
        cfg()->set_port_bind(port_s(cfg()->history_port().front()).toStdString());
}

void config_view_model_t::pick_ble_name(int index) {
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= cfg()->history_ble_name().size()) return;
    view()->tick();
    cfg()->set_ble_name(cfg()->history_ble_name()[static_cast<std::size_t>(index)]);
}

void config_view_model_t::pick_host(int index) {
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= cfg()->history_host().size()) return;
    view()->tick();
    cfg()->set_host_bind(cfg()->history_host()[static_cast<std::size_t>(index)]);
}

void config_view_model_t::pick_port(int index) {
    if (!view() || index < 0 || static_cast<std::size_t>(index) >= cfg()->history_port().size()) return;
    view()->tick();
    cfg()->set_port_bind(port_s(cfg()->history_port()[static_cast<std::size_t>(index)]).toStdString());
}

void config_view_model_t::close() {
    if (!view()) return;
    view()->tick();
    cfg()->set_show_config(false);
}

void config_view_model_t::bridge() {
    if (!view()) return;
    view()->tick();
    cfg()->set_enable_bridge(!cfg()->enable_bridge());
    reconnect();
}

void config_view_model_t::disconnect() {
    if (!view()) return;
    view()->tick();
    view()->cnc().disconnect();
}

void config_view_model_t::delete_config() {
    if (!view()) return;
    view()->tick();
    cfg()->delete_config();
}

void config_view_model_t::begin_edit() {
    if (!cfg()) return;
    opened_with_ = opened_with_t{cfg()->ble_name(),    cfg()->host(),        cfg()->port(),
                                 cfg()->serial_port(), cfg()->serial_baud(), cfg()->mqtt_url(),
                                 cfg()->mqtt_user(),   cfg()->mqtt_board(),  cfg()->mqtt_ca_file()};
}

void config_view_model_t::reset_fields() {
    if (!cfg()) return;
    if (opened_with_) {
        // The editing buffers take the values back through their own rules,
        // so the validity flags come back too; nothing is committed or saved.
        if (cfg()->ble_name() != opened_with_->ble_name) cfg()->set_ble_name(opened_with_->ble_name);
        cfg()->set_host_bind(opened_with_->host);
        cfg()->set_port_bind(port_s(opened_with_->port).toStdString());
        if (cfg()->serial_port() != opened_with_->serial_port) cfg()->set_serial_port(opened_with_->serial_port);
        if (cfg()->serial_baud() != opened_with_->serial_baud) cfg()->set_serial_baud(opened_with_->serial_baud);
        if (cfg()->mqtt_url() != opened_with_->mqtt_url) cfg()->set_mqtt_url(opened_with_->mqtt_url);
        if (cfg()->mqtt_user() != opened_with_->mqtt_user) cfg()->set_mqtt_user(opened_with_->mqtt_user);
        if (cfg()->mqtt_board() != opened_with_->mqtt_board) cfg()->set_mqtt_board(opened_with_->mqtt_board);
        if (cfg()->mqtt_ca_file() != opened_with_->mqtt_ca_file) cfg()->set_mqtt_ca_file(opened_with_->mqtt_ca_file);
        opened_with_.reset();
    }
    // A password typed and not connected with is forgotten.
    typed_password_.clear();
    password_typed_ = false;
    cfg()->set_host_bind(cfg()->host());
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(cfg()->port()));
    cfg()->set_port_bind(buf);
}

}  // namespace plimsy
