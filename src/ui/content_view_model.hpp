#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QtQml/qqmlregistration.h>
#include <memory>
#include <utility>

#include "config/config_connection.hpp"
#include "model/device_model.hpp"
#include "platform/altimeter.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/settings_store.hpp"
#include "session/session.hpp"
#include "transport/connection.hpp"
#include "ui/keyring.hpp"

namespace plimsy {

class capture_view_model_t;
class qt_main_queue_t;
class simulated_board_t;
class simulated_central_t;
class simulated_peripheral_t;

// How the window is put together. The defaults are the application as a
// user starts it; tests and the simulate mode replace some services.
struct content_options_t {
    // BLE through a simulated radio with one simulated board of this kind.
    bool simulate = false;
    device_model_t board = device_model_t::compass_gravity;
    double rate = 50.0;
    // Null: the real service (QSettings, standard output, the host's
    // Bluetooth and barometer, no haptics).
    settings_store_t* store = nullptr;
    console_t* console = nullptr;
    haptics_t* haptics = nullptr;
    connection_t::central_factory_t make_central;
    // Null: the host's serial ports through Qt Serial Port.
    connection_t::serial_factory_t make_serial_port;
    // Connect as the settings say at start. Off when the window opens on a
    // replay: the connection is made when the user goes back to live.
    bool connect = true;
    // Null: libmosquitto.
    broker_factory_t make_broker;
    // Where MQTT passwords are kept between runs. Null: the desktop's
    // keyring through QtKeychain.
    std::function<std::unique_ptr<keyring_backend_t>()> make_keyring;
};

// The main screen's state and actions over one session (session_t), which
// it builds from Qt's services and which owns the settings, the coordinator
// and, in simulate mode, the simulated board; the session starts the
// configured connection. This model computes every text and colour of the
// header, the toolbar and the log. Panels read the sensors model through
// it. Every change of the session reaches QML as one `changed` signal per
// event-loop turn, after the operation that caused it has finished.
class content_view_model_t : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(ContentViewModel)
    QML_UNCREATABLE("made by the application")

    Q_PROPERTY(double rssi_progress READ rssi_progress NOTIFY changed)
    Q_PROPERTY(QColor rssi_colour READ rssi_colour NOTIFY changed)
    Q_PROPERTY(double rssi_opacity READ rssi_opacity NOTIFY changed)
    Q_PROPERTY(QString error_rate READ error_rate NOTIFY changed)
    Q_PROPERTY(bool show_tcp_status READ show_tcp_status NOTIFY changed)
    Q_PROPERTY(bool show_ble_status READ show_ble_status NOTIFY changed)
    Q_PROPERTY(bool show_status_gap READ show_status_gap NOTIFY changed)
    Q_PROPERTY(QString status_tcp READ status_tcp NOTIFY changed)
    Q_PROPERTY(QString status_ble READ status_ble NOTIFY changed)
    Q_PROPERTY(bool show_serial_status READ show_serial_status NOTIFY changed)
    Q_PROPERTY(QString status_serial READ status_serial NOTIFY changed)
    Q_PROPERTY(QColor status_serial_colour READ status_serial_colour NOTIFY changed)
    Q_PROPERTY(QColor status_tcp_colour READ status_tcp_colour NOTIFY changed)
    Q_PROPERTY(QColor status_ble_colour READ status_ble_colour NOTIFY changed)
    Q_PROPERTY(bool show_mqtt_status READ show_mqtt_status NOTIFY changed)
    Q_PROPERTY(QString status_mqtt READ status_mqtt NOTIFY changed)
    Q_PROPERTY(QColor status_mqtt_colour READ status_mqtt_colour NOTIFY changed)
    // The panels' send buttons are usable; false for a watched board whose
    // gateway does not take commands, and then commands_note says why.
    Q_PROPERTY(bool commands_available READ commands_available NOTIFY changed)
    Q_PROPERTY(QString commands_note READ commands_note NOTIFY changed)
    Q_PROPERTY(QString connection_label READ connection_label NOTIFY changed)
    Q_PROPERTY(QString command_note READ command_note NOTIFY changed)
    Q_PROPERTY(bool show_clock READ show_clock NOTIFY changed)
    Q_PROPERTY(QString clock_text READ clock_text NOTIFY changed)
    Q_PROPERTY(QString device_model READ device_model NOTIFY changed)
    Q_PROPERTY(QString panel_group READ panel_group NOTIFY changed)
    Q_PROPERTY(bool show_accelerometer READ show_accelerometer NOTIFY changed)
    Q_PROPERTY(bool log_enable READ log_enable NOTIFY changed)
    Q_PROPERTY(QColor log_title_colour READ log_title_colour NOTIFY changed)
    Q_PROPERTY(QString log_menu_text READ log_menu_text NOTIFY changed)
    Q_PROPERTY(QColor clear_colour READ clear_colour NOTIFY changed)
    Q_PROPERTY(QString log_text READ log_text NOTIFY changed)
    Q_PROPERTY(bool show_config READ show_config WRITE set_show_config NOTIFY changed)
    Q_PROPERTY(bool portrait READ portrait NOTIFY portrait_changed)
    // What the settings store had to say at start-up (a damaged settings
    // file set aside, what was recovered); empty when all is well.
    Q_PROPERTY(QString settings_notice READ settings_notice CONSTANT)
    // Recording the live session, replaying a capture, exporting one.
    Q_PROPERTY(plimsy::capture_view_model_t* capture READ capture CONSTANT)
    // A capture is being replayed: the panels show its session.
    Q_PROPERTY(bool replaying READ replaying NOTIFY changed)
    // Buttons that would send bytes to a board: off while replaying, where
    // no board is listening, and while a watched board's gateway takes no
    // commands.
    Q_PROPERTY(bool can_send READ can_send NOTIFY changed)

public:
    explicit content_view_model_t(content_options_t options = {}, QObject* parent = nullptr);
    ~content_view_model_t() override;

    // The panels' layout constants are in the QML theme (ui/theme.hpp).

    // The live session (connections, recording). While a capture replays,
    // the window shows the replay's session instead: shown_session(), and
    // cfg(), cnc(), sensors() and clock() are the shown session's.
    session_t& session() { return *session_; }
    session_t& shown_session() { return *shown_; }
    config_connection_t& cfg() { return *cfg_; }
    connection_t& cnc() { return *cnc_; }
    sensors_t& sensors() { return shown_->sensors(); }
    const sensors_t& sensors() const { return shown_->sensors(); }
    const clock_t& clock() const { return shown_->clock(); }
    haptics_t& haptics() { return session_->haptics(); }
    // The simulated radio and board, present in simulate mode only.
    simulated_central_t* simulated_central() const { return session_->simulated_central(); }
    simulated_board_t* simulated_board() const { return session_->simulated_board(); }
    simulated_peripheral_t* simulated_peripheral() const { return session_->simulated_peripheral(); }

    double rssi_progress() const;
    QColor rssi_colour() const;
    double rssi_opacity() const;
    QString error_rate() const;
    bool show_tcp_status() const;
    bool show_ble_status() const;
    bool show_status_gap() const;
    // The board on a cable takes the place of BLE (in bridge mode too).
    bool show_serial_status() const;
    QString status_serial() const;
    QColor status_serial_colour() const;
    QString status_tcp() const;
    QString status_ble() const;
    QColor status_tcp_colour() const;
    QColor status_ble_colour() const;
    bool show_mqtt_status() const;
    QString status_mqtt() const;
    QColor status_mqtt_colour() const;
    bool commands_available() const;
    QString commands_note() const;
    mqtt_passwords_t& passwords() { return *passwords_; }
    // "C not delivered: no connection to the board" after a command no
    // transport took; empty once one gets through or a link is made.
    QString command_note() const;
    // The label's texts as one line, for tests and accessibility.
    QString connection_label() const;
    bool show_clock() const;
    QString clock_text() const;
    QString device_model() const;
    QString panel_group() const;
    bool show_accelerometer() const;
    bool log_enable() const;
    QColor log_title_colour() const;
    QString log_menu_text() const;
    QColor clear_colour() const;
    QString log_text() const;
    bool show_config() const;
    void set_show_config(bool on);
    bool portrait() const { return portrait_; }
    QString settings_notice() const { return settings_notice_; }
    capture_view_model_t* capture() const { return capture_.get(); }
    bool replaying() const { return shown_ != session_.get(); }
    bool can_send() const { return !replaying() && commands_available(); }
    // True once if the live session was built without connecting (see
    // content_options_t::connect): going live then connects.
    bool take_deferred_connect() { return std::exchange(deferred_connect_, false); }

    // Shows another session (a replay's) in place of the live one; null
    // goes back to the live one. The shown session must outlive its being
    // shown. The panels read the shown session on every read, so one
    // announcement redraws them all.
    void show_session(session_t* session);

    // Which panels a board shows: "compass", "gyroscope", "hmc5883",
    // "hmc5883n", "gavrin3" or "plimsy91".
    static QString panel_group_for(device_model_t m);

    // The panels' local actions, as act() above without the name lookup.
    void act(local_action_t action, const capture_arg_t& arg = {});

public slots:
    // Follows the window's shape; a size that keeps the orientation class
    // changes nothing.
    void set_window_size(double width, double height);
    void toggle_config();
    void connection_button();
    void toggle_log();
    void clear_log();
    // A board command as the panels' buttons send it ("C\n").
    void send(const QString& text);
    void connect_from_config();
    // The selection tick every user action begins with.
    void tick();
    // A local action by its name in capture/actions.hpp
    // ("hmc5883.calibration_next"), with the argument the panel passes (an
    // invalid QVariant for none). It goes through the session, so a
    // recording keeps it and a replay applies it at its time; an unknown
    // name or an argument that does not fit does nothing and says so on the
    // console.
    void act(const QString& name, const QVariant& arg = QVariant());

signals:
    void changed();
    void portrait_changed();

private:
    void announce();
    bool refuse_send(const std::string& what);
    // A connection through a broker gets its password from this run's
    // memory or the keyring first; it waits while the keyring answers.
    void prepare_mqtt_password();

    // The services outlive the session that uses them.
    std::unique_ptr<qt_main_queue_t> main_;
    std::unique_ptr<altimeter_t> altimeter_;
    std::unique_ptr<session_t> session_;
    // The shown session (the live one or a replay's), and its settings and
    // coordinator, for the getters.
    session_t* shown_ = nullptr;
    // Declared after the session: gone first, so a late keyring answer
    // never reaches a link that is gone.
    std::unique_ptr<mqtt_passwords_t> passwords_;
    config_connection_t* cfg_ = nullptr;
    connection_t* cnc_ = nullptr;
    QTimer sim_timer_;
    QTimer refresh_timer_;
    subscription_t subscription_;
    bool announce_pending_ = false;
    QString settings_notice_;
    bool portrait_ = false;
    bool deferred_connect_ = false;
    // Last of the members: it may hold a replay whose session is shown.
    std::unique_ptr<capture_view_model_t> capture_;

public slots:
    // A board command by its name in model/board_commands.hpp
    // ("calibrate"); an unknown name sends nothing and says so.
    void command(const QString& name);
};

}  // namespace plimsy
