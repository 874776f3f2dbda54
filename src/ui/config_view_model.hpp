#pragma once

#include <QColor>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <optional>
#include <string>

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

public slots:
    void ble_connect();
    void ble_revert();
    void tcp_connect();
    // Only the invalid fields get their newest history entry back.
    void tcp_revert();
    void pick_ble_name(int index);
    void pick_host(int index);
    void pick_port(int index);
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
    void reconnect();

    struct opened_with_t {
        std::string ble_name;
        std::string host;
        std::uint16_t port = 0;
    };
    std::optional<opened_with_t> opened_with_;
};

}  // namespace plimsy
