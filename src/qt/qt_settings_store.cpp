#include "qt/qt_settings_store.hpp"

#include <QFile>
#include <QStandardPaths>

namespace plimsy {

// Where QSettings kept this application's file, so an earlier file is found.
std::filesystem::path qt_settings_store_t::user_file() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::filesystem::path(QFile::encodeName(dir).toStdString()) / "Plimsy" / "Plimsy_sensors.json";
}

qt_settings_store_t::qt_settings_store_t(console_t& console) : file_settings_store_t(user_file(), console) {}

QString qt_settings_store_t::file_name() const { return QString::fromStdString(file().string()); }

}  // namespace plimsy
