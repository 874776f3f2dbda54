#pragma once

// A window with its main-screen model against the simulated board, and the
// means to press keys and buttons on it the way a user would.
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/settings_store.hpp"
#include "sim/simulated_central.hpp"
#include "sim/simulated_peripheral.hpp"
#include "ui/content_view_model.hpp"
#include "ui/palette.hpp"
#include "ui/window.hpp"

namespace plimsy::test {

// A private XDG_CONFIG_HOME for the tests of the real settings file, with
// no file in it yet. One per process: Qt reads the variable once, when the
// first settings object is made, so every test of the process shares it.
inline QString empty_config_home() {
    static QTemporaryDir dir;
    static const bool set = qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    (void)set;
    QDir(dir.path() + "/Plimsy").removeRecursively();
    return dir.path();
}

class ui_fixture_t {
public:
    // A window showing `board` over the simulated radio, its settings in
    // memory, its console captured.
    // With no_board the radio finds nothing, so a test can feed lines of
    // its own without a board's stream changing the device model.
    struct no_board_t {};
    explicit ui_fixture_t(device_model_t board = device_model_t::compass_gravity, int width = 1024, int height = 800,
                          settings_store_t* store = nullptr)
        : store_(store ? store : &own_store_) {
        content_options_t o;
        o.simulate = true;
        o.board = board;
        build(o, width, height);
    }
    explicit ui_fixture_t(no_board_t, int width = 1024, int height = 800, settings_store_t* store = nullptr)
        : store_(store ? store : &own_store_) {
        content_options_t o;
        o.make_central = [] { return std::make_unique<simulated_central_t>(); };
        build(o, width, height);
    }

    // A window built from options of the test's own (its store, console
    // and haptics are the fixture's).
    explicit ui_fixture_t(content_options_t o, int width = 1024, int height = 800, settings_store_t* store = nullptr)
        : store_(store ? store : &own_store_) {
        build(std::move(o), width, height);
    }

    void build(content_options_t o, int width, int height) {
        o.store = store_;
        o.console = &console;
        o.haptics = &haptics;
        view = std::make_unique<content_view_model_t>(o);
        engine = make_window(*view);
        if (!engine) return;
        window = qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        window->resize(width, height);
        window->show();
        window->requestActivate();
        (void)QTest::qWaitForWindowExposed(window);
    }

    ~ui_fixture_t() {
        engine.reset();
        view.reset();
    }

    bool ok() const { return window != nullptr; }

    // Lets the event loop run until pred holds or the time is up (a limit,
    // not a measurement: it only bounds how long a broken test hangs).
    template <typename P>
    bool wait_for(P pred, int ms = 5000) {
        return QTest::qWaitFor(pred, ms);
    }
    void pump(int ms = 50) { QTest::qWait(ms); }

    // Waits until the simulated board is connected and reporting.
    bool wait_connected() {
        return wait_for([&] { return peripheral() && peripheral()->notifying(); });
    }

    // Waits until the board has sent `n` lines since connecting, enough for
    // every kind of line it sends on a loaded machine too.
    bool wait_lines(std::uint64_t n) {
        return wait_for([&] { return view->cnc().pipeline.msg_count >= n; }, 15000);
    }

    simulated_peripheral_t* peripheral() const { return view->simulated_peripheral(); }

    // What the board received since the last call, as one text.
    std::string take_written() {
        auto* p = peripheral();
        if (!p) return {};
        std::string s = p->written();
        p->clear_writes();
        return s;
    }

    QQuickItem* item(const char* object_name) const {
        if (!window) return nullptr;
        const QString name = QString::fromLatin1(object_name);
        if (auto* i = window->findChild<QQuickItem*>(name)) return i;
        // Items of popups and loaders may hang only in the visual tree.
        return find_item(window->contentItem(), name);
    }
    bool visible(const char* object_name) const {
        QQuickItem* i = item(object_name);
        return i && i->isVisible();
    }
    QString text(const char* object_name) const {
        QQuickItem* i = item(object_name);
        return i ? i->property("text").toString() : QString();
    }
    template <typename T = QObject>
    T* object(const char* object_name) const {
        if (!window) return nullptr;
        if (auto* o = window->findChild<T*>(QString::fromLatin1(object_name))) return o;
        return engine->rootObjects().first()->findChild<T*>(QString::fromLatin1(object_name));
    }

    // Feeds one line as if the board had sent it.
    void receive(const std::string& line) {
        view->cnc().pipeline.receive_line(line);
        pump(10);
    }

    // A left click in the middle of a visible item, through the window.
    bool click(const char* object_name) {
        QQuickItem* i = item(object_name);
        if (!i || !i->isVisible()) return false;
        const QPointF centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        pump(20);
        return true;
    }

    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(window, k, m);
        pump(20);
    }
    void type(const QString& text) {
        for (QChar c : text) QTest::keyClick(window, c.toLatin1());
        pump(20);
    }

    captured_console_t console;
    counting_haptics_t haptics;
    std::unique_ptr<content_view_model_t> view;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;

private:
    static QQuickItem* find_item(QQuickItem* root, const QString& name) {
        if (!root) return nullptr;
        if (root->objectName() == name) return root;
        for (QQuickItem* c : root->childItems())
            if (auto* found = find_item(c, name)) return found;
        return nullptr;
    }

    memory_settings_store_t own_store_;
    settings_store_t* store_;
};

}  // namespace plimsy::test
