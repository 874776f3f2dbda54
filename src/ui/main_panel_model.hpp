#pragma once

#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"

namespace plimsy {

// The main screen's own buttons (toolbar and log): what each one does, since
// an icon, a status text and a title give no hint that they act.
class main_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(MainPanelModel)
    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;
};

}  // namespace plimsy
