#include <QColor>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ui/compass_panel_model.hpp"
#include "ui/ui_fixture.hpp"

// Colours in failure messages as a person reads them.
static void PrintTo(const QColor& c, std::ostream* os) { *os << c.name(QColor::HexArgb).toStdString(); }

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

// The model objects announce at most one change per 1/60 s and keep the
// rest for the next announcement, so lines fed faster than that would not
// all be shown; a board never sends that fast.
void feed(ui_fixture_t& f, const std::string& line) {
    f.pump(20);
    f.receive(line);
}

// Waits until the board has received at least `bytes` and returns all of it.
std::string sent(ui_fixture_t& f, const std::string& bytes) {
    f.wait_for([&] { return f.peripheral() && f.peripheral()->written().size() >= bytes.size(); }, 3000);
    return f.take_written();
}

bool right_click(ui_fixture_t& f, const char* name) {
    QQuickItem* i = f.item(name);
    if (!i || !i->isVisible()) return false;
    const QPointF centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2));
    QTest::mouseClick(f.window, Qt::RightButton, Qt::NoModifier, centre.toPoint());
    f.pump(50);
    return true;
}

QPointF scene_pos(const ui_fixture_t& f, const char* name) {
    QQuickItem* i = f.item(name);
    return i ? i->mapToScene(QPointF(0, 0)) : QPointF(-1, -1);
}

QColor colour_of(const ui_fixture_t& f, const std::string& name) {
    QQuickItem* i = f.item(name.c_str());
    return i ? i->property("color").value<QColor>() : QColor();
}

// A calibration report with fixed extremes; `step` and `e` vary, and an
// empty step leaves the word out as the idle board does.
std::string compass_c(const std::string& step, const std::string& e = "0", int x_max = 405) {
    std::string line = R"(compass_c={"h":3.0,"x_raw":296,"y_raw":42,"z_raw":-120,"x_min":-412,"y_min":-398,)"
                       R"("z_min":-377,"x_max":)" +
                       std::to_string(x_max) +
                       R"(,"y_max":420,"z_max":388,"xv_min":-210,"yv_min":-201,"xv_max":215,"yv_max":199,"z_ang":0,)";
    if (!step.empty()) line += R"("c":")" + step + R"(",)";
    return line + R"("e":")" + e + R"("})";
}

TEST(compass_panels, every_command_reaches_the_board_as_its_bytes) {
    ui_fixture_t f{device_model_t::compass_gravity};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.item("rebootButton") != nullptr; }));
    f.take_written();

    struct command_t {
        const char* button;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::string bytes;
    };
    // BLE adds CR LF to every command.
    const command_t commands[] = {
        {"calibrateButton", Qt::Key_C, Qt::ControlModifier, "C\n\r\n"},
        {"defaultButton", Qt::Key_D, Qt::ControlModifier, "D\n\r\n"},
        {"loadButton", Qt::Key_L, Qt::ControlModifier, "L\n\r\n"},
        {"rebootButton", Qt::Key_R, Qt::NoModifier, "R\n\r\n"},
        {"magButton", Qt::Key_M, Qt::NoModifier, "M\n\r\n"},
        {"twoDButton", Qt::Key_2, Qt::NoModifier, "2\n\r\n"},
        {"threeDButton", Qt::Key_3, Qt::NoModifier, "3\n\r\n"},
        {"compensateButton", Qt::Key_C, Qt::NoModifier, "c\n\r\n"},
        {"compassButton", Qt::Key_G, Qt::NoModifier, "G\n\r\n"},
        {"headingButton", Qt::Key_H, Qt::NoModifier, "H\n\r\n"},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.button);
        const int ticks = f.haptics.selections;
        ASSERT_TRUE(f.click(c.button));
        EXPECT_EQ(sent(f, c.bytes), c.bytes);
        f.key(c.key, c.modifiers);
        EXPECT_EQ(sent(f, c.bytes), c.bytes);
        // A tick before each of the two sends.
        EXPECT_EQ(f.haptics.selections - ticks, 2);
    }

    // "Heading" is also in the context menu of "Compass".
    QObject* menu = f.object("compassMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(right_click(f, "compassButton"));
    ASSERT_TRUE(f.wait_for([&] { return menu->property("opened").toBool(); }));
    EXPECT_EQ(f.take_written(), "");
    ASSERT_TRUE(f.click("headingMenuItem"));
    EXPECT_EQ(sent(f, "H\n\r\n"), "H\n\r\n");
    EXPECT_TRUE(f.wait_for([&] { return !menu->property("visible").toBool(); }));

    // A name no command has (a slip in QML) sends nothing and says so.
    const int ticks = f.haptics.selections;
    f.view->command(QStringLiteral("Reboot"));
    f.pump();
    EXPECT_EQ(f.take_written(), "");
    EXPECT_EQ(f.haptics.selections, ticks);
    const auto lines = f.console.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "no board command is named \"Reboot\"; nothing sent"), lines.end());
}

TEST(compass_calibration, the_button_follows_the_board_through_the_steps) {
    ui_fixture_t f{device_model_t::compass_gravity};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.item("calibrateButton") != nullptr; }));
    EXPECT_EQ(f.text("calibrateButton"), "Calibrate");
    EXPECT_FALSE(f.visible("calibrationText"));

    // The board answers each press with its next step.
    struct step_t {
        const char* label;
        const char* text_start;
    };
    const step_t steps[] = {{"Next", "1/4"}, {"Next", "2/4"}, {"Next", "3/4"}, {"Finish", "4/4"}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.text_start);
        ASSERT_TRUE(f.click("calibrateButton"));
        EXPECT_TRUE(f.wait_for([&] { return f.text("calibrationText").startsWith(s.text_start); }));
        EXPECT_EQ(f.text("calibrateButton"), s.label);
        EXPECT_TRUE(f.visible("calibrationText"));
    }
    ASSERT_TRUE(f.click("calibrateButton"));
    EXPECT_TRUE(f.wait_for([&] { return f.text("calibrateButton") == "Calibrate"; }));
    EXPECT_FALSE(f.visible("calibrationText"));
}

TEST(compass_calibration, buttons_stand_in_one_row_in_landscape_and_two_in_portrait) {
    ui_fixture_t f{no_board{}, 1024, 800};
    ASSERT_TRUE(f.ok());
    feed(f, compass_c("xy"));
    ASSERT_TRUE(f.wait_for([&] { return f.item("calibrateButton") != nullptr; }));

    auto check_row = [&](std::vector<const char*> names) {
        const double y = scene_pos(f, names[0]).y();
        double x = -1;
        for (const char* n : names) {
            SCOPED_TRACE(n);
            EXPECT_TRUE(f.visible(n));
            EXPECT_EQ(scene_pos(f, n).y(), y);
            EXPECT_GT(scene_pos(f, n).x(), x);
            x = scene_pos(f, n).x();
            // Each label is shown whole.
            QQuickItem* button = f.item(n);
            auto* label = button ? button->property("contentItem").value<QQuickItem*>() : nullptr;
            EXPECT_TRUE(label && !label->property("truncated").toBool());
        }
        return y;
    };

    check_row({"calibrateButton", "defaultButton", "loadButton", "rebootButton", "magButton", "twoDButton",
               "threeDButton", "compensateButton"});

    f.window->resize(800, 1280);
    ASSERT_TRUE(f.wait_for([&] { return f.view->portrait(); }));
    f.pump();
    const double first = check_row({"calibrateButton", "defaultButton", "loadButton", "rebootButton"});
    const double second = check_row({"compensateButton", "twoDButton", "threeDButton", "magButton"});
    EXPECT_GT(second, first);
    EXPECT_EQ(scene_pos(f, "calibrateButton").x(), scene_pos(f, "compensateButton").x());

    f.window->resize(1280, 800);
    ASSERT_TRUE(f.wait_for([&] { return !f.view->portrait(); }));
    f.pump();
    check_row({"calibrateButton", "defaultButton", "loadButton", "rebootButton", "magButton", "twoDButton",
               "threeDButton", "compensateButton"});
}

TEST(compass_calibration, warnings_and_marks_follow_the_event_bits) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    const QColor green = palette_colour(colour_t::green);
    const QColor primary = palette_colour(colour_t::primary);

    // Bits 0, 5 and 7: the y tilt, the angle and the x vertical minimum.
    feed(f, compass_c("xv", "a1"));
    ASSERT_TRUE(f.wait_for([&] { return f.visible("calibrationAngleText"); }));
    EXPECT_TRUE(f.text("calibrationText").startsWith("2/4  x=0 on a flat surface"));
    EXPECT_TRUE(f.visible("calibrationTiltText"));
    EXPECT_EQ(f.text("calibrationTiltText"), "reduce tilt: y");
    EXPECT_EQ(f.text("calibrationAngleText"), "reduce angle");
    EXPECT_EQ(colour_of(f, "minLabel"), green);
    EXPECT_EQ(colour_of(f, "maxLabel"), primary);
    // While the board sends raw readings the field direction is drawn.
    EXPECT_TRUE(f.visible("fieldDirection"));

    // The same bits mean only a tilt while the board measures xy.
    feed(f, compass_c("xy", "a1"));
    ASSERT_TRUE(f.wait_for([&] { return !f.visible("calibrationAngleText"); }));
    EXPECT_EQ(f.text("calibrationTiltText"), "reduce tilt: xy");
    EXPECT_EQ(colour_of(f, "minLabel"), primary);

    // Without bits no warning, whatever the step.
    feed(f, compass_c("yv", "0"));
    ASSERT_TRUE(f.wait_for([&] { return !f.visible("calibrationTiltText"); }));
    EXPECT_FALSE(f.visible("calibrationAngleText"));
    EXPECT_EQ(f.text("calibrationText").left(3), "3/4");

    // Idle: no step text, no warnings, no direction.
    feed(f, compass_c("", "a1"));
    ASSERT_TRUE(f.wait_for([&] { return !f.visible("calibrationText"); }));
    EXPECT_FALSE(f.visible("calibrationTiltText"));
    EXPECT_FALSE(f.visible("calibrationAngleText"));
    EXPECT_FALSE(f.visible("fieldDirection"));
    EXPECT_EQ(f.text("calibrateButton"), "Calibrate");
}

TEST(compass_panel, heading_and_gravity_follow_the_board) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    feed(f, compass_c("", "0"));
    ASSERT_TRUE(f.wait_for([&] { return f.item("compassCard") != nullptr; }));
    QQuickItem* card = f.item("compassCard");
    auto rotation = [&] { return card->rotation(); };
    auto settled_at = [&](double r) { return f.wait_for([&] { return std::abs(rotation() - r) < 1e-6; }); };

    EXPECT_EQ(f.text("compassDialText"), "3");
    EXPECT_TRUE(settled_at(-3));
    EXPECT_EQ(f.text("gravityTitle"), "Gravity");

    // Headings are whole degrees, negatives as their positive equivalent.
    feed(f, R"(compass={"h":-90.4})");
    EXPECT_EQ(f.text("compassDialText"), "270");
    feed(f, R"(compass={"h":359.6})");
    EXPECT_EQ(f.text("compassDialText"), "360");

    // Across north the card takes the short way: from 10 to 350 is a turn of
    // 20 degrees, not 340, so its unwrapped rotation goes from -10 to 10.
    feed(f, R"(compass={"h":10})");
    EXPECT_TRUE(settled_at(-10 + 360 * std::round((rotation() + 10) / 360)));
    const double before = rotation();
    feed(f, R"(compass={"h":350})");
    EXPECT_TRUE(settled_at(before + 20));
    feed(f, R"(compass={"h":5})");
    EXPECT_TRUE(settled_at(before + 5));

    // Gravity: the three components, and the bubble goes to the high side.
    feed(f, R"(gravity={"x":0.06,"y":-0.26,"z":9.78})");
    EXPECT_EQ(f.text("gravityX"), "0.1");
    EXPECT_EQ(f.text("gravityY"), "-0.3");
    EXPECT_EQ(f.text("gravityZ"), "9.8");
    QQuickItem* line = f.item("tiltLine");
    ASSERT_NE(line, nullptr);
    auto end = [&] { return QPointF(line->property("endX").toDouble(), line->property("endY").toDouble()); };
    // Raised on the +x side, lowered on the +y side: right and down.
    feed(f, R"(gravity={"x":4.0,"y":-4.0,"z":7.0})");
    EXPECT_TRUE(f.wait_for([&] { return end().x() > 0.3 && end().y() > 0.3; }));
    feed(f, R"(gravity={"x":0,"y":0,"z":9.8})");
    EXPECT_TRUE(f.wait_for([&] { return std::abs(end().x()) < 1e-6 && std::abs(end().y()) < 1e-6; }));
}

// The drawing primitives on their own, in a window of their own.
class primitive_window_t {
public:
    explicit primitive_window_t(const QByteArray& body) {
        engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
        QQmlComponent c(&engine);
        c.setData("import QtQuick\nimport QtQuick.Layouts\nimport Plimsy\nWindow { width: 200; height: 100; "
                  "visible: true; color: \"white\"\n" +
                      body + "\n}",
                  QUrl());
        window.reset(qobject_cast<QQuickWindow*>(c.create()));
        if (!window) ADD_FAILURE() << c.errorString().toStdString();
        else (void)QTest::qWaitForWindowExposed(window.get());
    }
    QQuickItem* item(const char* name) const { return window->findChild<QQuickItem*>(QString::fromLatin1(name)); }
    bool red_at(int x, int y) {
        const QImage image = window->grabWindow();
        const QColor c = image.pixelColor(x, y);
        return c.red() > 200 && c.green() < 80 && c.blue() < 80;
    }

    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
};

TEST(drawing_primitives, progress_view_clamps_reverses_and_takes_the_offered_width) {
    primitive_window_t w(R"(
        RowLayout { width: 200
            ProgressView { objectName: "gauge"; gaugeHeight: 10; animated: false; progress: 1.7 } })");
    ASSERT_TRUE(w.window);
    QQuickItem* gauge = w.item("gauge");
    QQuickItem* fill = w.item("progressFill");
    ASSERT_TRUE(gauge && fill);
    QTest::qWait(20);
    // Without a width of its own the gauge spreads over what the row offers.
    EXPECT_EQ(gauge->width(), 200);
    EXPECT_EQ(fill->width(), 200);
    gauge->setProperty("progress", -0.2);
    EXPECT_EQ(fill->width(), 0);
    gauge->setProperty("reverse", true);
    gauge->setProperty("progress", 0.25);
    EXPECT_EQ(fill->x(), 150);
    EXPECT_EQ(fill->width(), 50);
    gauge->setProperty("gaugeWidth", 80.0);
    EXPECT_EQ(fill->x(), 60);
    EXPECT_EQ(fill->width(), 20);
}

TEST(drawing_primitives, line_end_is_relative_to_the_area) {
    primitive_window_t w(R"(
        LineNormalized { objectName: "line"; anchors.fill: parent; lineWidth: 6; colour: "red"; endX: 1; endY: 1 })");
    ASSERT_TRUE(w.window);
    QQuickItem* line = w.item("line");
    ASSERT_NE(line, nullptr);
    QTest::qWait(20);
    // From the centre to the bottom-right corner of a 200 x 100 area.
    EXPECT_TRUE(w.red_at(100, 50));
    EXPECT_TRUE(w.red_at(150, 75));
    EXPECT_TRUE(w.red_at(197, 97));
    EXPECT_FALSE(w.red_at(197, 3));
    // (0, -1) is the middle of the top edge.
    line->setProperty("endX", 0);
    line->setProperty("endY", -1);
    QTest::qWait(20);
    EXPECT_TRUE(w.red_at(100, 3));
    EXPECT_FALSE(w.red_at(150, 75));
    // The start is an offset in pixels from the centre, not scaled.
    line->setProperty("startX", 40);
    QTest::qWait(20);
    EXPECT_TRUE(w.red_at(139, 50));
    EXPECT_FALSE(w.red_at(100, 50));

    // With a duration the end slides; without one it jumps.
    line->setProperty("duration", 60000);
    line->setProperty("endX", 1);
    QTest::qWait(20);
    const double sliding = line->property("endX").toDouble();
    EXPECT_GE(sliding, 0);
    EXPECT_LT(sliding, 1);
    line->setProperty("duration", 0);
    line->setProperty("endX", -1);
    EXPECT_EQ(line->property("endX").toDouble(), -1);
}

}  // namespace
}  // namespace plimsy::test
