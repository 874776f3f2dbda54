// Recording and replay in the window: the panels' local actions reach the
// session's taps (so a recording keeps them), and what the toolbar offers
// while recording and replaying.
#include <QDesktopServices>
#include <QMimeData>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQuickItem>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.hpp"
#include "capture/capture_file.hpp"
#include "qt/qt_settings_store.hpp"
#include "session/recorder.hpp"
#include "session/replay.hpp"
#include "session/session.hpp"
#include "ui/capture_view_model.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

// What a recorder would see: the actions by name with their argument as
// the capture writes it.
struct action_tap_t : session_tap_t {
    void board_rx(std::span<const std::uint8_t>) override {}
    void board_tx(std::span<const std::uint8_t> bytes) override { tx.append(bytes.begin(), bytes.end()); }
    void local_action(std::string_view name, const capture_arg_t& arg) override {
        std::string line;
        append_capture_action(line, 0, name, arg);
        actions.push_back(line.substr(line.find("\"action\"")));
    }
    std::vector<std::string> actions;
    std::string tx;
};

TEST(record_replay, panel_actions_reach_the_session_taps) {
    {
        ui_fixture_t f{no_board{}};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        f.receive(R"(hmc5883={"x":100,"y":-50,"z":300})");
        ASSERT_TRUE(f.visible("hmcSaveButton"));
        for (const char* button : {"hmcSaveButton", "hmcLoadButton", "hmcStepButton", "hmcCompensateButton",
                                   "hmcModeButton", "hmcResetGyroButton"})
            ASSERT_TRUE(f.click(button)) << button;
        f.key(Qt::Key_C);  // the compensate switch back on, by its key
        EXPECT_EQ(tap.actions, (std::vector<std::string>{
                                   R"("action":"hmc5883.calibration_save","arg":1}
)",
                                   R"("action":"hmc5883.calibration_load","arg":1}
)",
                                   R"("action":"hmc5883.calibration_next"}
)",
                                   R"("action":"hmc5883.compensate","arg":false}
)",
                                   R"("action":"hmc5883.compensate_3d","arg":false}
)",
                                   R"("action":"mpu6050.reset_gyro"}
)",
                                   R"("action":"hmc5883.compensate","arg":true}
)",
                               }));
        // They are local: nothing went to the board.
        EXPECT_EQ(tap.tx, "");
        f.view->session().remove_tap(&tap);
    }
    {
        ui_fixture_t f{no_board{}};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        f.receive(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
        ASSERT_TRUE(f.click("colourSwatchPanel"));
        ASSERT_TRUE(f.click("colourLightPanel"));
        // By name, as QML or a script would ask; a name that is no action
        // does nothing and says so.
        f.view->act(QStringLiteral("trace.reset"), false);
        f.view->act(QStringLiteral("trace.toggle_hold"));
        f.view->act(QStringLiteral("hmc5883.calibration_save"), 2);
        f.view->act(QStringLiteral("hmc5883.explode"));
        f.view->act(QStringLiteral("hmc5883.compensate"), QStringLiteral("yes"));
        EXPECT_EQ(tap.actions, (std::vector<std::string>{
                                   R"("action":"bh1749.white_balance"}
)",
                                   R"("action":"bh1749.reset_corrections"}
)",
                                   R"("action":"trace.reset","arg":false}
)",
                                   R"("action":"trace.toggle_hold"}
)",
                                   R"("action":"hmc5883.calibration_save","arg":2}
)",
                               }));
        EXPECT_TRUE(f.view->sensors().trace.hold());
        const auto lines = f.console.lines();
        const auto said = [&](const std::string& text) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.find(text) != std::string::npos; });
        };
        EXPECT_TRUE(said("hmc5883.explode not done: unknown action"));
        EXPECT_TRUE(said("hmc5883.compensate not done"));
        f.view->session().remove_tap(&tap);
    }
    {
        ui_fixture_t f{device_model_t::gyroscope};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        ASSERT_TRUE(f.wait_for([&] { return f.visible("holdButton"); }));
        ASSERT_TRUE(f.click("holdButton"));
        ASSERT_TRUE(f.click("resetButton"));
        EXPECT_EQ(tap.actions, (std::vector<std::string>{R"("action":"trace.toggle_hold"}
)",
                                                         R"("action":"trace.reset","arg":true}
)"}));
        f.view->session().remove_tap(&tap);
    }
}

QByteArray file_bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString& name, const std::string& text) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(text.data(), static_cast<qint64>(text.size())) ==
                                                   static_cast<qint64>(text.size());
}

// Twenty seconds of a magnetometer board, a reading every half second with
// x = 10 per step, and a calibration walked through by the user. The
// header's calibration is complete, so "next" at 3, 6, 9 and 12 s starts a
// new one and walks it (xy, xv, yv, z); "save" at 13 s keeps it.
std::string walked_calibration_capture() {
    std::string c;
    capture_header_t h;
    h.start = "2026-12-07T05:00:00.000Z";
    h.link = "tcp 127.0.0.1:8081";
    for (const char* f : {"x_min", "y_min", "z_min", "xv_min", "yv_min"}) h.settings.push_back({std::string("hmc5883.0.") + f, std::int64_t{-7}});
    for (const char* f : {"x_max", "y_max", "z_max", "xv_max", "yv_max"}) h.settings.push_back({std::string("hmc5883.0.") + f, std::int64_t{7}});
    append_capture_header(c, h);
    for (int i = 0; i <= 40; ++i) {
        const double t = i * 0.5;
        append_capture_rx(c, t, "hmc5883={\"x\":" + std::to_string(i * 10) + ",\"y\":5,\"z\":-3}\n");
        if (i == 6 || i == 12 || i == 18 || i == 24) append_capture_action(c, t + 0.1, "hmc5883.calibration_next");
        if (i == 26) append_capture_action(c, t + 0.1, "hmc5883.calibration_save", std::int64_t{1});
    }
    return c;
}

// The raw x the magnetometer table shows, and the calibration's step.
QString raw_x(const ui_fixture_t& f) { return f.text("hmcCell_0_1").trimmed(); }

TEST(record_replay, window_replays_a_capture_seeks_and_leaves_the_settings_file_alone) {
    const QString home = empty_config_home();
    const QString settings_file = home + "/Plimsy/Plimsy_sensors.json";
    {
        // The user's own calibration, in the real settings file, with what
        // the connection settings write at their first start.
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t seed(store, console);
        for (const char* f : {"x_min", "y_min", "z_min", "xv_min", "yv_min"})
            store.write(std::string("hmc5883.0.") + f, std::int64_t{-300});
        for (const char* f : {"x_max", "y_max", "z_max", "xv_max", "yv_max"})
            store.write(std::string("hmc5883.0.") + f, std::int64_t{300});
        store.write("enable_tcp", false);
    }
    const QByteArray before = file_bytes(settings_file);
    ASSERT_FALSE(before.isEmpty());

    QTemporaryDir dir;
    const QString capture = dir.path() + "/walk.plimsy.jsonl";
    ASSERT_TRUE(write_file(capture, walked_calibration_capture()));
    {
        qt_settings_store_t store;
        ui_fixture_t f{no_board{}, 1024, 800, &store};
        ASSERT_TRUE(f.ok());
        capture_view_model_t& cap = *f.view->capture();
        EXPECT_TRUE(f.view->can_send());
        EXPECT_TRUE(f.item("settingsButton")->isEnabled());

        cap.open(QUrl::fromLocalFile(capture).toString());
        ASSERT_TRUE(f.wait_for([&] { return cap.replaying() && !cap.busy(); }));
        f.pump(20);  // the window redraws on the next turn of the event loop
        EXPECT_TRUE(f.view->replaying());
        EXPECT_FALSE(f.view->can_send());
        EXPECT_FALSE(f.item("settingsButton")->isEnabled());
        EXPECT_TRUE(f.visible("replayBar"));
        EXPECT_FALSE(f.visible("connectionButton"));
        EXPECT_EQ(f.text("replayTitle"), "Replay (live paused): walk.plimsy.jsonl");
        EXPECT_DOUBLE_EQ(cap.duration(), 20.0);
        EXPECT_TRUE(cap.playing());

        // As fast as possible to the end: the last reading and the finished
        // calibration are on the panels.
        cap.set_speed_index(4);
        ASSERT_TRUE(f.wait_for([&] { return cap.engine()->at_end(); }, 10000));
        f.pump(50);
        EXPECT_FALSE(cap.playing());
        EXPECT_EQ(f.text("positionText"), "0:20 / 0:20");
        EXPECT_EQ(raw_x(f), "400");
        EXPECT_TRUE(f.text("hmcStepText").startsWith("4/4")) << f.text("hmcStepText").toStdString();

        // Back to 4 s: a fresh engine made on a worker, paused there with
        // the state of 4 s (one "next" done: step 1, the reading of 4 s).
        cap.seek(4.0);
        EXPECT_TRUE(cap.busy());
        ASSERT_TRUE(f.wait_for([&] { return !cap.busy(); }, 10000));
        f.pump(50);
        EXPECT_DOUBLE_EQ(cap.position(), 4.0);
        EXPECT_FALSE(cap.playing());
        EXPECT_EQ(raw_x(f), "80");
        EXPECT_TRUE(f.text("hmcStepText").startsWith("1/4")) << f.text("hmcStepText").toStdString();
        EXPECT_EQ(f.text("positionText"), "0:04 / 0:20");
        // A short step forward is done at once.
        cap.seek(5.2);
        EXPECT_FALSE(cap.busy());
        f.pump(50);
        EXPECT_EQ(raw_x(f), "100");

        // A local action works on the replayed state, not on the paused
        // live one.
        const calibration_state_t live_state = f.view->session().sensors().hmc5883.calibration;
        ASSERT_TRUE(f.click("hmcStepButton"));
        EXPECT_TRUE(f.text("hmcStepText").startsWith("2/4")) << f.text("hmcStepText").toStdString();
        EXPECT_EQ(f.view->session().sensors().hmc5883.calibration, live_state);
        // Board commands go nowhere during a replay.
        f.view->command("calibrate");
        const auto lines = f.console.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
            return l == "not sent during a replay: calibrate";
        }));

        // Play from there at 1× for a moment: the position moves on.
        cap.set_speed_index(0);
        cap.play_pause();
        EXPECT_TRUE(cap.playing());
        ASSERT_TRUE(f.wait_for([&] { return cap.position() >= 5.8; }, 5000));
        cap.play_pause();
        EXPECT_FALSE(cap.playing());

        // Export CSV: the same tables as decode --csv, on a worker.
        const QString csv = dir.path() + "/csv";
        cap.export_csv(csv);
        EXPECT_TRUE(cap.exporting());
        ASSERT_TRUE(f.wait_for([&] { return !cap.busy(); }, 10000));
        EXPECT_FALSE(cap.message_is_error()) << cap.message().toStdString();
        EXPECT_TRUE(cap.message().startsWith("Exported 41 lines")) << cap.message().toStdString();
        const QByteArray table = file_bytes(csv + "/hmc5883_str_t.csv");
        EXPECT_TRUE(table.startsWith("t,")) << QDir(csv).entryList().join(' ').toStdString();
        EXPECT_EQ(table.count("\r\n"), 42);

        cap.back_to_live();
        f.pump(20);
        EXPECT_FALSE(f.view->replaying());
        EXPECT_TRUE(f.view->can_send());
        EXPECT_FALSE(f.visible("replayBar"));
        EXPECT_TRUE(f.visible("connectionButton"));
    }
    // Everything the replay did (readings widening the ranges, "next",
    // "save") went to its own store: the user's file is as it was.
    EXPECT_EQ(file_bytes(settings_file).toStdString(), before.toStdString());
}

TEST(record_replay, send_buttons_are_off_in_replay_and_the_board_comes_back_after) {
    QTemporaryDir dir;
    std::string c;
    capture_header_t header;
    header.start = "2026-12-07T05:00:00.000Z";
    append_capture_header(c, header);
    for (int i = 0; i < 20; ++i)
        append_capture_rx(c, i * 0.5, R"(compass={"h":12.5,"x":0,"y":0.2,"z":9.8,"c":"xy"})" "\n");
    const QString capture = dir.path() + "/compass.plimsy.jsonl";
    ASSERT_TRUE(write_file(capture, c));

    ui_fixture_t f{device_model_t::compass_gravity};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("calibrateButton"); }));
    EXPECT_TRUE(f.item("calibrateButton")->isEnabled());
    capture_view_model_t& cap = *f.view->capture();

    // Dropped on the window, as from a file manager.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(capture)});
    const QPoint centre(f.window->width() / 2, f.window->height() / 2);
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.window, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.window, &drop);
    ASSERT_TRUE(f.wait_for([&] { return cap.replaying() && !cap.busy(); }));
    EXPECT_EQ(cap.replay_file(), "compass.plimsy.jsonl");
    f.pump(20);
    // The live link is paused: the board no longer streams to the window.
    EXPECT_TRUE(f.wait_for([&] { return !f.peripheral()->notifying(); }));
    ASSERT_TRUE(f.wait_for([&] { return f.visible("calibrateButton"); }));
    for (const char* button : {"calibrateButton", "defaultButton", "rebootButton", "compensateButton",
                               "compassButton", "headingButton", "settingsButton"})
        EXPECT_FALSE(f.item(button)->isEnabled()) << button;
    f.take_written();
    f.click("calibrateButton");
    f.key(Qt::Key_C, Qt::ControlModifier);
    f.key(Qt::Key_G);
    f.pump(100);
    EXPECT_EQ(f.take_written(), "");
    EXPECT_FALSE(f.visible("recordButton"));

    cap.back_to_live();
    ASSERT_TRUE(f.wait_connected());
    for (const char* button : {"calibrateButton", "compassButton", "settingsButton"})
        EXPECT_TRUE(f.item(button)->isEnabled()) << button;
    ASSERT_TRUE(f.click("calibrateButton"));
    EXPECT_TRUE(f.wait_for([&] { return f.peripheral()->written() == "C\n\r\n"; }));

    // A file that is not a capture says so and changes nothing.
    const QString junk = dir.path() + "/notes.txt";
    ASSERT_TRUE(write_file(junk, "shopping list\n"));
    cap.open(junk);
    ASSERT_TRUE(f.wait_for([&] { return !cap.busy(); }));
    EXPECT_FALSE(cap.replaying());
    EXPECT_TRUE(cap.message_is_error());
    EXPECT_TRUE(cap.message().startsWith("Cannot open notes.txt: ")) << cap.message().toStdString();
    EXPECT_TRUE(f.visible("captureMessage"));
    EXPECT_TRUE(f.peripheral()->notifying());
}

// The recordings folder of this process: XDG_DATA_HOME in a temporary folder.
QString data_home() {
    static QTemporaryDir dir;
    static const bool set = qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    (void)set;
    return dir.path();
}

TEST(record_replay, recording_from_the_toolbar_writes_a_capture_that_decodes) {
    const QString home = data_home();
    const QString folder = home + "/Plimsy/Plimsy_sensors/recordings";
    QDir(folder).removeRecursively();
    ui_fixture_t f{device_model_t::compass_gravity};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_lines(5));
    capture_view_model_t& cap = *f.view->capture();
    EXPECT_FALSE(f.visible("recordStatus"));

    // Ctrl+R belongs to a panel; Ctrl+Shift+R records.
    f.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(cap.recording());
    f.key(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(cap.recording());
    EXPECT_TRUE(f.visible("recordStatus"));
    EXPECT_TRUE(f.text("recordStatus").startsWith("REC 0:0")) << f.text("recordStatus").toStdString();
    f.view->act(QStringLiteral("trace.toggle_hold"));
    f.view->send("C\n");
    // The status follows the time and the file's size.
    ASSERT_TRUE(f.wait_for([&] { return f.text("recordStatus").startsWith("REC 0:01"); }, 5000));
    ASSERT_TRUE(f.click("recordButton"));
    EXPECT_FALSE(cap.recording());
    EXPECT_FALSE(f.visible("recordStatus"));
    EXPECT_FALSE(cap.message_is_error());
    const QString name = cap.record_file();
    EXPECT_TRUE(name.endsWith("_compass_gravity.plimsy.jsonl.zst")) << name.toStdString();
    EXPECT_TRUE(cap.message().contains(name));

    // The file is ended by the writer's thread; then it reads whole.
    const std::string path = (folder + "/" + name).toStdString();
    std::uint64_t rx = 0, tx = 0, actions = 0;
    std::string error;
    ASSERT_TRUE(f.wait_for([&] {
        capture_file_reader_t file(path);
        capture_reader_t reader;
        rx = tx = actions = 0;
        while (auto line = file.next_line()) {
            if (reader.read_line(*line) != capture_reader_t::result_t::entry) continue;
            const auto& e = reader.entry();
            rx += e.kind == capture_entry_t::kind_t::rx;
            tx += e.kind == capture_entry_t::kind_t::tx;
            if (e.kind == capture_entry_t::kind_t::action) actions += e.data == "trace.toggle_hold";
        }
        error = file.open_error() + file.error();
        return error.empty() && reader.has_header() && tx == 1 && actions == 1;
    }, 5000)) << error << " rx " << rx << " tx " << tx << " actions " << actions;
    EXPECT_GT(rx, 10u);

    // A folder that cannot be made stops the recording with a message; the
    // live view goes on.
    QDir(home + "/Plimsy").removeRecursively();
    ASSERT_TRUE(write_file(home + "/Plimsy", "a file where the folder would go"));
    cap.start_recording();
    ASSERT_TRUE(f.wait_for([&] { return !cap.recording() && cap.recorder() == nullptr; }, 10000));
    EXPECT_TRUE(cap.message_is_error()) << cap.message().toStdString();
    EXPECT_TRUE(cap.message().startsWith("Recording stopped: ")) << cap.message().toStdString();
    const auto lines = f.view->cnc().pipeline.msg_count;
    EXPECT_TRUE(f.wait_lines(lines + 3));
    QFile::remove(home + "/Plimsy");
}

// Receives what "Show recordings" asks the desktop to open.
class url_catcher_t : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.push_back(url); }

public:
    std::vector<QUrl> urls;
};

TEST(record_replay, show_recordings_makes_and_opens_the_folder) {
    const QString folder = data_home() + "/Plimsy/Plimsy_sensors/recordings";
    QDir(data_home() + "/Plimsy").removeRecursively();
    url_catcher_t catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    f.view->capture()->show_recordings();
    EXPECT_TRUE(f.wait_for([&] { return !catcher.urls.empty(); }));
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // "Open recording…" is a file dialog in the recordings folder, showing
    // captures. (Not opened here: Qt's own dialog keeps its icons in a cache
    // past the end of the process, which the leak checker reports.)
    ASSERT_TRUE(f.click("capturesButton"));
    EXPECT_TRUE(f.wait_for([&] { return f.visible("openMenuItem"); }));
    QObject* dialog = f.object("openDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->property("currentFolder").toUrl(), QUrl::fromLocalFile(folder));
    EXPECT_TRUE(dialog->property("nameFilters").toStringList().first().contains("*.plimsy.jsonl.zst"));
}

}  // namespace
}  // namespace plimsy::test

#include "record_replay_test.moc"
