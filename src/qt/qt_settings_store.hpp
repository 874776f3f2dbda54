#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "platform/settings_store.hpp"

namespace plimsy {

// The per-user settings through QSettings, kept in a JSON file so that
// Booleans, numbers and arrays read back with their types (the INI format
// on Linux returns every value as a string, which the typed reads reject).
// On Linux the file is $XDG_CONFIG_HOME/Plimsy/Plimsy_sensors.json.
class qt_settings_store_t final : public settings_store_t {
public:
    qt_settings_store_t();
    ~qt_settings_store_t() override;

    std::optional<setting_value_t> read(const std::string& key) const override;
    void write(const std::string& key, const setting_value_t& value) override;
    void remove(const std::string& key) override;

    QString file_name() const { return settings_->fileName(); }
    // The registered JSON format; registered once per process.
    static QSettings::Format json_format();

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace plimsy
