// The application entry: one window with one main screen. Everything else
// (settings, coordinator, sensors) is made by the main screen's model.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QQuickWindow>
#include <QStringList>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "capture/capture_file.hpp"
#include "model/device_model.hpp"
#include "mqtt/mqtt_client.hpp"
#include "qt/heap_trim.hpp"
#include "qt/quit_on_signals.hpp"
#include "ui/capture_view_model.hpp"
#include "ui/content_view_model.hpp"
#include "ui/frame_stats.hpp"
#include "ui/window.hpp"

Q_IMPORT_QML_PLUGIN(PlimsyPlugin)

namespace {

struct app_options_t {
    plimsy::content_options_t content;
    int width = 0, height = 0;
    double seconds = 0;
    QString screenshot;
    bool frame_stats = false;
    bool record = false;
    QString capture;  // a capture to replay
};

// The options as QCommandLineParser knows them; help is handled here, not
// by the parser, so that it prints without a display (no QGuiApplication
// yet) and a bad option exits with status 2, as the CLI's do.
class options_parser_t {
public:
    options_parser_t() {
        parser_.setApplicationDescription(QStringLiteral(
            "A live dashboard for a Plimsy sensor board. Without --simulate it connects with its saved\n"
            "settings over the host's Bluetooth, a TCP bridge or a serial port. Given a capture FILE\n"
            "(a recording), it replays it instead, with the live connection paused."));
        parser_.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A capture to replay."),
                                      QStringLiteral("[file]"));
        parser_.addOptions({
            {{"h", "help"}, "Print this summary of the options and exit."},
            {"simulate", "Show a simulated board over a simulated Bluetooth radio."},
            {"board",
             "The simulated board: hmc5883, hmc5883n, gavrin3, plimsy91, gravity, compass, compass_bearing, "
             "compass_gravity (default), gyroscope.",
             "kind"},
            {"rate", "Lines per second of the simulated board, 1 to 100000 (default 50).", "hz"},
            {"size", "The window's size in pixels, each 200 to 8000 (default 1024x800).", "WxH"},
            {"screenshot", "Write the window to FILE (PNG) after --seconds (3 if not given), then quit.", "file"},
            {"seconds", "Quit after S seconds.", "s"},
            {"record", "Start recording the live session at once (into the recordings folder)."},
            {"frame-stats",
             "At exit, print one JSON line: frames per second, longest frame, CPU use and peak memory, "
             "measured after a 2-second warm-up."},
        });
    }

    // The usage text, named after the program even before Qt knows its name.
    QString help() const {
        QString text = parser_.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("plimsy_sensors"));
        return text;
    }

    // 0 to go on; otherwise the exit status (help printed, or a bad option
    // reported on standard error).
    int parse(int argc, char** argv, app_options_t& o) {
        QStringList arguments;
        for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
        if (!parser_.parse(arguments)) return bad(parser_.errorText());
        const QStringList files = parser_.positionalArguments();
        if (files.size() > 1) return bad(QStringLiteral("one capture at a time, not \"%1\"").arg(files[1]));
        if (parser_.isSet("help")) {
            std::fputs(qPrintable(help()), stdout);
            return -1;
        }
        o.content.simulate = parser_.isSet("simulate");
        o.frame_stats = parser_.isSet("frame-stats");
        o.record = parser_.isSet("record");
        if (!files.isEmpty()) o.capture = files.first();
        // A window opened on a capture connects when the user goes live.
        o.content.connect = o.capture.isEmpty();
        if (o.record && !o.capture.isEmpty()) return bad(QStringLiteral("--record records the live session, not a replay"));
        if (parser_.isSet("board")) {
            const QString kind = parser_.value("board");
            if (!plimsy::parse_device_model(kind.toStdString(), o.content.board))
                return bad(QStringLiteral("unknown board kind \"%1\"").arg(kind));
            if (!o.content.simulate) return bad(QStringLiteral("--board needs --simulate"));
        }
        if (parser_.isSet("rate")) {
            const QString text = parser_.value("rate");
            double rate = 0;
            if (!number(text, rate) || !(rate > 0 && rate <= 100000))
                return bad(QStringLiteral("invalid rate \"%1\" (1 to 100000)").arg(text));
            o.content.rate = rate;
        }
        if (parser_.isSet("size")) {
            const QStringList wh = parser_.value("size").split(QLatin1Char('x'));
            bool ok_w = false, ok_h = false;
            if (wh.size() == 2) {
                o.width = wh[0].toInt(&ok_w);
                o.height = wh[1].toInt(&ok_h);
            }
            if (!ok_w || !ok_h || o.width < 200 || o.height < 200 || o.width > 8000 || o.height > 8000)
                return bad(QStringLiteral("--size needs WIDTHxHEIGHT, each 200 to 8000"));
        }
        if (parser_.isSet("screenshot")) o.screenshot = parser_.value("screenshot");
        if (parser_.isSet("seconds")) {
            const QString text = parser_.value("seconds");
            if (!number(text, o.seconds) || !(o.seconds > 0 && o.seconds < 1e6))
                return bad(QStringLiteral("invalid number of seconds \"%1\"").arg(text));
        }
        return 0;
    }

private:
    static bool number(const QString& text, double& out) {
        const std::string s = text.toStdString();
        char* end = nullptr;
        out = std::strtod(s.c_str(), &end);
        return !s.empty() && end == s.c_str() + s.size();
    }

    int bad(const QString& message) const {
        std::fprintf(stderr, "plimsy_sensors: %s\n%s", qPrintable(message), qPrintable(help()));
        return 2;
    }

    QCommandLineParser parser_;
};

}  // namespace

int main(int argc, char** argv) {
    app_options_t o;
    {
        options_parser_t parser;
        if (const int status = parser.parse(argc, argv, o)) return status < 0 ? 0 : status;
    }
    plimsy::content_options_t& options = o.content;
    const int width = o.width, height = o.height;
    double seconds = o.seconds;
    const QString& screenshot = o.screenshot;
    const bool frame_stats = o.frame_stats;

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
    // The capture is read on a worker; the window shows live until it is.
    if (!o.capture.isEmpty()) view.capture()->open(o.capture);
    if (o.record) view.capture()->start_recording();
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
    // A recording still running is ended, and its last second reaches the
    // disk before the process goes (the window is closed by now).
    view.capture()->stop_recording();
    if (!plimsy::wait_for_background_closes(10))
        std::fprintf(stderr, "plimsy_sensors: the recording's file is still being written; its last second may be lost\n");
    // A broker's client says goodbye on a thread of its own; let it finish
    // before the process ends under it.
    view.session().disconnect();
    (void)plimsy::wait_for_mqtt_closes(3);
    return status;
}
