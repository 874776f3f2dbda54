#pragma once

#include <QMetaType>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "shown/panels.hpp"

namespace plimsy {

// One line of a reading panel: title, value and unit texts, and the fill of
// its bar gauge. Handed to QML whole, so a row's texts and gauge always
// come from the same read of the model.
struct value_row_t {
    Q_GADGET
    QML_VALUE_TYPE(valueRow)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QString value MEMBER value)
    Q_PROPERTY(QString unit MEMBER unit)
    Q_PROPERTY(double fraction MEMBER fraction)
    Q_PROPERTY(bool gauge MEMBER gauge)

public:
    QString title;
    QString value;
    QString unit;
    // 0 ... 1; meaningful only when `gauge` is set.
    double fraction = 0;
    bool gauge = false;

    bool operator==(const value_row_t&) const = default;
};

// A reading line of the shown values, for QML.
inline value_row_t value_row(const shown_row_t& r) {
    return {QString::fromStdString(r.title), QString::fromStdString(r.value), QString::fromStdString(r.unit),
            r.fraction, r.gauge};
}

}  // namespace plimsy
