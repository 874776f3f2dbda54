#include "qt/qt_settings_store.hpp"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <cmath>

namespace plimsy {

namespace {

bool read_json(QIODevice& device, QSettings::SettingsMap& map) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(device.readAll(), &error);
    // A damaged file must not stop the application: it starts with the
    // defaults and the next write replaces the file.
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) map.insert(it.key(), it.value().toVariant());
    return true;
}

bool write_json(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it) object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    return device.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) >= 0;
}

// JSON has one kind of number; a whole number within the range a double
// holds exactly is an integer setting.
std::optional<std::int64_t> whole(const QVariant& v) {
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0) return std::nullopt;
    return static_cast<std::int64_t>(d);
}

bool is_number(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

std::optional<setting_value_t> from_variant(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool) return setting_value_t(v.toBool());
    if (v.typeId() == QMetaType::QString) return setting_value_t(v.toString().toStdString());
    if (is_number(v)) {
        if (auto n = whole(v)) return setting_value_t(*n);
        return std::nullopt;  // a fraction is of no type the store knows
    }
    if (v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList) {
        const QVariantList list = v.toList();
        bool all_strings = true, all_numbers = true;
        for (const QVariant& e : list) {
            all_strings = all_strings && e.typeId() == QMetaType::QString;
            all_numbers = all_numbers && is_number(e) && whole(e).has_value();
        }
        if (all_strings) {
            std::vector<std::string> out;
            for (const QVariant& e : list) out.push_back(e.toString().toStdString());
            return setting_value_t(std::move(out));
        }
        if (all_numbers) {
            std::vector<std::int64_t> out;
            for (const QVariant& e : list) out.push_back(*whole(e));
            return setting_value_t(std::move(out));
        }
    }
    return std::nullopt;
}

QVariant to_variant(const setting_value_t& value) {
    struct visitor {
        QVariant operator()(bool b) const { return QVariant(b); }
        QVariant operator()(std::int64_t n) const { return QVariant(static_cast<qlonglong>(n)); }
        QVariant operator()(const std::string& s) const { return QVariant(QString::fromStdString(s)); }
        QVariant operator()(const std::vector<std::string>& a) const {
            QVariantList list;
            for (const auto& s : a) list.push_back(QString::fromStdString(s));
            return list;
        }
        QVariant operator()(const std::vector<std::int64_t>& a) const {
            QVariantList list;
            for (auto n : a) list.push_back(static_cast<qlonglong>(n));
            return list;
        }
    };
    return std::visit(visitor{}, value);
}

}  // namespace

QSettings::Format qt_settings_store_t::json_format() {
    static const QSettings::Format format = QSettings::registerFormat("json", read_json, write_json);
    return format;
}

qt_settings_store_t::qt_settings_store_t()
    : settings_(std::make_unique<QSettings>(json_format(), QSettings::UserScope, "Plimsy", "Plimsy_sensors")) {}

qt_settings_store_t::~qt_settings_store_t() = default;

std::optional<setting_value_t> qt_settings_store_t::read(const std::string& key) const {
    const QVariant v = settings_->value(QString::fromStdString(key));
    if (!v.isValid()) return std::nullopt;
    return from_variant(v);
}

// Each change reaches the file at once: the application has no orderly
// shutdown, so a setting not yet written would be lost when it is closed.
void qt_settings_store_t::write(const std::string& key, const setting_value_t& value) {
    settings_->setValue(QString::fromStdString(key), to_variant(value));
    settings_->sync();
}

void qt_settings_store_t::remove(const std::string& key) {
    settings_->remove(QString::fromStdString(key));
    settings_->sync();
}

}  // namespace plimsy
