#pragma once

#include <QQmlApplicationEngine>
#include <memory>

namespace plimsy {

class content_view_model_t;

// Style and import path; call once after the QGuiApplication exists and
// before the first window.
void prepare_qml();

// Loads the main window for a main-screen model. Null (with the QML errors
// on standard error) when the window cannot be built.
std::unique_ptr<QQmlApplicationEngine> make_window(content_view_model_t& view);

}  // namespace plimsy
