// The trace plot on screen with four series: the plot, its legend and its
// buttons in a window of their own, fed by a simulated compass board whose
// every line carries a heading and a gravity vector, so the plot holds
// 2,000 points in each of four series (heading, gravity x, y and z) and
// scrolls with every frame. The main screen shows the plot only under the
// gyroscope panel, where a board gives three series; this window shows
// what the plot does with the most series any board gives it.
//
//     bench_plot_window [--rate HZ] [--seconds S] [--size WxH] [--screenshot FILE]
//
// At exit it prints the same JSON line as the application's --frame-stats.
// bench/ui_load.py runs it next to the application.

#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/content_view_model.hpp"
#include "ui/frame_stats.hpp"
#include "ui/window.hpp"

Q_IMPORT_QML_PLUGIN(PlimsyPlugin)

namespace {

const char* const usage =
    "usage: bench_plot_window [--rate HZ] [--seconds S] [--size WxH] [--screenshot FILE]\n"
    "  --rate HZ          lines per second of the simulated compass board (default 1000)\n"
    "  --seconds S        quit after S seconds (default 32)\n"
    "  --size WxH         the window's size in pixels (default 1024x400)\n"
    "  --screenshot FILE  write the window to FILE (PNG) before quitting\n";

const char* const window_qml = R"(
import QtQuick
import Plimsy

Window {
    id: root
    property ContentViewModel view
    visible: true
    color: Theme.systemBackground
    title: "Trace plot, four series"

    GyroscopePanel {
        anchors.fill: parent
        anchors.margins: 8
        view: root.view
    }
}
)";

int bad_option(const std::string& message) {
    std::fprintf(stderr, "bench_plot_window: %s\n%s", message.c_str(), usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    plimsy::content_options_t options;
    options.simulate = true;
    options.board = plimsy::device_model_t::compass_gravity;
    options.rate = 1000;
    double seconds = 32;
    int width = 1024, height = 400;
    QString screenshot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        char* end = nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == "--rate" && has_value) {
            options.rate = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(options.rate > 0 && options.rate <= 100000))
                return bad_option("--rate needs a number from 1 to 100000");
        } else if (a == "--seconds" && has_value) {
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(seconds > plimsy::frame_stats_t::warm_up && seconds < 1e6))
                return bad_option("--seconds needs a number above the 2-second warm-up");
        } else if (a == "--size" && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 200 || height < 200 ||
                width > 8000 || height > 8000)
                return bad_option("--size needs WIDTHxHEIGHT, each 200 to 8000");
        } else if (a == "--screenshot" && has_value) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else {
            return bad_option("unknown option or missing value \"" + a + "\"");
        }
    }

    QGuiApplication app(argc, argv);
    plimsy::prepare_qml();
    plimsy::content_view_model_t view(options);
    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.setInitialProperties({{QStringLiteral("view"), QVariant::fromValue(&view)}});
    engine.loadData(window_qml);
    auto* window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window) return 1;
    window->resize(width, height);
    plimsy::frame_stats_t stats(*window, view);
    int status = 0;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        if (!screenshot.isEmpty() && !window->grabWindow().save(screenshot)) {
            std::fprintf(stderr, "bench_plot_window: could not write %s\n", qPrintable(screenshot));
            status = 1;
        }
        QGuiApplication::quit();
    });
    QGuiApplication::exec();
    stats.print();
    return status;
}
