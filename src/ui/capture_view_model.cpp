#include "ui/capture_view_model.hpp"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <system_error>

#include "session/capture_export.hpp"
#include "session/recorder.hpp"
#include "session/replay.hpp"
#include "ui/content_view_model.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

// One piece of long work on a worker thread. The worker fills it; the main
// thread reads it once the worker has posted its end (or drops it when a
// newer job has taken its place).
struct capture_view_model_t::job_t {
    std::atomic<double> progress{0};
    std::atomic<bool> cancel{false};
    std::string error;
    std::shared_ptr<replay_t> engine;
    csv_export_t exported;
    bool ok = false;
    std::function<void(job_t&)> done;

    replay_progress_t reporter() {
        return [this](double fraction) {
            progress.store(fraction, std::memory_order_relaxed);
            return !cancel.load(std::memory_order_relaxed);
        };
    }
};

namespace {

std::filesystem::path local_path(const QString& path_or_url) {
    const QUrl url(path_or_url);
    const QString path = url.isLocalFile() ? url.toLocalFile() : path_or_url;
    return std::filesystem::path(path.toStdString());
}

QString file_name(const std::filesystem::path& p) { return QString::fromStdString(p.filename().string()); }

}  // namespace

capture_view_model_t::capture_view_model_t(content_view_model_t& view, QObject* parent)
    : QObject(parent), view_(view) {
    // Opening, seeking and exporting each take one worker; a second lets a
    // folder be made for "Show recordings" meanwhile.
    pool_.setMaxThreadCount(2);
    // A frame's worth of replay per tick; the engine bounds the work itself.
    drive_timer_.setInterval(16);
    connect(&drive_timer_, &QTimer::timeout, this, &capture_view_model_t::drive);
    // The recording's time and size, and the progress of long work.
    status_timer_.setInterval(250);
    connect(&status_timer_, &QTimer::timeout, this, [this] {
        if (!recording() && !busy()) status_timer_.stop();
        emit changed();
    });
}

capture_view_model_t::~capture_view_model_t() {
    drive_timer_.stop();
    status_timer_.stop();
    if (job_) job_->cancel = true;
    // Workers stop at their next progress report; what they post back is
    // dropped with this object. The recorder ends its file in the
    // background.
    pool_.waitForDone();
    recorder_.reset();
    if (engine_) view_.show_session(nullptr);
    engine_.reset();
}

// ---- Recording -------------------------------------------------------------

bool capture_view_model_t::recording() const { return recorder_ && recorder_->recording(); }

QString capture_view_model_t::record_time() const {
    return recorder_ ? clock_text(recorder_->elapsed_seconds()) : QString();
}

QString capture_view_model_t::record_size() const {
    return recorder_ ? size_text(recorder_->bytes_on_disk()) : QString();
}

QString capture_view_model_t::record_file() const {
    if (!recorder_) return last_record_file_;
    return file_name(recorder_->path());
}

bool capture_view_model_t::start_recording() {
    if (recording()) return true;
    if (replaying()) {
        say(QStringLiteral("A replay is open: go back to live to record."), true);
        return false;
    }
    view_.tick();
    recorder_ = std::make_unique<session_recorder_t>(view_.session());
    // The recorder calls this on the main thread and has stopped by then;
    // it is let go after its call has returned.
    recorder_->on_error = [this, r = recorder_.get()](const std::string& text) {
        QMetaObject::invokeMethod(
            this,
            [this, r, t = QString::fromStdString(text)] {
                if (recorder_.get() == r) recording_failed(t);
            },
            Qt::QueuedConnection);
    };
    if (recorder_->failed()) {
        recording_failed(QString::fromStdString(recorder_->error()));
        return false;
    }
    message_.clear();
    status_timer_.start();
    emit changed();
    return true;
}

void capture_view_model_t::stop_recording() {
    if (!recorder_) return;
    view_.tick();
    const double seconds = recorder_->elapsed_seconds();
    recorder_->stop();
    last_record_file_ = file_name(recorder_->path());
    // The recorder's file is ended by a thread of its own: letting it go
    // here never waits.
    recorder_.reset();
    say(QStringLiteral("Recorded %1 into %2 (\"Show recordings\" opens the folder).")
            .arg(clock_text(seconds), last_record_file_.isEmpty() ? QStringLiteral("the recordings folder")
                                                                  : last_record_file_),
        false);
}

void capture_view_model_t::toggle_recording() {
    if (recording())
        stop_recording();
    else
        start_recording();
}

void capture_view_model_t::recording_failed(const QString& text) {
    if (recorder_) last_record_file_ = file_name(recorder_->path());
    recorder_.reset();
    say(QStringLiteral("Recording stopped: %1. The live view goes on; free some space or check the folder's "
                       "permissions, then record again.")
            .arg(text),
        true);
}

QUrl capture_view_model_t::recordings_url() const {
    return QUrl::fromLocalFile(QString::fromStdString(recordings_folder().string()));
}

void capture_view_model_t::show_recordings() {
    const std::filesystem::path dir = recordings_folder();
    // Made on a worker: even a mkdir may wait for a slow or remote disk.
    pool_.start([this, dir] {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        const QString error = ec ? QString::fromStdString(ec.message()) : QString();
        QMetaObject::invokeMethod(
            this,
            [this, dir, error] {
                const QString where = QString::fromStdString(dir.string());
                if (!error.isEmpty())
                    say(QStringLiteral("Cannot make %1: %2").arg(where, error), true);
                else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(where)))
                    say(QStringLiteral("No file manager opened %1; the recordings are there.").arg(where), true);
            },
            Qt::QueuedConnection);
    });
}

// ---- Replay ----------------------------------------------------------------

QString capture_view_model_t::replay_file() const {
    return replay_path_.isEmpty() ? QString() : QFileInfo(replay_path_).fileName();
}
bool capture_view_model_t::playing() const { return engine_ && engine_->playing(); }
double capture_view_model_t::position() const { return engine_ ? engine_->position() : 0.0; }
double capture_view_model_t::duration() const { return engine_ ? engine_->duration() : 0.0; }

QString capture_view_model_t::position_text() const {
    if (!engine_) return {};
    return clock_text(engine_->position()) + QStringLiteral(" / ") + clock_text(engine_->duration());
}

QStringList capture_view_model_t::speeds() const {
    return {QStringLiteral("1×"), QStringLiteral("2×"), QStringLiteral("4×"), QStringLiteral("16×"),
            QStringLiteral("max")};
}

QStringList capture_view_model_t::file_filters() const {
    return {QStringLiteral("Captures (*.plimsy.jsonl.zst *.plimsy.jsonl *.jsonl *.zst)"),
            QStringLiteral("All files (*)")};
}

void capture_view_model_t::open_url(const QUrl& url) { open(url.isLocalFile() ? url.toLocalFile() : url.toString()); }

void capture_view_model_t::open(const QString& path_or_url) {
    const std::filesystem::path path = local_path(path_or_url);
    if (path.empty()) return;
    // A newer choice wins over a capture still being read or a seek.
    if (job_ && job_kind_ != job_kind_t::exporting) cancel();
    if (busy()) {
        say(QStringLiteral("An export is running: cancel it or wait, then open the capture."), true);
        return;
    }
    console_t* console = &view_.session().console();
    const QString name = file_name(path);
    start_job(
        job_kind_t::opening, QStringLiteral("Opening %1…").arg(name),
        [path, console](job_t& job) {
            replay_options_t o;
            o.console = console;
            o.on_message = [console](const std::string& text) { console->line("replay: " + text); };
            job.engine = replay_t::open(path, job.error, o, job.reporter());
        },
        [this, path, name](job_t& job) {
            if (!job.engine) {
                if (!job.cancel)
                    say(QStringLiteral("Cannot open %1: %2").arg(name, QString::fromStdString(job.error)), true);
                // A window that was to open on this capture goes live instead.
                if (!replaying() && view_.take_deferred_connect()) view_.connect_from_config();
                return;
            }
            if (!replaying()) {
                // The live connection pauses while a capture replays, and
                // comes back as it was afterwards.
                if (recorder_) stop_recording();
                resume_live_ = view_.session().links_wanted() || view_.take_deferred_connect();
                view_.session().disconnect();
            }
            replay_path_ = QString::fromStdString(path.string());
            swap_in(job.engine, true);
            if (!job.engine->error().empty())
                say(QStringLiteral("%1 is damaged: %2. It replays up to there.")
                        .arg(name, QString::fromStdString(job.engine->error())),
                    true);
        });
}

void capture_view_model_t::swap_in(std::shared_ptr<replay_t> engine, bool play) {
    std::shared_ptr<replay_t> old = std::move(engine_);
    engine_ = std::move(engine);
    view_.show_session(&engine_->session());
    apply_speed();
    if (play) engine_->play();
    wall_.restart();
    if (engine_->playing())
        drive_timer_.start();
    else
        drive_timer_.stop();
    // The old engine goes once the window no longer shows its session.
    old.reset();
    emit changed();
}

void capture_view_model_t::apply_speed() {
    if (!engine_) return;
    const double f = speed_factors[speed_index_];
    engine_->set_speed(f > 0 ? f : replay_t::max_speed);
}

void capture_view_model_t::drive() {
    if (!engine_ || !engine_->playing()) {
        drive_timer_.stop();
        emit changed();
        return;
    }
    // A stalled main thread does not make the replay jump: at most a
    // quarter of a second of capture time per tick at 1×.
    const double wall = std::min(0.25, static_cast<double>(wall_.nsecsElapsed()) * 1e-9);
    wall_.restart();
    // As fast as possible still leaves the window half of each frame.
    const double budget = speed_factors[speed_index_] > 0 ? 0.004 : 0.008;
    engine_->advance(wall, budget);
    emit changed();
}

void capture_view_model_t::play_pause() {
    if (!engine_ || (busy() && job_kind_ != job_kind_t::exporting)) return;
    view_.tick();
    if (engine_->playing()) {
        engine_->pause();
        drive_timer_.stop();
    } else if (engine_->at_end()) {
        // From the top: a fresh engine, made off the main thread.
        seek_to(0, true);
        return;
    } else {
        engine_->play();
        wall_.restart();
        drive_timer_.start();
    }
    emit changed();
}

void capture_view_model_t::set_speed_index(int index) {
    index = std::clamp(index, 0, static_cast<int>(std::size(speed_factors)) - 1);
    if (index == speed_index_) return;
    speed_index_ = index;
    apply_speed();
    emit changed();
}

// Playing or paused, the replay stays so after a seek; from the end it
// waits at the new position for "Play".
void capture_view_model_t::seek(double seconds) {
    if (engine_) seek_to(seconds, engine_->playing());
}

void capture_view_model_t::seek_to(double seconds, bool play) {
    if (!engine_ || std::isnan(seconds)) return;
    if (busy() && job_kind_ != job_kind_t::seeking) return;
    const double t = std::clamp(seconds, 0.0, engine_->duration());
    // A short step forward costs less than a frame: done here.
    if (!busy() && !engine_->at_end() && t >= engine_->position() && t - engine_->position() <= 2.0) {
        engine_->seek(t);
        emit changed();
        return;
    }
    // Anything else replays from the start into a fresh engine on a worker
    // while this one goes on; a newer seek replaces one under way.
    if (job_) job_->cancel = true;
    job_.reset();
    std::shared_ptr<replay_t> from = engine_;
    const double f = speed_factors[speed_index_];
    const double speed = f > 0 ? f : replay_t::max_speed;
    start_job(
        job_kind_t::seeking, QStringLiteral("Seeking to %1…").arg(clock_text(t)),
        [from, t, speed](job_t& job) { job.engine = from->seek_copy(t, job.error, job.reporter(), speed); },
        [this, play](job_t& job) {
            if (!job.engine) {
                if (!job.cancel) say(QStringLiteral("Cannot seek: %1").arg(QString::fromStdString(job.error)), true);
                return;
            }
            if (replaying()) swap_in(job.engine, play);
        });
}

void capture_view_model_t::back_to_live() {
    if (!engine_) return;
    view_.tick();
    if (job_ && job_kind_ != job_kind_t::exporting) cancel();
    drive_timer_.stop();
    view_.show_session(nullptr);
    engine_.reset();
    replay_path_.clear();
    if (resume_live_) view_.connect_from_config();
    resume_live_ = false;
    emit changed();
}

// ---- Export ----------------------------------------------------------------

void capture_view_model_t::export_csv(const QString& folder_path_or_url) {
    if (replay_path_.isEmpty() || busy()) return;
    const std::filesystem::path dir = local_path(folder_path_or_url);
    if (dir.empty()) return;
    const std::filesystem::path capture = replay_path_.toStdString();
    console_t* console = &view_.session().console();
    const QString where = QString::fromStdString(dir.string());
    start_job(
        job_kind_t::exporting, QStringLiteral("Exporting CSV tables…"),
        [capture, dir, console](job_t& job) {
            job.ok = export_capture_csv(
                capture, dir, job.error, job.reporter(),
                [console](const std::string& text) { console->line("export: " + text); }, &job.exported);
        },
        [this, where](job_t& job) {
            if (job.ok)
                say(QStringLiteral("Exported %1 lines (%2 of capture) as CSV tables into %3.")
                        .arg(job.exported.lines)
                        .arg(clock_text(job.exported.seconds), where),
                    false);
            else if (job.cancel)
                say(QStringLiteral("Export cancelled: the tables in %1 end where it stopped.").arg(where), true);
            else
                say(QStringLiteral("Export failed: %1").arg(QString::fromStdString(job.error)), true);
        });
}

// ---- Long work -------------------------------------------------------------

double capture_view_model_t::progress() const {
    return job_ ? std::clamp(job_->progress.load(std::memory_order_relaxed), 0.0, 1.0) : 0.0;
}

void capture_view_model_t::start_job(job_kind_t kind, QString text, std::function<void(job_t&)> work,
                                     std::function<void(job_t&)> done) {
    auto job = std::make_shared<job_t>();
    job->done = std::move(done);
    job_ = job;
    job_kind_ = kind;
    busy_text_ = std::move(text);
    pool_.start([this, job, work = std::move(work)] {
        work(*job);
        QMetaObject::invokeMethod(this, [this, job] { finish_job(job); }, Qt::QueuedConnection);
    });
    status_timer_.start();
    emit changed();
}

void capture_view_model_t::finish_job(const std::shared_ptr<job_t>& job) {
    // A job that was replaced (a newer seek, a newer file) is dropped with
    // what it made; the engine it holds is let go here, on the main thread.
    const bool current = job == job_;
    if (current) job_.reset();
    if (current) job->done(*job);
    job->engine.reset();
    emit changed();
}

void capture_view_model_t::cancel() {
    if (!job_) return;
    job_->cancel = true;
    // The export's end still reports (where the tables stop); opening and
    // seeking leave things as they were.
    if (job_kind_ != job_kind_t::exporting) job_.reset();
    emit changed();
}

QVariantMap capture_view_model_t::tooltips() const {
    return {
        {QStringLiteral("record"),
         recording() ? tooltip_text("Stops recording; the file stays in the recordings folder", "Ctrl+Shift+R")
                     : tooltip_text("Records what the board sends and receives into the recordings folder",
                                    "Ctrl+Shift+R")},
        {QStringLiteral("captures"), tooltip_text("Opens a recording, the recordings folder, or exports CSV")},
        {QStringLiteral("play"), playing() ? tooltip_text("Pauses the replay", "Space")
                                           : tooltip_text("Plays the replay from here", "Space")},
        {QStringLiteral("speed"), tooltip_text("How fast the capture plays; \"max\" as fast as the machine can")},
        {QStringLiteral("timeline"), tooltip_text("Drag or click to go to another moment of the capture")},
        {QStringLiteral("export"), tooltip_text("Writes the capture's CSV tables into a folder")},
        {QStringLiteral("live"), tooltip_text("Ends the replay and reconnects as configured")},
        {QStringLiteral("cancel"), tooltip_text("Stops this; nothing else changes")},
    };
}

// ---- Messages --------------------------------------------------------------

void capture_view_model_t::say(const QString& text, bool error) {
    message_ = text;
    message_is_error_ = error;
    if (error) view_.session().console().line(text.toStdString());
    emit changed();
}

void capture_view_model_t::dismiss_message() {
    message_.clear();
    emit changed();
}

QString capture_view_model_t::clock_text(double seconds) {
    if (!(seconds > 0)) seconds = 0;
    const auto s = static_cast<long long>(std::floor(seconds));
    const long long h = s / 3600, m = (s / 60) % 60, sec = s % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(sec, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(sec, 2, 10, QLatin1Char('0'));
}

QString capture_view_model_t::size_text(std::uint64_t bytes) {
    if (bytes < 1000) return QStringLiteral("%1 B").arg(bytes);
    const double b = static_cast<double>(bytes);
    if (bytes < 1000 * 1000) return QStringLiteral("%1 kB").arg(b / 1e3, 0, 'f', 1);
    if (bytes < 1000ull * 1000 * 1000) return QStringLiteral("%1 MB").arg(b / 1e6, 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(b / 1e9, 0, 'f', 2);
}

}  // namespace plimsy
