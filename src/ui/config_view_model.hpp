#pragma once

#include <QColor>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/serial_port.hpp"
#include "ui/panel_model.hpp"

namespace plimsy {

// The configuration sheet: the BLE name, the bridge's host and port with
// live validation, the three histories, the status line and the actions of
// its buttons. Fields edit the shared settings as the user types.
class config_view_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(ConfigViewModel)

    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(QString ble_name READ ble_name WRITE set_ble_name NOTIFY changed)
    Q_PROPERTY(bool ble_name_empty READ ble_name_empty NOTIFY changed)
    Q_PROPERTY(QString host_text READ host_text WRITE set_host_text NOTIFY changed)
    Q_PROPERTY(QString port_text READ port_text WRITE set_port_text NOTIFY changed)
    Q_PROPERTY(bool host_valid READ host_valid NOTIFY changed)
    Q_PROPERTY(bool port_valid READ port_valid NOTIFY changed)
    Q_PROPERTY(bool tcp_usable READ tcp_usable NOTIFY changed)
    Q_PROPERTY(QColor host_colour READ host_colour NOTIFY changed)
    Q_PROPERTY(QColor port_colour READ port_colour NOTIFY changed)
    Q_PROPERTY(QStringList history_ble_name READ history_ble_name NOTIFY changed)
    Q_PROPERTY(QStringList history_host READ history_host NOTIFY changed)
    Q_PROPERTY(QStringList history_port READ history_port NOTIFY changed)
    Q_PROPERTY(QString status_tcp READ status_tcp NOTIFY changed)
    Q_PROPERTY(QString status_ble READ status_ble NOTIFY changed)
    Q_PROPERTY(bool offline READ offline NOTIFY changed)
    Q_PROPERTY(bool show_disconnect READ show_disconnect NOTIFY changed)
    Q_PROPERTY(QColor bridge_colour READ bridge_colour NOTIFY changed)
    Q_PROPERTY(QString serial_port READ serial_port WRITE set_serial_port NOTIFY changed)
    Q_PROPERTY(bool serial_port_empty READ serial_port_empty NOTIFY changed)
    Q_PROPERTY(QStringList available_ports READ available_ports NOTIFY changed)
    Q_PROPERTY(QStringList history_serial_port READ history_serial_port NOTIFY changed)
    Q_PROPERTY(QStringList bauds READ bauds CONSTANT)
    Q_PROPERTY(int baud_index READ baud_index NOTIFY changed)
    Q_PROPERTY(QString status_serial READ status_serial NOTIFY changed)
    // Watching a board through an MQTT broker.
    Q_PROPERTY(bool mqtt_chosen READ mqtt_chosen NOTIFY changed)
    Q_PROPERTY(QString mqtt_url READ mqtt_url WRITE set_mqtt_url NOTIFY changed)
    Q_PROPERTY(bool mqtt_url_valid READ mqtt_url_valid NOTIFY changed)
    Q_PROPERTY(QString mqtt_url_error READ mqtt_url_error NOTIFY changed)
    Q_PROPERTY(QColor mqtt_url_colour READ mqtt_url_colour NOTIFY changed)
    Q_PROPERTY(QString mqtt_user READ mqtt_user WRITE set_mqtt_user NOTIFY changed)
    // What the password field holds: typed text, kept in memory only.
    Q_PROPERTY(QString mqtt_password READ mqtt_password WRITE set_mqtt_password NOTIFY changed)
    Q_PROPERTY(QString mqtt_password_placeholder READ mqtt_password_placeholder NOTIFY changed)
    Q_PROPERTY(QString mqtt_ca_file READ mqtt_ca_file WRITE set_mqtt_ca_file NOTIFY changed)
    Q_PROPERTY(QString mqtt_board READ mqtt_board WRITE set_mqtt_board NOTIFY changed)
    // The boards the broker knows: "desk-1  online  compass_gravity  commands".
    Q_PROPERTY(QStringList mqtt_boards READ mqtt_boards NOTIFY changed)
    Q_PROPERTY(QString mqtt_boards_title READ mqtt_boards_title NOTIFY changed)
    // The MQTT link as the toolbar says it (connecting, waiting, the board,
    // or what went wrong: bad password, certificate, unreachable).
    Q_PROPERTY(QString mqtt_status READ mqtt_status NOTIFY changed)
    Q_PROPERTY(QColor mqtt_status_colour READ mqtt_status_colour NOTIFY changed)
    // Where the password is kept when there is no keyring; empty otherwise.
    Q_PROPERTY(QString keyring_note READ keyring_note NOTIFY changed)
    Q_PROPERTY(QString status_mqtt READ status_mqtt NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    QString ble_name() const;
    void set_ble_name(const QString& name);
    bool ble_name_empty() const;
    QString host_text() const;
    void set_host_text(const QString& text);
    QString port_text() const;
    void set_port_text(const QString& text);
    bool host_valid() const;
    bool port_valid() const;
    bool tcp_usable() const { return host_valid() && port_valid(); }
    QColor host_colour() const;
    QColor port_colour() const;
    QStringList history_ble_name() const;
    QStringList history_host() const;
    QStringList history_port() const;
    // The status line: "host:port" while the TCP client is enabled, the BLE
    // name while BLE is; "offline" when neither is.
    QString status_tcp() const;
    QString status_ble() const;
    bool offline() const;
    bool show_disconnect() const;
    QColor bridge_colour() const;
    QString serial_port() const;
    void set_serial_port(const QString& port);
    bool serial_port_empty() const;
    // The ports present when the list was last refreshed, each with what
    // its USB descriptors say (vendor, product, serial number).
    QStringList available_ports() const;
    QStringList history_serial_port() const;
    QStringList bauds() const;
    // The stored speed's place in bauds; -1 for a speed not offered there.
    int baud_index() const;
    QString status_serial() const;
    // MQTT is the link the settings choose.
    bool mqtt_chosen() const { return cfg() && cfg()->enable_mqtt(); }
    QString mqtt_url() const;
    void set_mqtt_url(const QString& url);
    bool mqtt_url_valid() const;
    QString mqtt_url_error() const;
    QColor mqtt_url_colour() const;
    QString mqtt_user() const;
    void set_mqtt_user(const QString& user);
    QString mqtt_password() const { return typed_password_; }
    void set_mqtt_password(const QString& password);
    QString mqtt_password_placeholder() const;
    QString mqtt_ca_file() const;
    void set_mqtt_ca_file(const QString& path);
    QString mqtt_board() const;
    void set_mqtt_board(const QString& board);
    QStringList mqtt_boards() const;
    QString mqtt_boards_title() const;
    QString mqtt_status() const;
    QColor mqtt_status_colour() const;
    QString keyring_note() const;
    // The status line: the broker and board while MQTT is enabled.
    QString status_mqtt() const;

public slots:
    // Connects to the broker with the fields as they are. With a board
    // chosen the sheet closes and the board is watched; without one it
    // stays open to list the broker's boards.
    void mqtt_connect();
    // Chooses a board of the broker's list; while connected to that broker
    // it is watched at once.
    void pick_mqtt_board(int index);

    void ble_connect();
    void ble_revert();
    void tcp_connect();
    // Only the invalid fields get their newest history entry back.
    void tcp_revert();
    void pick_ble_name(int index);
    void pick_host(int index);
    void pick_port(int index);
    // Lists the ports present now; the sheet calls it when it opens.
    void refresh_ports();
    void pick_available_port(int index);
    void pick_serial_port(int index);
    void pick_baud(int index);
    void serial_connect();
    void serial_revert();
    void close();
    void bridge();
    void disconnect();
    void delete_config();
    // The sheet opens: what it may change is remembered, so that closing
    // it without connecting can put everything back.
    void begin_edit();
    // The sheet was closed. Unless one of its buttons connected, the BLE
    // name, host and port are those it found when it opened (a history tap
    // or a keystroke only fills a field); the fields show the current values.
    void reset_fields();

private:
    config_connection_t* cfg() const { return view() ? &view()->cfg() : nullptr; }
    bool tcp_enabled() const;
    bool ble_enabled() const;
    bool serial_enabled() const;
    bool mqtt_enabled() const;
    void reconnect();

    struct opened_with_t {
        std::string ble_name;
        std::string host;
        std::uint16_t port = 0;
        std::string serial_port;
        std::uint32_t serial_baud = 0;
        std::string mqtt_url, mqtt_user, mqtt_board, mqtt_ca_file;
    };
    QString typed_password_;
    bool password_typed_ = false;
    std::optional<opened_with_t> opened_with_;
    std::vector<serial_port_info_t> ports_;
};

}  // namespace plimsy
