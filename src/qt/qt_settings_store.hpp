#pragma once

#include <QString>

#include "platform/console.hpp"
#include "platform/settings_file.hpp"

namespace plimsy {

// The application's settings file, where Qt keeps per-user configuration:
// $XDG_CONFIG_HOME/Plimsy/Plimsy_sensors.json (~/.config/... when unset).
// JSON keeps Booleans, numbers and arrays apart, which the typed reads need.
class qt_settings_store_t final : public file_settings_store_t {
public:
    explicit qt_settings_store_t(console_t& console = stdout_console_t::instance());

    QString file_name() const;
    static std::filesystem::path user_file();
};

}  // namespace plimsy
