#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "common/colour.hpp"
#include "ui/palette.hpp"

namespace plimsy {

// The one palette and size table of the QML files (the singleton `Theme`):
// QML names a colour or a size by its role and never writes one itself, so
// the look changes here and nowhere else. The colours are the palette's
// (ui/palette.*), which the view models' role colours come from as well.
class theme_t : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Theme)
    QML_SINGLETON
    Q_PROPERTY(QColor primary READ primary CONSTANT)
    Q_PROPERTY(QColor secondary READ secondary CONSTANT)
    Q_PROPERTY(QColor tertiary READ tertiary CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor blue READ blue CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(QColor red READ red CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor white READ white CONSTANT)
    Q_PROPERTY(QColor black READ black CONSTANT)
    Q_PROPERTY(QColor clear READ clear CONSTANT)
    Q_PROPERTY(QColor link READ link CONSTANT)
    Q_PROPERTY(QColor systemBackground READ systemBackground CONSTANT)
    Q_PROPERTY(QColor secondarySystemBackground READ secondarySystemBackground CONSTANT)
    Q_PROPERTY(QColor systemFill READ systemFill CONSTANT)
    Q_PROPERTY(QColor destructive READ destructive CONSTANT)
    // Layout of the panels.
    Q_PROPERTY(double padding READ padding CONSTANT)
    Q_PROPERTY(double paddingEvent READ paddingEvent CONSTANT)
    Q_PROPERTY(double paddingCompassTop READ paddingCompassTop CONSTANT)
    Q_PROPERTY(double paddingCompass READ paddingCompass CONSTANT)
    Q_PROPERTY(double iconSize READ iconSize CONSTANT)
    Q_PROPERTY(double unitWidth READ unitWidth CONSTANT)
    Q_PROPERTY(double accelSize READ accelSize CONSTANT)
    // Font sizes in pixels, by role.
    Q_PROPERTY(double fontSize READ fontSize CONSTANT)  // panel values
    Q_PROPERTY(double fontTitle READ fontTitle CONSTANT)  // panel titles, the sheet's fields
    Q_PROPERTY(double fontToolbar READ fontToolbar CONSTANT)  // the toolbar's status texts
    Q_PROPERTY(double fontButton READ fontButton CONSTANT)  // buttons and small headings
    Q_PROPERTY(double fontLog READ fontLog CONSTANT)  // the receive log, list marks
    Q_PROPERTY(double fontFootnote READ fontFootnote CONSTANT)  // the board's clock, notes
    Q_PROPERTY(double fontMin READ fontMin CONSTANT)  // the least a shrinking text gets
    Q_PROPERTY(double fontTableMax READ fontTableMax CONSTANT)  // the most a calibration table gets
    Q_PROPERTY(double fontTableMin READ fontTableMin CONSTANT)  // the least the magnetometer table gets
    Q_PROPERTY(double fontDialCardinal READ fontDialCardinal CONSTANT)  // the least the dial's N, E, S, W get
    Q_PROPERTY(double fontDialDegrees READ fontDialDegrees CONSTANT)  // the least the dial's degree marks get
    Q_PROPERTY(QString monospace READ monospace CONSTANT)
    // How long the pointer rests on a button before its tooltip shows, ms.
    Q_PROPERTY(int tooltipDelay READ tooltipDelay CONSTANT)

public:
    using QObject::QObject;

    static QColor primary() { return palette_colour(colour_t::primary); }
    static QColor secondary() { return palette_colour(colour_t::secondary); }
    static QColor tertiary() { return palette_colour(colour_t::tertiary); }
    static QColor accent() { return palette_colour(colour_t::accent); }
    static QColor blue() { return palette_colour(colour_t::blue); }
    static QColor green() { return palette_colour(colour_t::green); }
    static QColor red() { return palette_colour(colour_t::red); }
    static QColor orange() { return palette_colour(colour_t::orange); }
    static QColor white() { return palette_colour(colour_t::white); }
    static QColor black() { return palette_colour(colour_t::black); }
    static QColor clear() { return palette_colour(colour_t::clear); }
    static QColor link() { return palette::link; }
    static QColor systemBackground() { return palette::system_background; }
    static QColor secondarySystemBackground() { return palette::secondary_system_background; }
    static QColor systemFill() { return palette::system_fill; }
    static QColor destructive() { return palette::destructive; }
    // Layout of the panels.
    static constexpr double padding() { return 4; }
    static constexpr double paddingEvent() { return 16; }
    static constexpr double paddingCompassTop() { return 24; }
    static constexpr double paddingCompass() { return 36; }
    static constexpr double iconSize() { return 14; }
    static constexpr double unitWidth() { return 32; }
    static constexpr double accelSize() { return 300; }
    // Font sizes in pixels, by role.
    static constexpr double fontSize() { return 18; }
    static constexpr double fontTitle() { return 17; }
    static constexpr double fontToolbar() { return 16; }
    static constexpr double fontButton() { return 15; }
    static constexpr double fontLog() { return 14; }
    static constexpr double fontFootnote() { return 13; }
    static constexpr double fontMin() { return 10; }
    static constexpr double fontTableMax() { return 16; }
    static constexpr double fontTableMin() { return 8; }
    static constexpr double fontDialCardinal() { return 12; }
    static constexpr double fontDialDegrees() { return 9; }

    static QString monospace() { return QStringLiteral("DejaVu Sans Mono"); }
    static int tooltipDelay() { return 500; }
};

}  // namespace plimsy
