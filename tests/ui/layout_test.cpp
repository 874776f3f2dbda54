// Every board's screen at phone, tablet and desktop sizes: each text and
// button lies where it can be seen (inside the window, or inside the content
// of the scroll area that holds it), is not cut short, and does not lie on
// top of another one. The item tree is walked as a whole, so a panel added
// later is covered without naming its items here.
#include <QQuickItem>
#include <QRectF>
#include <vector>

#include "model/device_model.hpp"
#include <QFile>
#include <QTemporaryDir>

#include "capture/capture.hpp"
#include "ui/capture_view_model.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

constexpr double slack = 1.0;  // rounding of layouts to whole pixels

struct shown_t {
    QQuickItem* item;
    QRectF rect;    // in scene coordinates
    QRectF region;  // where it can be seen: the window, or a scroll area's content
    bool is_text;   // a text (or a text field), not a button
};

bool is_text(const QQuickItem* i) {
    return i->inherits("QQuickText") || i->inherits("QQuickTextInput") || i->inherits("QQuickTextEdit");
}
bool is_button(const QQuickItem* i) { return i->inherits("QQuickAbstractButton"); }

// What a person could read: a visible, not fully transparent item with a
// size, and for a text some characters that are not all blank.
bool is_shown(const QQuickItem* i) {
    if (!i->isVisible() || i->width() <= 0 || i->height() <= 0) return false;
    for (const QQuickItem* a = i; a; a = a->parentItem())
        if (a->opacity() <= 0) return false;
    if (i->inherits("QQuickText") && i->property("text").toString().trimmed().isEmpty()) return false;
    return true;
}

// Where an item's drawing can be seen, given what clips it on the way up: a
// scroll area lets its content run past the window, any other clipping item
// cuts it to its own rectangle.
QRectF visible_region(QQuickItem* item, const QRectF& window) {
    std::vector<QQuickItem*> chain;
    for (QQuickItem* a = item->parentItem(); a; a = a->parentItem()) chain.push_back(a);
    QRectF region = window;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        QQuickItem* a = *it;
        if (a->inherits("QQuickFlickable")) {
            auto* content = a->property("contentItem").value<QQuickItem*>();
            const double w = a->property("contentWidth").toDouble();
            const double h = a->property("contentHeight").toDouble();
            if (content) region = content->mapRectToScene(QRectF(0, 0, w, h));
        } else if (a->clip()) {
            region = region.intersected(a->mapRectToScene(a->boundingRect()));
        }
    }
    return region;
}

void collect(QQuickItem* i, const QRectF& window, std::vector<shown_t>& out) {
    if (!i->isVisible()) return;
    if ((is_text(i) || is_button(i)) && is_shown(i))
        out.push_back({i, i->mapRectToScene(QRectF(0, 0, i->width(), i->height())), visible_region(i, window),
                       is_text(i)});
    for (QQuickItem* c : i->childItems()) collect(c, window, out);
}

bool related(const QQuickItem* a, const QQuickItem* b) {
    for (const QQuickItem* p = a; p; p = p->parentItem())
        if (p == b) return true;
    for (const QQuickItem* p = b; p; p = p->parentItem())
        if (p == a) return true;
    return false;
}

QString describe(const shown_t& s) {
    QString name = s.item->objectName();
    if (name.isEmpty()) name = QString::fromLatin1(s.item->metaObject()->className());
    const QString text = s.item->property("text").toString().left(40);
    return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
        .arg(name, text)
        .arg(s.rect.x())
        .arg(s.rect.y())
        .arg(s.rect.width())
        .arg(s.rect.height());
}

// Every fault found under `root`, one line each.
QStringList layout_faults(QQuickWindow* window, QQuickItem* root) {
    std::vector<shown_t> shown;
    collect(root, QRectF(0, 0, window->width(), window->height()), shown);
    QStringList faults;
    for (const auto& s : shown) {
        const QRectF r = s.rect.adjusted(slack, slack, -slack, -slack);
        if (!s.region.contains(r)) faults << QStringLiteral("cut off: ") + describe(s);
        if (s.item->property("truncated").toBool()) faults << QStringLiteral("elided: ") + describe(s);
        if (s.item->inherits("QQuickText")) {
            const bool wraps = s.item->property("wrapMode").toInt() != 0;
            if (!wraps && s.item->implicitWidth() > s.item->width() + slack)
                faults << QStringLiteral("too narrow: ") + describe(s);
            if (s.item->implicitHeight() > s.item->height() + slack)
                faults << QStringLiteral("too low: ") + describe(s);
        }
    }
    for (std::size_t a = 0; a < shown.size(); ++a)
        for (std::size_t b = a + 1; b < shown.size(); ++b) {
            if (related(shown[a].item, shown[b].item)) continue;
            const QRectF ra = shown[a].rect.adjusted(slack, slack, -slack, -slack);
            if (ra.intersects(shown[b].rect.adjusted(slack, slack, -slack, -slack)))
                faults << QStringLiteral("overlap: ") + describe(shown[a]) + " / " + describe(shown[b]);
        }
    return faults;
}

struct size_t_ {
    int w, h;
};
const size_t_ sizes[] = {{360, 640}, {390, 844}, {768, 1024}, {1024, 800}, {1920, 1080}};

TEST(layout, every_board_is_complete_and_readable_from_phone_to_desktop) {
    for (int k = 0; k < device_model_count; ++k) {
        const auto kind = static_cast<device_model_t>(k);
        SCOPED_TRACE(std::string(device_model_name(kind)));
        ui_fixture_t f{kind, sizes[0].w, sizes[0].h};
        ASSERT_TRUE(f.ok());
        ASSERT_TRUE(f.wait_connected());
        // Readings of every kind the board sends, so the values have their
        // real widths, and the log full of long lines; then the stream
        // stops so that no text changes between layout and check.
        if (!f.view->log_enable()) f.view->toggle_log();
        ASSERT_TRUE(f.wait_lines(40));
        f.view->cnc().disconnect();
        for (const auto& s : sizes) {
            SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
            f.window->resize(s.w, s.h);
            ASSERT_TRUE(f.wait_for([&] { return f.window->width() == s.w && f.window->height() == s.h; }));
            // The layout settles over a frame or two; what is still wrong
            // after that stays wrong.
            QStringList faults;
            f.wait_for([&] {
                faults = layout_faults(f.window, f.window->contentItem());
                return faults.isEmpty();
            }, 2000);
            EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
        }
    }
}

// The toolbar while recording, and the replay bar with its message, from a
// phone to a desktop.
TEST(layout, recording_and_replay_bars_fit_every_window) {
    static QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QTemporaryDir dir;
    std::string c;
    capture_header_t header;
    header.start = "2026-12-07T05:00:00.000Z";
    append_capture_header(c, header);
    for (int i = 0; i < 100; ++i)
        append_capture_rx(c, i * 0.1, R"(hmc5883={"x":-1234,"y":567,"z":-89})" "\n");
    const QString capture = dir.path() + "/2026-12-07T05-00-00Z_hmc5883.plimsy.jsonl";
    {
        QFile file(capture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.data(), static_cast<qint64>(c.size()));
    }
    ui_fixture_t f{device_model_t::hmc5883, sizes[0].w, sizes[0].h};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_lines(20));
    capture_view_model_t& cap = *f.view->capture();
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        for (const auto& s : sizes) {
            SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
            f.window->resize(s.w, s.h);
            ASSERT_TRUE(f.wait_for([&] { return f.window->width() == s.w && f.window->height() == s.h; }));
            QStringList faults;
            f.wait_for([&] {
                faults = layout_faults(f.window, f.window->contentItem());
                return faults.isEmpty();
            }, 2000);
            EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
        }
    };
    ASSERT_TRUE(cap.start_recording());
    f.view->cnc().disconnect();
    ASSERT_TRUE(f.wait_for([&] { return f.visible("recordStatus"); }));
    check("recording");
    cap.stop_recording();

    cap.open(capture);
    ASSERT_TRUE(f.wait_for([&] { return cap.replaying() && !cap.busy(); }));
    cap.play_pause();
    ASSERT_FALSE(cap.playing());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("replayBar") && f.visible("captureMessage"); }));
    check("replay");
}

// The configuration sheet on its own: it covers the screen by design, so its
// items are checked among themselves.
TEST(layout, configuration_sheet_fits_every_window) {
    ui_fixture_t f{ui_fixture_t::no_board_t{}, sizes[0].w, sizes[0].h};
    ASSERT_TRUE(f.ok());
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("bleNameField"); }));
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        f.window->resize(s.w, s.h);
        ASSERT_TRUE(f.wait_for([&] { return f.window->width() == s.w; }));
        f.pump(60);
        QQuickItem* sheet_root = f.item("bleNameField");
        while (sheet_root && sheet_root->parentItem() && !sheet_root->parentItem()->inherits("QQuickOverlay"))
            sheet_root = sheet_root->parentItem();
        ASSERT_NE(sheet_root, nullptr);
        QStringList faults;
        f.wait_for([&] {
            faults = layout_faults(f.window, sheet_root);
            return faults.isEmpty();
        }, 2000);
        EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
    }
}

// The same with the MQTT block unfolded and an error under the URL.
TEST(layout, configuration_sheet_with_mqtt_fits_every_window) {
    ui_fixture_t f{ui_fixture_t::no_board_t{}, sizes[0].w, sizes[0].h};
    ASSERT_TRUE(f.ok());
    f.view->cfg().set_mqtt_url("mqtt://127.0.0.1:99999");
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("mqttToggleButton"); }));
    ASSERT_TRUE(f.click("mqttToggleButton"));
    ASSERT_TRUE(f.wait_for([&] { return f.visible("mqttUrlError"); }));
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        f.window->resize(s.w, s.h);
        ASSERT_TRUE(f.wait_for([&] { return f.window->width() == s.w; }));
        f.pump(60);
        QQuickItem* sheet_root = f.item("mqttUrlField");
        while (sheet_root && sheet_root->parentItem() && !sheet_root->parentItem()->inherits("QQuickOverlay"))
            sheet_root = sheet_root->parentItem();
        ASSERT_NE(sheet_root, nullptr);
        QStringList faults;
        f.wait_for([&] {
            faults = layout_faults(f.window, sheet_root);
            return faults.isEmpty();
        }, 2000);
        EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
    }
}

}  // namespace
}  // namespace plimsy::test
