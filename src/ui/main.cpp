// The application entry: one window with one main screen. Everything else
// (settings, coordinator, sensors) is made by the main screen's model.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "model/device_model.hpp"
#include "qt/heap_trim.hpp"
#include "qt/quit_on_signals.hpp"
#include "ui/content_view_model.hpp"
#include "ui/frame_stats.hpp"
#include "ui/window.hpp"

Q_IMPORT_QML_PLUGIN(PlimsyPlugin)

namespace {

const char* const usage =
    "usage: plimsy_sensors [--simulate] [--board KIND] [--rate HZ]\n"
    "  --simulate     show a simulated board over a simulated Bluetooth radio\n"
    "  --board KIND   the simulated board: hmc5883, hmc5883n, gavrin3, plimsy91, gravity,\n"
    "                 compass, compass_bearing, compass_gravity (default), gyroscope\n"
    "  --rate HZ      lines per second of the simulated board (default 50)\n"
    "  --size WxH     the window's size in pixels (default 1024x800)\n"
    "  --screenshot FILE  write the window to FILE (PNG) after --seconds, then quit\n"
    "  --seconds S    quit after S seconds\n"
    "  --frame-stats  at exit, print one JSON line: frames per second, longest frame,\n"
    "                 CPU use and peak memory, measured after a 2-second warm-up\n"
    "Without --simulate the application connects with its saved settings over the\n"
    "host's Bluetooth or a TCP bridge.\n";

int bad_option(const std::string& message) {
    std::fprintf(stderr, "plimsy_sensors: %s\n%s", message.c_str(), usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    plimsy::content_options_t options;
    bool board_given = false;
    int width = 0, height = 0;
    double seconds = 0;
    QString screenshot;
    bool frame_stats = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == "--simulate") {
            options.simulate = true;
        } else if (a == "--board") {
            if (!has_value) return bad_option("--board needs a board kind");
            if (!plimsy::parse_device_model(argv[++i], options.board))
                return bad_option(std::string("unknown board kind \"") + argv[i] + "\"");
            board_given = true;
        } else if (a == "--rate") {
            if (!has_value) return bad_option("--rate needs a number of lines per second");
            char* end = nullptr;
            const double rate = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(rate > 0 && rate <= 100000))
                return bad_option(std::string("invalid rate \"") + argv[i] + "\" (1 to 100000)");
            options.rate = rate;
        } else if (a == "--size") {
            if (!has_value || std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 200 || height < 200 ||
                width > 8000 || height > 8000)
                return bad_option("--size needs WIDTHxHEIGHT, each 200 to 8000");
        } else if (a == "--screenshot") {
            if (!has_value) return bad_option("--screenshot needs a file name");
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--seconds") {
            if (!has_value) return bad_option("--seconds needs a number");
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(seconds > 0 && seconds < 1e6))
                return bad_option(std::string("invalid number of seconds \"") + argv[i] + "\"");
        } else if (a == "--frame-stats") {
            frame_stats = true;
        } else {
            return bad_option("unknown option \"" + a + "\"");
        }
    }
    if (board_given && !options.simulate) return bad_option("--board needs --simulate");

    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Plimsy"));
    QGuiApplication::setApplicationName(QStringLiteral("Plimsy_sensors"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Plimsy sensors"));
    QGuiApplication::setDesktopFileName(QStringLiteral("plimsy_sensors"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qt/qml/Plimsy/plimsy_sensors.svg")));
    plimsy::prepare_qml();
    // A session that ends or Ctrl-C quits like a closed window, so the
    // settings still on their way to the disk are written.
    plimsy::quit_on_termination_signals();
    plimsy::trim_heap_periodically();

    plimsy::content_view_model_t view(options);
    auto window = plimsy::make_window(view);
    if (!window) return 1;
    auto* quick = qobject_cast<QQuickWindow*>(window->rootObjects().first());
    if (quick && width > 0) quick->resize(width, height);
    std::unique_ptr<plimsy::frame_stats_t> stats;
    if (frame_stats && quick) stats = std::make_unique<plimsy::frame_stats_t>(*quick, view);
    if (!screenshot.isEmpty() && seconds <= 0) seconds = 3;
    if (seconds > 0) {
        QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
            if (!screenshot.isEmpty() && quick) {
                const QImage image = quick->grabWindow();
                if (image.isNull() || !image.save(screenshot)) {
                    std::fprintf(stderr, "plimsy_sensors: could not write %s\n", qPrintable(screenshot));
                    QGuiApplication::exit(1);
                    return;
                }
            }
            QGuiApplication::quit();
        });
    }
    const int status = QGuiApplication::exec();
    if (stats) stats->print();
    return status;
}
