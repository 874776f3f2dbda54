#include "session/broker_factory.hpp"

namespace plimsy {

// Until the libmosquitto wrapper is in this build, MQTT says it is not
// available (mqtt_link_t reports a null client).
broker_factory_t default_broker_factory(main_queue_t&) {
    return [](broker_events_t&) { return std::unique_ptr<broker_client_t>(); };
}

}  // namespace plimsy
