#include "ui/content_view_model.hpp"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include "model/board_commands.hpp"
#include "qt/platform_services.hpp"
#include "qt/qt_main_queue.hpp"
#include "qt/qt_serial_port.hpp"
#include "qt/qt_settings_store.hpp"
#include "sim/simulated_board.hpp"
#include "sim/simulated_central.hpp"
#include "sim/simulated_peripheral.hpp"
#include "shown/screen.hpp"
#include "ui/capture_view_model.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

content_view_model_t::content_view_model_t(content_options_t options, QObject* parent)
    : QObject(parent), main_(std::make_unique<qt_main_queue_t>()) {
    // A given central stands in for the radio, simulated board or not.
    const bool simulate = options.simulate && !options.make_central;
    altimeter_ = options.simulate ? std::make_unique<manual_altimeter_t>(false) : make_platform_altimeter();

    session_services_t services{.clock = system_clock_t::instance(),
                                .main = *main_,
                                .console = options.console,
                                .haptics = options.haptics,
                                .altimeter = altimeter_.get(),
                                .make_central = options.make_central};
    if (!services.make_central && !simulate) services.make_central = [] { return make_platform_central(); };
    services.make_serial_port = options.make_serial_port;
    services.make_broker = options.make_broker;
    if (!services.make_serial_port) services.make_serial_port = [] { return std::make_unique<qt_serial_port_t>(); };

    session_options_t how;
    how.store = options.store;
    // A demonstration must not overwrite the user's saved connection:
    // simulate mode keeps its settings in memory.
    if (!how.store && !options.simulate) how.settings_file = qt_settings_store_t::user_file();
    if (simulate) how.simulate = session_simulation_t{options.board, options.rate};
    deferred_connect_ = !options.connect;
    // The orientation is known before the connection starts, as at every
    // start-up; the session connects once it has been built.
    if (auto* screen = QGuiApplication::primaryScreen()) {
        const QSize s = screen->size();
        portrait_ = s.width() < s.height();
    }
    // The session connects once the MQTT password is on its way (below).
    how.start_connection = false;
    session_ = std::make_unique<session_t>(std::move(services), std::move(how));
    shown_ = session_.get();
    cfg_ = &session_->cfg();
    cnc_ = &session_->cnc();
    passwords_ = std::make_unique<mqtt_passwords_t>(options.make_keyring ? options.make_keyring()
                                                                         : make_desktop_keyring());
    connect(passwords_.get(), &mqtt_passwords_t::changed, this, &content_view_model_t::announce);
    if (options.connect) connect_from_config();
    settings_notice_ = QString::fromStdString(session_->store().notice());
    subscription_ = session_->subscribe([this] { announce(); });

    if (session_->simulating()) {
        // The simulated radio delivers what is due every millisecond (see
        // session_t::poll_simulation).
        sim_timer_.setInterval(1);
        sim_timer_.setTimerType(Qt::PreciseTimer);
        connect(&sim_timer_, &QTimer::timeout, this, [this] { session_->poll_simulation(); });
        sim_timer_.start();
    }
    // Hold times (events, the high-g peak) and the board's clock run out
    // without a message and without an announcement: a refresh once a
    // second lets the panels show that.
    refresh_timer_.setInterval(1000);
    connect(&refresh_timer_, &QTimer::timeout, this, &content_view_model_t::announce);
    refresh_timer_.start();
    capture_ = std::make_unique<capture_view_model_t>(*this);
}

content_view_model_t::~content_view_model_t() {
    sim_timer_.stop();
    refresh_timer_.stop();
    // A replay's session goes with the capture model; the live one last.
    show_session(nullptr);
    capture_.reset();
    subscription_.reset();
    shown_ = nullptr;
    passwords_.reset();
    cfg_ = nullptr;
    cnc_ = nullptr;
    session_.reset();
}

void content_view_model_t::show_session(session_t* session) {
    session_t* s = session ? session : session_.get();
    if (s == shown_) return;
    subscription_.reset();
    shown_ = s;
    cfg_ = &s->cfg();
    cnc_ = &s->cnc();
    // The settings sheet edits the live connection; it has no place over a
    // replay.
    if (s != session_.get()) session_->cfg().set_show_config(false);
    subscription_ = s->subscribe([this] { announce(); });
    announce();
}

// The models announce before they change; QML must read after. One queued
// signal per turn of the event loop also folds a burst of announcements
// (one line touches several sensors) into one redraw.
void content_view_model_t::announce() {
    if (announce_pending_) return;
    announce_pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            announce_pending_ = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

// Every text and colour of the header, the toolbar and the log comes from
// the screen's shown values; these only hand them to QML.
namespace {
screen_shown_t screen(connection_t& cnc, const config_connection_t& cfg) { return shown_screen(cnc, cfg); }
}  // namespace

double content_view_model_t::rssi_progress() const { return screen(*cnc_, *cfg_).rssi_progress; }
QColor content_view_model_t::rssi_colour() const { return shown_colour(screen(*cnc_, *cfg_).rssi_colour); }
double content_view_model_t::rssi_opacity() const { return screen(*cnc_, *cfg_).rssi_opacity; }

QString content_view_model_t::error_rate() const { return qs(screen(*cnc_, *cfg_).error_rate); }
bool content_view_model_t::show_tcp_status() const { return screen(*cnc_, *cfg_).show_tcp_status; }
bool content_view_model_t::show_ble_status() const { return screen(*cnc_, *cfg_).show_ble_status; }
bool content_view_model_t::show_serial_status() const { return screen(*cnc_, *cfg_).show_serial_status; }
QString content_view_model_t::status_serial() const { return qs(screen(*cnc_, *cfg_).status_serial); }
QColor content_view_model_t::status_serial_colour() const {
    return shown_colour(screen(*cnc_, *cfg_).status_serial_colour);
}
bool content_view_model_t::show_status_gap() const { return screen(*cnc_, *cfg_).show_status_gap; }
QString content_view_model_t::status_tcp() const { return qs(screen(*cnc_, *cfg_).status_tcp); }
QString content_view_model_t::status_ble() const { return qs(screen(*cnc_, *cfg_).status_ble); }
QColor content_view_model_t::status_tcp_colour() const { return shown_colour(screen(*cnc_, *cfg_).status_tcp_colour); }
QColor content_view_model_t::status_ble_colour() const { return shown_colour(screen(*cnc_, *cfg_).status_ble_colour); }
bool content_view_model_t::show_mqtt_status() const { return screen(*cnc_, *cfg_).show_mqtt_status; }
QString content_view_model_t::status_mqtt() const { return qs(screen(*cnc_, *cfg_).status_mqtt); }
QColor content_view_model_t::status_mqtt_colour() const {
    return shown_colour(screen(*cnc_, *cfg_).status_mqtt_colour);
}
bool content_view_model_t::commands_available() const { return screen(*cnc_, *cfg_).commands_available; }
QString content_view_model_t::commands_note() const { return qs(screen(*cnc_, *cfg_).commands_note); }
QString content_view_model_t::command_note() const { return qs(screen(*cnc_, *cfg_).command_note); }
QString content_view_model_t::connection_label() const { return qs(screen(*cnc_, *cfg_).connection_label); }

bool content_view_model_t::show_clock() const { return screen(*cnc_, *cfg_).show_clock; }
QString content_view_model_t::clock_text() const { return qs(screen(*cnc_, *cfg_).clock_text); }
QString content_view_model_t::device_model() const { return qs(screen(*cnc_, *cfg_).device_model); }
QString content_view_model_t::panel_group_for(device_model_t m) { return QString::fromLatin1(plimsy::panel_group_for(m)); }
QString content_view_model_t::panel_group() const { return qs(screen(*cnc_, *cfg_).panel_group); }
bool content_view_model_t::show_accelerometer() const { return screen(*cnc_, *cfg_).show_accelerometer; }

bool content_view_model_t::log_enable() const { return screen(*cnc_, *cfg_).log_enable; }
QColor content_view_model_t::log_title_colour() const { return shown_colour(screen(*cnc_, *cfg_).log_title_colour); }
QString content_view_model_t::log_menu_text() const { return qs(screen(*cnc_, *cfg_).log_menu_text); }
QColor content_view_model_t::clear_colour() const { return shown_colour(screen(*cnc_, *cfg_).clear_colour); }
QString content_view_model_t::log_text() const { return qs(screen(*cnc_, *cfg_).log_text); }

bool content_view_model_t::show_config() const { return cfg_->show_config(); }
void content_view_model_t::set_show_config(bool on) { cfg_->set_show_config(on); }

void content_view_model_t::set_window_size(double width, double height) {
    if (width <= 0 || height <= 0) return;
    const bool p = width < height;
    if (p == portrait_) return;
    portrait_ = p;
    emit portrait_changed();
}

void content_view_model_t::toggle_config() {
    if (replaying()) return;
    tick();
    cfg_->set_show_config(!cfg_->show_config());
}

void content_view_model_t::connection_button() {
    if (replaying()) return;
    tick();
    tick();
    if (session_->links_wanted())
        session_->disconnect();
    else
        connect_from_config();
}

void content_view_model_t::toggle_log() {
    tick();
    shown_->toggle_log();
}

void content_view_model_t::clear_log() {
    tick();
    shown_->clear_log();
}

// A replay has no board to send to; the buttons are disabled then, and a
// key or script that still asks is told so rather than reaching the paused
// live connection.
bool content_view_model_t::refuse_send(const std::string& what) {
    if (!replaying()) return false;
    session_->console().line("not sent during a replay: " + what);
    return true;
}

void content_view_model_t::send(const QString& text) {
    if (refuse_send(text.trimmed().toStdString())) return;
    tick();
    session_->send(text.toStdString());
}

void content_view_model_t::prepare_mqtt_password() {
    // Always the live session's link: a replay has no broker.
    const bool now = passwords_->provide(session_->cfg().mqtt_url(), session_->cfg().mqtt_user(),
                                         [this](const std::string& password) { session_->cnc().mqtt().set_password(password); });
    if (!now) session_->cnc().mqtt().set_password_pending();
}

void content_view_model_t::connect_from_config() {
    if (replaying()) return;
    if (session_->cfg().enable_mqtt() && session_->cfg().mqtt_url_valid()) prepare_mqtt_password();
    session_->connect_from_config();
}

void content_view_model_t::tick() { session_->haptics().selection(); }

void content_view_model_t::act(local_action_t action, const capture_arg_t& arg) {
    tick();
    shown_->act(action, arg);
}

void content_view_model_t::act(const QString& name, const QVariant& arg) {
    capture_arg_t a;
    switch (arg.typeId()) {
        case QMetaType::UnknownType: break;
        case QMetaType::Bool: a = arg.toBool(); break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong: a = static_cast<std::int64_t>(arg.toLongLong()); break;
        case QMetaType::Double:
        case QMetaType::Float: a = arg.toDouble(); break;
        default: a = arg.toString().toStdString(); break;
    }
    tick();
    std::string error;
    const std::string n = name.toStdString();
    if (!shown_->act(n, a, error)) session_->console().line("local action " + n + " not done: " + error);
}

void content_view_model_t::command(const QString& name) {
    const std::string n = name.toStdString();
    if (const auto c = find_board_command(n)) {
        if (refuse_send(n)) return;
        tick();
        session_->send(board_command_bytes(*c));
    } else {
        session_->console().line("no board command is named \"" + n + "\"; nothing sent");
    }
}

}  // namespace plimsy
