#include "qt/qt_ble_central.hpp"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QLowEnergyController>
#include <QLowEnergyDescriptor>
#include <QLowEnergyService>
#include <QMetaEnum>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace plimsy {

namespace {

std::string uuid_text(const QBluetoothUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

template <typename E>
std::string enum_text(E value) {
    const char* key = QMetaEnum::fromType<E>().valueToKey(static_cast<int>(value));
    return key ? key : "error " + std::to_string(static_cast<int>(value));
}

}  // namespace

qt_ble_central_t::qt_ble_central_t() : context_(std::make_unique<QObject>()) {
    local_ = new QBluetoothLocalDevice(context_.get());
    QObject::connect(local_, &QBluetoothLocalDevice::hostModeStateChanged, context_.get(),
                     [this](QBluetoothLocalDevice::HostMode) {
                         // A change of the radio makes a refused scan worth another try.
                         scan_refused_.reset();
                         update_power();
                     });
    QObject::connect(local_, &QBluetoothLocalDevice::errorOccurred, context_.get(),
                     [this](QBluetoothLocalDevice::Error error) {
                         if (error != QBluetoothLocalDevice::MissingPermissionsError) return;
                         scan_refused_ = ble_power_t::unauthorized;
                         update_power();
                     });
    state_ = read_power();
}

qt_ble_central_t::~qt_ble_central_t() {
    delegate_ = nullptr;
    // Controllers and services are children of the context; going with it
    // closes every link and drops every queued event.
    context_.reset();
}

void qt_ble_central_t::post(std::function<void(ble_central_delegate_t&)> fn) {
    QMetaObject::invokeMethod(
        context_.get(),
        [this, fn = std::move(fn)] {
            if (delegate_) fn(*delegate_);
        },
        Qt::QueuedConnection);
}

ble_power_t qt_ble_central_t::read_power() const {
    if (!local_->isValid()) return ble_power_t::unsupported;
    if (local_->hostMode() == QBluetoothLocalDevice::HostPoweredOff) return ble_power_t::powered_off;
    // The host says the radio is on, but the scan could not start: the
    // scan's reason is the truer state until the host reports a change.
    if (scan_refused_) return *scan_refused_;
    return ble_power_t::powered_on;
}

void qt_ble_central_t::scan_failed(QBluetoothDeviceDiscoveryAgent::Error error) {
    // Without this, a scan that never started would leave the transport
    // showing "BLE scanning..." for good.
    switch (error) {
        case QBluetoothDeviceDiscoveryAgent::PoweredOffError: scan_refused_ = ble_power_t::powered_off; break;
        case QBluetoothDeviceDiscoveryAgent::InvalidBluetoothAdapterError:
        case QBluetoothDeviceDiscoveryAgent::UnsupportedPlatformError:
        case QBluetoothDeviceDiscoveryAgent::UnsupportedDiscoveryMethod:
            scan_refused_ = ble_power_t::unsupported;
            break;
        case QBluetoothDeviceDiscoveryAgent::MissingPermissionsError:
        case QBluetoothDeviceDiscoveryAgent::LocationServiceTurnedOffError:
            scan_refused_ = ble_power_t::unauthorized;
            break;
        default:
            // An input/output error or an unknown one says nothing about
            // the radio; the scan is tried again a second later.
            QTimer::singleShot(1000, context_.get(), [this] {
                if (scanning_ && state_ == ble_power_t::powered_on) start_agent();
            });
            return;
    }
    update_power();
}

void qt_ble_central_t::update_power() {
    const ble_power_t now = read_power();
    if (now == state_) return;
    state_ = now;
    if (state_ != ble_power_t::powered_on) {
        // A radio that goes off ends the scan and every link without further
        // events, as hosts do; the transport starts over when it hears that
        // the radio is back.
        scanning_ = false;
        if (agent_) agent_->stop();
        for (auto& [id, p] : peripherals_) drop_controller(p);
    }
    post([now](ble_central_delegate_t& d) { d.central_state_changed(now); });
}

void qt_ble_central_t::set_delegate(ble_central_delegate_t* delegate) {
    delegate_ = delegate;
    if (!delegate_) return;
    state_ = read_power();
    const ble_power_t now = state_;
    post([now](ble_central_delegate_t& d) { d.central_state_changed(now); });
}

// ---------------------------------------------------------------- scanning

void qt_ble_central_t::start_agent() {
    if (!agent_) {
        agent_ = new QBluetoothDeviceDiscoveryAgent(context_.get());
        // No end of its own: the scan runs until stop_scan().
        agent_->setLowEnergyDiscoveryTimeout(0);
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::errorOccurred, context_.get(),
                         [this](QBluetoothDeviceDiscoveryAgent::Error error) { scan_failed(error); });
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, context_.get(),
                         [this](const QBluetoothDeviceInfo& info) { device_seen(info); });
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, context_.get(),
                         [this](const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields fields) {
                             if (fields.testFlag(QBluetoothDeviceInfo::Field::RSSI)) device_seen(info);
                         });
        // Some backends still end a scan after a while; the transport expects
        // it to go on, so it starts again (on a later turn, not inside the
        // agent's own signal).
        QObject::connect(
            agent_, &QBluetoothDeviceDiscoveryAgent::finished, context_.get(),
            [this] {
                if (scanning_ && state_ == ble_power_t::powered_on) start_agent();
            },
            Qt::QueuedConnection);
    }
    if (!agent_->isActive()) agent_->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void qt_ble_central_t::scan() {
    scanning_ = true;
    start_agent();
}

void qt_ble_central_t::stop_scan() {
    scanning_ = false;
    if (agent_ && agent_->isActive()) agent_->stop();
}

void qt_ble_central_t::device_seen(const QBluetoothDeviceInfo& info) {
    const std::uint64_t key = info.address().toUInt64();
    auto [it, added] = by_address_.try_emplace(key, 0);
    if (added) it->second = next_id_++;
    const peripheral_id_t id = it->second;
    peripheral_t& p = peripherals_[id];
    p.id = id;
    p.info = info;
    if (!info.name().isEmpty()) p.name = info.name().toStdString();
    if (info.rssi() != 0) p.rssi = info.rssi();

    const std::optional<std::string> name = p.name;
    const int rssi = p.rssi;
    QMetaObject::invokeMethod(
        context_.get(),
        [this, id, name, rssi] {
            // Reports already queued when the scan stopped are not news any
            // more: the transport has moved on to connecting.
            if (delegate_ && scanning_) delegate_->peripheral_discovered(id, name, rssi);
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- peripherals

qt_ble_central_t::peripheral_t* qt_ble_central_t::find(peripheral_id_t id) {
    auto it = peripherals_.find(id);
    return it == peripherals_.end() ? nullptr : &it->second;
}

const qt_ble_central_t::peripheral_t* qt_ble_central_t::find(peripheral_id_t id) const {
    auto it = peripherals_.find(id);
    return it == peripherals_.end() ? nullptr : &it->second;
}

std::optional<std::string> qt_ble_central_t::name(peripheral_id_t peripheral) const {
    const peripheral_t* p = find(peripheral);
    return p ? p->name : std::nullopt;
}

std::string qt_ble_central_t::description(peripheral_id_t peripheral) const {
    const peripheral_t* p = find(peripheral);
    if (!p) return "<unknown peripheral>";
    return p->name.value_or("[no name]") + " (" + p->info.address().toString().toStdString() +
           ", rssi " + std::to_string(p->rssi) + ")";
}

QLowEnergyController* qt_ble_central_t::live_controller(peripheral_id_t id) {
    peripheral_t* p = find(id);
    return p && p->connected ? p->controller.data() : nullptr;
}

void qt_ble_central_t::connect(peripheral_id_t id) {
    peripheral_t* p = find(id);
    if (!p) {
        post([id](ble_central_delegate_t& d) { d.peripheral_failed_to_connect(id, "unknown peripheral"); });
        return;
    }
    // Asked twice (a discovery report that was already on its way): the
    // attempt under way answers both.
    if (p->controller) return;

    QLowEnergyController* c = QLowEnergyController::createCentral(p->info, context_.get());
    p->controller = c;
    p->connected = false;
    p->last_error.reset();
    ++p->session;
    QObject::connect(c, &QLowEnergyController::connected, context_.get(), [this, id, c] {
        peripheral_t* q = find(id);
        if (!q || q->controller != c) return;
        q->connected = true;
        post([id](ble_central_delegate_t& d) { d.peripheral_connected(id); });
    });
    QObject::connect(c, &QLowEnergyController::errorOccurred, context_.get(),
                     [this, id, c](QLowEnergyController::Error error) {
                         peripheral_t* q = find(id);
                         if (!q || q->controller != c) return;
                         std::string text = c->errorString().toStdString();
                         if (text.empty()) text = enum_text(error);
                         if (q->connected) {
                             // The link is going down; the disconnected signal
                             // that follows carries this reason.
                             q->last_error = text;
                             return;
                         }
                         drop_controller(*q);
                         post([id, text](ble_central_delegate_t& d) { d.peripheral_failed_to_connect(id, text); });
                     });
    QObject::connect(c, &QLowEnergyController::disconnected, context_.get(), [this, id, c] {
        peripheral_t* q = find(id);
        if (!q || q->controller != c) return;
        // BlueZ drops the links before it says the radio is off; asking now
        // tells a radio switched off (no event, see update_power) from a
        // board that went away.
        update_power();
        if (q->controller != c) return;
        // Nobody asked for this (a cancel lets go of the controller first):
        // the board went away, so the event carries an error.
        const std::string text = q->last_error.value_or("the connection was lost");
        const bool was_connected = q->connected;
        drop_controller(*q);
        if (was_connected)
            post([id, text](ble_central_delegate_t& d) { d.peripheral_disconnected(id, text); });
        else
            post([id, text](ble_central_delegate_t& d) { d.peripheral_failed_to_connect(id, text); });
    });
    QObject::connect(c, &QLowEnergyController::discoveryFinished, context_.get(), [this, id, c] {
        peripheral_t* q = find(id);
        if (q && q->controller == c) report_services(id, c);
    });
    c->connectToDevice();
}

void qt_ble_central_t::drop_controller(peripheral_t& p) {
    QLowEnergyController* c = p.controller.data();
    p.controller = nullptr;
    p.connected = false;
    for (auto& [sid, s] : services_) {
        if (s.service && s.peripheral == p.id && s.session == p.session) {
            s.service->disconnect(context_.get());
            s.service->deleteLater();
            s.service = nullptr;
        }
    }
    if (!c) return;
    QObject::disconnect(c, nullptr, context_.get(), nullptr);
    if (c->state() == QLowEnergyController::UnconnectedState) {
        c->deleteLater();
    } else {
        QObject::connect(c, &QLowEnergyController::disconnected, c, &QObject::deleteLater);
        c->disconnectFromDevice();
    }
}

void qt_ble_central_t::cancel_connection(peripheral_id_t id) {
    peripheral_t* p = find(id);
    if (!p || !p->controller) return;
    drop_controller(*p);
    post([id](ble_central_delegate_t& d) { d.peripheral_disconnected(id, std::nullopt); });
}

// ---------------------------------------------------------------- attributes

void qt_ble_central_t::discover_services(peripheral_id_t id) {
    QLowEnergyController* c = live_controller(id);
    if (!c) return;
    switch (c->state()) {
        case QLowEnergyController::DiscoveredState:
            report_services(id, c);
            break;
        case QLowEnergyController::DiscoveringState:
            break;  // reported when it finishes
        default:
            c->discoverServices();
            break;
    }
}

void qt_ble_central_t::report_services(peripheral_id_t id, QLowEnergyController* c) {
    peripheral_t& p = peripherals_[id];
    std::vector<service_id_t> ids;
    for (const QBluetoothUuid& uuid : c->services()) {
        auto same = std::find_if(services_.begin(), services_.end(), [&](const auto& e) {
            return e.second.peripheral == id && e.second.session == p.session && e.second.uuid == uuid;
        });
        if (same != services_.end()) {
            ids.push_back(same->first);
            continue;
        }
        const service_id_t sid = next_id_++;
        service_t& s = services_[sid];
        s.peripheral = id;
        s.session = p.session;
        s.uuid = uuid;
        ids.push_back(sid);
    }
    post([id, ids](ble_central_delegate_t& d) { d.services_discovered(id, ids); });
}

qt_ble_central_t::service_t* qt_ble_central_t::live_service(peripheral_id_t peripheral, service_id_t id) {
    auto it = services_.find(id);
    if (it == services_.end() || it->second.peripheral != peripheral) return nullptr;
    const peripheral_t* p = find(peripheral);
    if (!p || !p->connected || p->session != it->second.session) return nullptr;
    return &it->second;
}

void qt_ble_central_t::discover_characteristics(peripheral_id_t peripheral, service_id_t sid) {
    service_t* s = live_service(peripheral, sid);
    if (!s) return;
    if (s->service) {
        if (s->service->state() == QLowEnergyService::RemoteServiceDiscovered) report_characteristics(sid);
        return;
    }
    QLowEnergyService* service = live_controller(peripheral)->createServiceObject(s->uuid, context_.get());
    if (!service) return;
    s->service = service;
    QObject::connect(service, &QLowEnergyService::stateChanged, context_.get(),
                     [this, sid](QLowEnergyService::ServiceState state) {
                         if (state == QLowEnergyService::RemoteServiceDiscovered) report_characteristics(sid);
                     });
    auto value = [this, sid, peripheral](const QLowEnergyCharacteristic& c, const QByteArray& bytes) {
        const auto cid = characteristic_id(sid, c);
        if (!cid) return;
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
        post([peripheral, id = *cid, copy](ble_central_delegate_t& d) { d.value_updated(peripheral, id, copy); });
    };
    QObject::connect(service, &QLowEnergyService::characteristicChanged, context_.get(), value);
    QObject::connect(service, &QLowEnergyService::characteristicRead, context_.get(), value);
    QObject::connect(service, &QLowEnergyService::characteristicWritten, context_.get(),
                     [this, sid, peripheral](const QLowEnergyCharacteristic& c, const QByteArray&) {
                         auto it = services_.find(sid);
                         const auto cid = characteristic_id(sid, c);
                         if (it == services_.end() || !cid) return;
                         auto& writes = it->second.writes;
                         if (auto w = std::find(writes.begin(), writes.end(), *cid); w != writes.end()) writes.erase(w);
                         post([peripheral, id = *cid](ble_central_delegate_t& d) {
                             d.value_written(peripheral, id, std::nullopt);
                         });
                     });
    QObject::connect(service, &QLowEnergyService::errorOccurred, context_.get(),
                     [this, sid, peripheral](QLowEnergyService::ServiceError error) {
                         if (error != QLowEnergyService::CharacteristicWriteError) return;
                         auto it = services_.find(sid);
                         if (it == services_.end() || it->second.writes.empty()) return;
                         const characteristic_id_t cid = it->second.writes.front();
                         it->second.writes.pop_front();
                         post([peripheral, cid, text = enum_text(error)](ble_central_delegate_t& d) {
                             d.value_written(peripheral, cid, text);
                         });
                     });
    service->discoverDetails(QLowEnergyService::FullDiscovery);
}

std::optional<characteristic_id_t> qt_ble_central_t::characteristic_id(service_id_t service,
                                                                       const QLowEnergyCharacteristic& c) const {
    for (const auto& [id, e] : characteristics_) {
        if (e.service == service && e.characteristic == c) return id;
    }
    return std::nullopt;
}

void qt_ble_central_t::report_characteristics(service_id_t sid) {
    auto it = services_.find(sid);
    if (it == services_.end() || !it->second.service) return;
    const peripheral_id_t peripheral = it->second.peripheral;
    std::vector<ble_characteristic_info_t> infos;
    for (const QLowEnergyCharacteristic& c : it->second.service->characteristics()) {
        characteristic_id_t cid;
        if (auto known = characteristic_id(sid, c)) {
            cid = *known;
        } else {
            cid = next_id_++;
            characteristics_[cid] = characteristic_t{peripheral, sid, c};
        }
        infos.push_back({cid, uuid_text(c.uuid())});
    }
    post([peripheral, sid, infos](ble_central_delegate_t& d) { d.characteristics_discovered(peripheral, sid, infos); });
}

qt_ble_central_t::characteristic_t* qt_ble_central_t::live_characteristic(peripheral_id_t peripheral,
                                                                          characteristic_id_t id,
                                                                          service_t** service) {
    auto it = characteristics_.find(id);
    if (it == characteristics_.end() || it->second.peripheral != peripheral) return nullptr;
    service_t* s = live_service(peripheral, it->second.service);
    if (!s || !s->service) return nullptr;
    *service = s;
    return &it->second;
}

void qt_ble_central_t::read_value(peripheral_id_t peripheral, characteristic_id_t id) {
    service_t* s = nullptr;
    characteristic_t* c = live_characteristic(peripheral, id, &s);
    // Asking for a value the board does not offer to read only earns an
    // error from the stack; no event was promised for it.
    if (!c || !(c->characteristic.properties() & QLowEnergyCharacteristic::Read)) return;
    s->service->readCharacteristic(c->characteristic);
}

void qt_ble_central_t::set_notify(peripheral_id_t peripheral, characteristic_id_t id, bool on) {
    service_t* s = nullptr;
    characteristic_t* c = live_characteristic(peripheral, id, &s);
    if (!c) return;
    // Qt subscribes through the client configuration descriptor (on BlueZ
    // writing it starts the notifications); a characteristic without one
    // cannot notify.
    const QLowEnergyDescriptor cccd = c->characteristic.clientCharacteristicConfiguration();
    if (!cccd.isValid()) return;
    const auto properties = c->characteristic.properties();
    QByteArray value = QLowEnergyCharacteristic::CCCDDisable;
    if (on && (properties & QLowEnergyCharacteristic::Notify))
        value = QLowEnergyCharacteristic::CCCDEnableNotification;
    else if (on && (properties & QLowEnergyCharacteristic::Indicate))
        value = QLowEnergyCharacteristic::CCCDEnableIndication;
    else if (on)
        return;
    s->service->writeDescriptor(cccd, value);
}

void qt_ble_central_t::write_with_response(peripheral_id_t peripheral, characteristic_id_t id,
                                           std::span<const std::uint8_t> bytes) {
    service_t* s = nullptr;
    characteristic_t* c = live_characteristic(peripheral, id, &s);
    if (!c) {
        post([peripheral, id](ble_central_delegate_t& d) { d.value_written(peripheral, id, "not connected"); });
        return;
    }
    s->writes.push_back(id);
    const QByteArray value(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    s->service->writeCharacteristic(c->characteristic, value, QLowEnergyService::WriteWithResponse);
}

void qt_ble_central_t::read_rssi(peripheral_id_t peripheral) {
    // Qt 6.4 cannot read the signal strength of a connected LE link on
    // Linux (nor does BlueZ offer it over D-Bus); the best figure there is
    // the last one the discovery agent saw for the device.
    const peripheral_t* p = find(peripheral);
    if (!p) return;
    const int rssi = p->rssi;
    post([peripheral, rssi](ble_central_delegate_t& d) { d.rssi_read(peripheral, rssi); });
}

}  // namespace plimsy
