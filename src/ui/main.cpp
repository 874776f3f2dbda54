// The application entry: one window with one main screen. Everything else
// (settings, coordinator, sensors) is made by the main screen's model.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/device_model.hpp"
#include "ui/content_view_model.hpp"
#include "ui/trace_plot_item.hpp"
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

double steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// How smoothly the window runs under load: the spacing of the frames as
// they are handed to the screen, how long each frame took to synchronise,
// render and present (the frame rate the window could reach if content
// changed more often), the process's CPU time and its peak memory.
// Start-up (QML compilation, the first connection) is left out by a
// warm-up, so the figures describe the steady state.
class frame_stats_t {
public:
    static constexpr double warm_up = 2.0;

    frame_stats_t(QQuickWindow& window, plimsy::content_view_model_t& view) : view_(view) {
        // frameSwapped comes from the render thread when there is one.
        QObject::connect(
            &window, &QQuickWindow::beforeSynchronizing, &window,
            [this] { sync_start_.store(steady_seconds()); }, Qt::DirectConnection);
        QObject::connect(
            &window, &QQuickWindow::frameSwapped, &window, [this] { frame(); }, Qt::DirectConnection);
        work_.reserve(1 << 16);
        QTimer::singleShot(static_cast<int>(warm_up * 1000), &window, [this] { begin(); });
    }

    void print() {
        const double wall = steady_seconds() - start_wall_;
        const double cpu = cpu_seconds() - start_cpu_;
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        std::lock_guard lock(mutex_);
        const double span = last_ - first_;
        std::sort(work_.begin(), work_.end());
        auto work = [&](double q) {
            return work_.empty() ? 0.0 : 1000 * work_[static_cast<std::size_t>(q * static_cast<double>(work_.size() - 1))];
        };
        std::printf(
            "{\"frames\":%llu,\"seconds\":%.3f,\"fps\":%.2f,\"longest_frame_ms\":%.2f,"
            "\"frames_over_25ms\":%llu,\"frames_over_33ms\":%llu,\"frame_work_p50_ms\":%.2f,"
            "\"frame_work_p99_ms\":%.2f,\"frame_work_max_ms\":%.2f,\"plot_rebuilds\":%llu,"
            "\"lines\":%llu,\"lines_per_second\":%.1f,\"cpu_seconds\":%.3f,\"cpu_percent\":%.1f,"
            "\"max_rss_mb\":%.1f}\n",
            static_cast<unsigned long long>(frames_), span, span > 0 ? static_cast<double>(frames_ - 1) / span : 0.0,
            longest_ * 1000, static_cast<unsigned long long>(over_25_), static_cast<unsigned long long>(over_33_),
            work(0.5), work(0.99), work(1.0),
            static_cast<unsigned long long>(plimsy::trace_plot_item_t::rebuilds() - start_rebuilds_),
            static_cast<unsigned long long>(view_.cnc().msg_count - start_lines_),
            wall > 0 ? static_cast<double>(view_.cnc().msg_count - start_lines_) / wall : 0.0, cpu,
            wall > 0 ? 100 * cpu / wall : 0.0, static_cast<double>(u.ru_maxrss) / 1024.0);
        std::fflush(stdout);
    }

private:
    // On the main thread, between two frames.
    void begin() {
        start_wall_ = steady_seconds();
        start_cpu_ = cpu_seconds();
        start_lines_ = view_.cnc().msg_count;
        start_rebuilds_ = plimsy::trace_plot_item_t::rebuilds();
        measuring_.store(true);
    }

    void frame() {
        if (!measuring_.load()) return;
        const double now = steady_seconds();
        const double started = sync_start_.load();
        std::lock_guard lock(mutex_);
        if (started > 0 && now >= started) work_.push_back(now - started);
        if (frames_ == 0) {
            // The first frame after the warm-up only starts the clock: an
            // interval needs a frame on either side.
            first_ = last_ = now;
            frames_ = 1;
            return;
        }
        const double gap = now - last_;
        if (gap > longest_) longest_ = gap;
        if (gap > 0.025) ++over_25_;
        if (gap > 0.0335) ++over_33_;
        last_ = now;
        ++frames_;
    }

    plimsy::content_view_model_t& view_;
    std::atomic<bool> measuring_{false};
    std::atomic<double> sync_start_{0};
    double start_wall_ = 0;
    double start_cpu_ = 0;
    std::uint64_t start_lines_ = 0;
    std::uint64_t start_rebuilds_ = 0;
    std::mutex mutex_;
    std::uint64_t frames_ = 0;
    double first_ = 0;
    double last_ = 0;
    double longest_ = 0;
    std::uint64_t over_25_ = 0;
    std::uint64_t over_33_ = 0;
    std::vector<double> work_;
};

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

    plimsy::content_view_model_t view(options);
    auto window = plimsy::make_window(view);
    if (!window) return 1;
    auto* quick = qobject_cast<QQuickWindow*>(window->rootObjects().first());
    if (quick && width > 0) quick->resize(width, height);
    std::unique_ptr<frame_stats_t> stats;
    if (frame_stats && quick) stats = std::make_unique<frame_stats_t>(*quick, view);
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
