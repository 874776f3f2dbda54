#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <QVariantMap>

#include "ui/panel_model.hpp"

namespace plimsy {

// The gyroscope panel: the board's three rotation angles and the controls
// of the traces plot under them (legend, hold, reset).
class gyroscope_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(GyroscopePanelModel)

    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(QString x_text READ x_text NOTIFY changed)
    Q_PROPERTY(QString y_text READ y_text NOTIFY changed)
    Q_PROPERTY(QString z_text READ z_text NOTIFY changed)
    Q_PROPERTY(QString hold_text READ hold_text NOTIFY changed)
    Q_PROPERTY(bool held READ held NOTIFY changed)
    Q_PROPERTY(bool show_reset READ show_reset NOTIFY changed)
    // The series of the current data kind, in legend order. Names and
    // colours are apart so that the legend's entries are made again only
    // when the set of series changes, not with every new sample.
    Q_PROPERTY(QStringList legend READ legend NOTIFY changed)
    // Per entry: the series colour while drawn, grey while hidden.
    Q_PROPERTY(QVariantList legend_colours READ legend_colours NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    // Degrees with one decimal.
    QString x_text() const;
    QString y_text() const;
    QString z_text() const;
    QString hold_text() const;
    bool held() const;
    bool show_reset() const;
    QStringList legend() const;
    QVariantList legend_colours() const;

public slots:
    void toggle_hold();
    void reset();
    // Shows or hides legend entry i.
    void toggle_series(int i);
};

}  // namespace plimsy
