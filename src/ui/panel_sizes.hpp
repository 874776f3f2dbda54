#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include "ui/content_view_model.hpp"

namespace plimsy {

// The main screen's layout constants where QML lays the panels out.
class panel_sizes_t : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PanelSizes)
    QML_SINGLETON
    Q_PROPERTY(double padding READ padding CONSTANT)
    Q_PROPERTY(double paddingEvent READ padding_event CONSTANT)
    Q_PROPERTY(double paddingCompassTop READ padding_compass_top CONSTANT)
    Q_PROPERTY(double paddingCompass READ padding_compass CONSTANT)
    Q_PROPERTY(double font READ font CONSTANT)
    Q_PROPERTY(double icon READ icon CONSTANT)
    Q_PROPERTY(double unit READ unit CONSTANT)
    Q_PROPERTY(double accel READ accel CONSTANT)

public:
    using QObject::QObject;

    static double padding() { return content_view_model_t::size_padding; }
    static double padding_event() { return content_view_model_t::size_padding_event; }
    static double padding_compass_top() { return content_view_model_t::size_padding_compass_top; }
    static double padding_compass() { return content_view_model_t::size_padding_compass; }
    static double font() { return content_view_model_t::size_font; }
    static double icon() { return content_view_model_t::size_icon; }
    static double unit() { return content_view_model_t::size_unit; }
    static double accel() { return content_view_model_t::size_accel; }
};

}  // namespace plimsy
