#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/content_view_model.hpp"

namespace plimsy {

// The base of every panel's view model. A panel's QML sets `view` to the
// main screen's model; from then on `changed` follows the main screen's
// coalesced change signal, so every property of a panel model can use it as
// its NOTIFY. Panel models compute texts, fractions and colours on each read.
class panel_model_t : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PanelModel)
    Q_PROPERTY(plimsy::content_view_model_t* view READ view WRITE set_view NOTIFY view_changed)

public:
    explicit panel_model_t(QObject* parent = nullptr) : QObject(parent) {}

    content_view_model_t* view() const { return view_; }
    void set_view(content_view_model_t* view) {
        if (view == view_) return;
        QObject::disconnect(connection_);
        view_ = view;
        if (view_) connection_ = connect(view_, &content_view_model_t::changed, this, &panel_model_t::changed);
        emit view_changed();
        emit changed();
    }

public slots:
    // A board command ("C\n"), sent as the panels' buttons send it.
    void send(const QString& text) {
        if (view_) view_->send(text);
    }
    // A board command by name ("calibrate"), as QML's buttons and keys send
    // them: the bytes are in model/board_commands.hpp only.
    void command(const QString& name) {
        if (view_) view_->command(name);
    }

signals:
    void view_changed();
    void changed();

protected:
    // Null until QML has set the view.
    sensors_t* sensors() const { return view_ ? &view_->sensors() : nullptr; }

private:
    content_view_model_t* view_ = nullptr;
    QMetaObject::Connection connection_;
};

}  // namespace plimsy
