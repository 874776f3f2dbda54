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
#include "ui/shown_colour.hpp"

namespace plimsy {

content_view_model_t::content_view_model_t(content_options_t options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      clock_(system_clock_t::instance()),
      main_(std::make_unique<qt_main_queue_t>()),
      haptics_(options_.haptics ? options_.haptics : &no_haptics_) {
    console_t& console = options_.console ? *options_.console : stdout_console_t::instance();
    settings_store_t* store = options_.store;
    if (!store) {
        // A demonstration must not overwrite the user's saved connection:
        // simulate mode keeps its settings in memory.
        if (options_.simulate)
            own_store_ = std::make_unique<memory_settings_store_t>();
        else
            own_store_ = std::make_unique<qt_settings_store_t>(console);
        store = own_store_.get();
    }
    settings_notice_ = QString::fromStdString(store->notice());
    altimeter_ = options_.simulate ? std::make_unique<manual_altimeter_t>(false) : make_platform_altimeter();

    connection_t::central_factory_t make_central = options_.make_central;
    if (!make_central && options_.simulate) {
        make_central = [this]() -> std::unique_ptr<ble_central_t> {
            auto c = std::make_unique<simulated_central_t>();
            start_simulation();
            // Advertised under the name the settings hold, so the configured
            // connection finds it; renaming in the sheet loses the board,
            // as it would with a real one.
            auto& p = c->add_peripheral(cfg_->ble_name());
            p.source = [this](std::vector<std::string>& lines) { board_->due_lines(lines); };
            p.on_write = [this](std::span<const std::uint8_t> b) {
                board_->command({reinterpret_cast<const char*>(b.data()), b.size()});
            };
            sim_central_ = c.get();
            sim_peripheral_ = &p;
            return c;
        };
    }
    if (!make_central) make_central = [] { return make_platform_central(); };

    // Start-up order: settings, then the coordinator (which starts the host
    // barometer), then the orientation, then the configured connection.
    cfg_ = std::make_unique<config_connection_t>(*store, console);
    cnc_ = std::make_unique<connection_t>(
        connection_t::services_t{clock_, *store, console, *main_, *altimeter_, *haptics_, std::move(make_central)});
    if (auto* screen = QGuiApplication::primaryScreen()) {
        const QSize s = screen->size();
        portrait_ = s.width() < s.height();
    }
    if (options_.make_serial_port)
        cnc_->set_serial_factory(options_.make_serial_port);
    else
        cnc_->set_serial_factory([] { return std::make_unique<qt_serial_port_t>(); });
    cfg_subscription_ = cfg_->subscribe([this] { announce(); });
    cnc_subscription_ = cnc_->subscribe([this] { announce(); });
    // Hold times (events, the high-g peak) and the board's clock run out
    // without a message and without an announcement: a refresh once a
    // second lets the panels show that.
    refresh_timer_.setInterval(1000);
    connect(&refresh_timer_, &QTimer::timeout, this, &content_view_model_t::announce);
    refresh_timer_.start();
    connect_from_config();
}

content_view_model_t::~content_view_model_t() {
    sim_timer_.stop();
    cnc_subscription_.reset();
    cfg_subscription_.reset();
    // The coordinator goes first: its transports call into the central and
    // the simulated board while they shut down.
    cnc_.reset();
}

void content_view_model_t::start_simulation() {
    if (board_) return;
    board_ = std::make_unique<simulated_board_t>(options_.board, clock_, options_.rate);
    // The simulated radio delivers what is due every millisecond. Coarser
    // batches beat against the models' 1/60 s change throttle: with 5 ms
    // the next announcement after 16.7 ms falls at 20 ms, so a fast board
    // could change the screen only 50 times a second.
    sim_timer_.setInterval(1);
    sim_timer_.setTimerType(Qt::PreciseTimer);
    connect(&sim_timer_, &QTimer::timeout, this, [this] {
        if (!sim_central_) return;
        sim_central_->poll();
        sim_central_->run_pending();
    });
    sim_timer_.start();
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
    tick();
    cfg_->set_show_config(!cfg_->show_config());
}

void content_view_model_t::connection_button() {
    tick();
    tick();
    const bool tcp_on = cnc_->has_tcp_client() && cnc_->tcp_client().enabled();
    const bool ble_on = cnc_->has_ble() && cnc_->ble().enabled();
    if (tcp_on || ble_on)
        cnc_->disconnect();
    else
        connect_from_config();
}

void content_view_model_t::toggle_log() {
    tick();
    cnc_->pipeline.set_log_enable(!cnc_->pipeline.log_enable());
}

void content_view_model_t::clear_log() {
    tick();
    cnc_->pipeline.clear_log();
}

void content_view_model_t::send(const QString& text) {
    tick();
    cnc_->send(text.toStdString());
}

void content_view_model_t::connect_from_config() { plimsy::connect_from_config(*cfg_, *cnc_); }

void content_view_model_t::tick() { haptics_->selection(); }

void content_view_model_t::command(const QString& name) {
    const std::string n = name.toStdString();
    if (const auto c = find_board_command(n)) {
        tick();
        cnc_->send(std::string(board_command_bytes(*c)));
    } else {
        console_t& console = options_.console ? *options_.console : stdout_console_t::instance();
        console.line("no board command is named \"" + n + "\"; nothing sent");
    }
}

}  // namespace plimsy
