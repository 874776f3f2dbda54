#pragma once

#include "platform/main_queue.hpp"
#include "transport/broker_client.hpp"

namespace plimsy {

// The MQTT client a session uses unless it is given another: libmosquitto
// through the MQTT wrapper, its events posted to `main`.
broker_factory_t default_broker_factory(main_queue_t& main);

}  // namespace plimsy
