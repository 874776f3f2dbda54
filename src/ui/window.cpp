#include "ui/window.hpp"

#include <QQuickStyle>
#include <QUrl>
#include <QVariantMap>

#include "ui/content_view_model.hpp"

namespace plimsy {

void prepare_qml() {
    // The Basic style draws the same on every desktop and honours the
    // colours the views give it.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
}

std::unique_ptr<QQmlApplicationEngine> make_window(content_view_model_t& view) {
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine->setInitialProperties({{QStringLiteral("view"), QVariant::fromValue(&view)}});
    engine->load(QUrl(QStringLiteral("qrc:/qt/qml/Plimsy/Main.qml")));
    if (engine->rootObjects().isEmpty()) return nullptr;
    return engine;
}

}  // namespace plimsy
