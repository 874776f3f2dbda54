#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace plimsy {

class content_view_model_t;
class replay_t;
class session_recorder_t;

// The window's recording, replay and export, over the main screen's model:
// records the live session into the recordings folder, opens a capture and
// shows its replay in place of the live session (which is disconnected
// meanwhile), plays, pauses, changes speed, seeks, goes back to live, and
// exports the open capture's CSV tables.
//
// The main thread never waits for the disk: the recorder writes on a thread
// of its own; opening a capture (which reads it whole once for its
// duration), seeking (which replays up to the new position in a fresh
// engine) and exporting run on worker threads, and the main thread only
// swaps a ready engine in. The replay is driven from a timer in batches of
// a few milliseconds. A replay keeps its settings in memory: it never
// touches the user's settings.
class capture_view_model_t : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(CaptureModel)
    QML_UNCREATABLE("made by the main screen's model")

    // Recording.
    Q_PROPERTY(bool recording READ recording NOTIFY changed)
    Q_PROPERTY(bool can_record READ can_record NOTIFY changed)
    Q_PROPERTY(QString record_time READ record_time NOTIFY changed)  // "1:05"
    Q_PROPERTY(QString record_size READ record_size NOTIFY changed)  // "1.2 MB"
    Q_PROPERTY(QString record_file READ record_file NOTIFY changed)  // the file's name, once known
    // Replay.
    Q_PROPERTY(bool replaying READ replaying NOTIFY changed)
    Q_PROPERTY(QString replay_file READ replay_file NOTIFY changed)  // the file's name
    Q_PROPERTY(QString replay_path READ replay_path NOTIFY changed)
    Q_PROPERTY(bool playing READ playing NOTIFY changed)
    Q_PROPERTY(double position READ position NOTIFY changed)  // seconds since the capture's start
    Q_PROPERTY(double duration READ duration NOTIFY changed)
    Q_PROPERTY(QString position_text READ position_text NOTIFY changed)  // "0:12 / 1:00"
    Q_PROPERTY(QStringList speeds READ speeds CONSTANT)  // "1×" ... "max"
    Q_PROPERTY(int speed_index READ speed_index WRITE set_speed_index NOTIFY changed)
    // Long work (opening, seeking, exporting): what it is and how far.
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    Q_PROPERTY(QString busy_text READ busy_text NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)
    Q_PROPERTY(bool exporting READ exporting NOTIFY changed)
    // One message for the user: a recording that failed or ended, a file
    // that could not be opened, an export's outcome. Empty: none.
    Q_PROPERTY(QString message READ message NOTIFY changed)
    Q_PROPERTY(bool message_is_error READ message_is_error NOTIFY changed)
    // The file dialog's filters: captures first, then every file.
    Q_PROPERTY(QStringList file_filters READ file_filters CONSTANT)
    Q_PROPERTY(QUrl recordings_url READ recordings_url CONSTANT)
    // One text per control: its effect, then its key.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)

public:
    explicit capture_view_model_t(content_view_model_t& view, QObject* parent = nullptr);
    ~capture_view_model_t() override;

    static constexpr double speed_factors[] = {1, 2, 4, 16, 0};  // 0: as fast as possible

    bool recording() const;
    bool can_record() const { return !replaying() && !busy(); }
    QString record_time() const;
    QString record_size() const;
    QString record_file() const;
    // The recorder, while recording (tests read its file and counts).
    session_recorder_t* recorder() const { return recorder_.get(); }

    bool replaying() const { return engine_ != nullptr; }
    QString replay_file() const;
    QString replay_path() const { return replay_path_; }
    bool playing() const;
    double position() const;
    double duration() const;
    QString position_text() const;
    QStringList speeds() const;
    int speed_index() const { return speed_index_; }
    replay_t* engine() const { return engine_.get(); }

    bool busy() const { return job_ != nullptr; }
    QString busy_text() const { return busy_text_; }
    double progress() const;
    bool exporting() const { return busy() && job_kind_ == job_kind_t::exporting; }

    QString message() const { return message_; }
    bool message_is_error() const { return message_is_error_; }
    QStringList file_filters() const;
    QUrl recordings_url() const;
    QVariantMap tooltips() const;

    // "1:05", "1:02:03": a time as the toolbar shows it.
    static QString clock_text(double seconds);
    // "812 B", "1.2 kB", "34.5 MB".
    static QString size_text(std::uint64_t bytes);

public slots:
    // Starts recording the live session into the recordings folder; false
    // (with the message) while replaying or when it cannot start.
    bool start_recording();
    void stop_recording();
    void toggle_recording();
    // Opens the recordings folder in the desktop's file manager (made first
    // if there is none yet).
    void show_recordings();

    // A capture by path or URL (file dialog, dropped file, command line).
    // Replaces the live view, or the capture being replayed, once it has
    // been read; the live connection is paused meanwhile.
    void open(const QString& path_or_url);
    void open_url(const QUrl& url);
    // Whether a dropped URL is a local file (the drop area asks first).
    static bool is_local_file(const QUrl& url) { return url.isLocalFile(); }
    void play_pause();
    void set_speed_index(int index);
    // To `seconds` since the start: a short step forward at once, anything
    // else by a fresh engine made on a worker thread.
    void seek(double seconds);
    // Ends the replay and reconnects as configured (if the live session was
    // connected when the replay began).
    void back_to_live();
    // Writes the open capture's CSV tables into `folder` on a worker thread.
    void export_csv(const QString& folder_path_or_url);
    // Stops the long work under way (opening, seeking, exporting).
    void cancel();
    void dismiss_message();

signals:
    void changed();

private:
    enum class job_kind_t { opening, seeking, exporting };
    struct job_t;

    void start_job(job_kind_t kind, QString text, std::function<void(job_t&)> work,
                   std::function<void(job_t&)> done);
    void finish_job(const std::shared_ptr<job_t>& job);
    void swap_in(std::shared_ptr<replay_t> engine, bool play);
    void seek_to(double seconds, bool play);
    void drive();
    void say(const QString& text, bool error);
    void recording_failed(const QString& text);
    void apply_speed();

    content_view_model_t& view_;
    // Opening, seeking, exporting, making the recordings folder. The
    // destructor tells the work to stop and waits for it before any member
    // goes (what a worker posts back afterwards is dropped with this object).
    QThreadPool pool_;
    std::unique_ptr<session_recorder_t> recorder_;
    QString last_record_file_;

    std::shared_ptr<replay_t> engine_;
    QString replay_path_;
    bool resume_live_ = false;  // the live session was connected when the replay began
    int speed_index_ = 0;
    QTimer drive_timer_;
    QElapsedTimer wall_;

    std::shared_ptr<job_t> job_;
    job_kind_t job_kind_ = job_kind_t::opening;
    QString busy_text_;
    QTimer status_timer_;

    QString message_;
    bool message_is_error_ = false;
};

}  // namespace plimsy
