#include "session/session.hpp"

#include <algorithm>

#include "platform/settings_file.hpp"
#include "session/broker_factory.hpp"
#include "sim/simulated_central.hpp"
#include "sim/simulated_peripheral.hpp"

namespace plimsy {

session_t::session_t(session_services_t services, session_options_t options)
    : clock_(services.clock),
      main_(services.main),
      console_(services.console ? *services.console : stdout_console_t::instance()),
      haptics_(services.haptics ? *services.haptics : no_haptics_),
      altimeter_(services.altimeter ? *services.altimeter : no_altimeter_) {
    store_ = options.store;
    if (!store_) {
        if (options.settings_file.empty())
            own_store_ = std::make_unique<memory_settings_store_t>();
        else
            own_store_ = std::make_unique<file_settings_store_t>(options.settings_file, console_);
        store_ = own_store_.get();
    }

    connection_t::central_factory_t make_central = std::move(services.make_central);
    if (options.simulate) {
        board_ = std::make_unique<simulated_board_t>(options.simulate->board, clock_, options.simulate->rate,
                                                     options.simulate->seed);
        make_central = [this] { return make_simulated_central(); };
    }

    cfg_ = std::make_unique<config_connection_t>(*store_, console_);
    cnc_ = std::make_unique<connection_t>(
        connection_t::services_t{clock_, *store_, console_, main_, altimeter_, haptics_, std::move(make_central)});
    if (services.make_serial_port) cnc_->set_serial_factory(std::move(services.make_serial_port));
    cnc_->set_broker_factory(services.make_broker ? std::move(services.make_broker) : default_broker_factory(main_));
    cfg_subscription_ = cfg_->subscribe([this] { will_change(); });
    cnc_subscription_ = cnc_->subscribe([this] { will_change(); });

    if (options.links) choose_links(*options.links);
    if (options.start_connection) connect_from_config();
}

bool session_t::act(std::string_view name, const capture_arg_t& arg, std::string& error) {
    if (!apply_local_action(sensors(), name, arg, error)) return false;
    for (session_tap_t* t : taps_) t->local_action(name, arg);
    return true;
}

bool session_t::act(local_action_t action, const capture_arg_t& arg) {
    std::string error;
    if (act(local_action_name(action), arg, error)) return true;
    console_.line("local action " + std::string(local_action_name(action)) + " not done: " + error);
    return false;
}

void session_t::add_tap(session_tap_t* tap) {
    if (!tap || std::find(taps_.begin(), taps_.end(), tap) != taps_.end()) return;
    taps_.push_back(tap);
    cnc_->add_raw_tap(tap);
}

void session_t::remove_tap(session_tap_t* tap) {
    std::erase(taps_, tap);
    cnc_->remove_raw_tap(tap);
}

session_t::~session_t() {
    cnc_subscription_.reset();
    cfg_subscription_.reset();
    // The transports call into the radio and the board while they stop.
    cnc_.reset();
    sim_peripheral_ = nullptr;
    sim_central_ = nullptr;
    cfg_.reset();
    board_.reset();
    // The store goes last with its members: a settings file writes what is
    // still pending.
}

std::unique_ptr<ble_central_t> session_t::make_simulated_central() {
    auto central = std::make_unique<simulated_central_t>();
    // Advertised under the name the settings hold, so the configured
    // connection finds it; renaming it in the settings loses the board, as
    // it would with a real one.
    auto& p = central->add_peripheral(cfg_->ble_name());
    p.source = [this](std::vector<std::string>& lines) { board_->due_lines(lines); };
    p.on_write = [this](std::span<const std::uint8_t> bytes) {
        board_->command({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    };
    sim_central_ = central.get();
    sim_peripheral_ = &p;
    return central;
}

std::size_t session_t::poll_simulation() {
    if (!sim_central_) return 0;
    sim_central_->poll();
    return sim_central_->run_pending();
}

void session_t::choose_links(const session_links_t& links) {
    config_connection_t& c = *cfg_;
    const bool board = links.ble_name || links.serial_port;
    // BLE first: choosing it (or TCP) also leaves the serial port.
    c.set_enable_ble(links.ble_name.has_value());
    c.set_enable_serial(links.serial_port.has_value());
    c.set_enable_bridge(board && links.tcp_host.has_value());
    if (links.ble_name) c.set_ble_name(*links.ble_name);
    if (links.serial_port) {
        c.set_serial_port(*links.serial_port);
        c.set_serial_baud(links.serial_baud);
    }
    if (links.tcp_host) {
        c.commit_host(*links.tcp_host);
        c.commit_port(links.tcp_port);
    }
}

receive_pipeline_t& session_t::pipeline() { return cnc_->pipeline; }
const receive_pipeline_t& session_t::pipeline() const { return cnc_->pipeline; }
sensors_t& session_t::sensors() { return pipeline().sensors; }
const sensors_t& session_t::sensors() const { return pipeline().sensors; }

void session_t::connect_from_config() { plimsy::connect_from_config(*cfg_, *cnc_); }

void session_t::disconnect() { cnc_->disconnect(); }

void session_t::connection_button() {
    if (links_wanted())
        disconnect();
    else
        connect_from_config();
}

bool session_t::links_wanted() const {
    connection_t& c = *cnc_;
    return (c.has_tcp_client() && c.tcp_client().enabled()) || (c.has_ble() && c.ble().enabled()) ||
           (c.has_serial() && c.serial().enabled()) || (c.has_mqtt() && c.mqtt().enabled());
}

bool session_t::link_up() const { return cnc_->any_link_up(); }

bool session_t::sending() const {
    connection_t& c = *cnc_;
    return (c.has_tcp_client() && c.tcp_client().valid() && c.tcp_client().unsent() > 0) ||
           (c.has_ble() && c.ble().ready() && c.ble().bytes_in_flight() > 0);
}

bool session_t::send(std::string_view command) { return cnc_->send(command); }
void session_t::clear_log() { cnc_->pipeline.clear_log(); }
void session_t::set_log_enable(bool on) { cnc_->pipeline.set_log_enable(on); }
void session_t::toggle_log() { cnc_->pipeline.set_log_enable(!cnc_->pipeline.log_enable()); }

}  // namespace plimsy
