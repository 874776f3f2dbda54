// Buttons whose effect a label cannot tell (a title that restarts the
// board's gyroscope, a colour swatch that balances white, "R" that reboots a
// board) say what they do and their key when the pointer rests on them.
#include <QVariantMap>
#include <functional>
#include <initializer_list>

#include "model/device_model.hpp"
#include "platform/settings_store.hpp"
#include "ui/colour_panel_model.hpp"
#include "ui/compass_calibration_panel_model.hpp"
#include "ui/compass_panel_model.hpp"
#include "ui/config_view_model.hpp"
#include "ui/gyroscope_panel_model.hpp"
#include "ui/hmc5883_calibration_panel_model.hpp"
#include "ui/main_panel_model.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

std::string tip(const QObject& model, const char* key) {
    return model.property("tooltips").toMap().value(QString::fromLatin1(key)).toString().toStdString();
}

bool ends_with(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The texts come from the view models, so they are read without a window:
// each names its effect and ends with the key that does the same.
TEST(tooltips, say_what_each_button_does_and_its_key) {
    memory_settings_store_t store;
    captured_console_t console;
    counting_haptics_t haptics;
    content_options_t o;
    o.store = &store;
    o.console = &console;
    o.haptics = &haptics;
    o.make_central = [] { return std::make_unique<simulated_central_t>(); };
    content_view_model_t view(o);

    gyroscope_panel_model_t gyro;
    colour_panel_model_t colour;
    compass_calibration_panel_model_t calibration;
    compass_panel_model_t compass;
    hmc5883_calibration_panel_model_t hmc;
    main_panel_model_t main;
    config_view_model_t sheet;
    for (panel_model_t* m : std::initializer_list<panel_model_t*>{&gyro, &colour, &calibration, &compass, &hmc,
                                                                  &main, &sheet})
        m->set_view(&view);

    struct case_t {
        const QObject* model;
        const char* button;
        const char* says;  // a piece of the effect
        const char* key;   // "" for a button without a key
    };
    const case_t cases[] = {
        {&gyro, "title", "Restarts the board's gyroscope", "R"},
        {&gyro, "hold", "Freezes the plot", ""},
        {&colour, "swatch", "white balance", ""},
        {&colour, "light", "correction back to 1", ""},
        {&calibration, "calibrate", "Starts the board's compass calibration", "Ctrl+C"},
        {&calibration, "defaults", "default calibration", "Ctrl+D"},
        {&calibration, "load", "saved calibration", "Ctrl+L"},
        {&calibration, "reboot", "Reboots the board", "R"},
        {&calibration, "mag", "Sends M", "M"},
        {&calibration, "twoD", "Sends 2", "2"},
        {&calibration, "threeD", "Sends 3", "3"},
        {&calibration, "compensate", "Sends c", "C"},
        {&compass, "compass", "Sends G", "G"},
        {&compass, "heading", "Sends H", "H"},
        {&hmc, "save", "spare copy", "Ctrl+S"},
        {&hmc, "load", "spare copy", "Ctrl+L"},
        {&hmc, "step", "calibration", "Ctrl+C"},
        {&hmc, "compensate", "Tilt compensation", "C"},
        {&hmc, "mode", "2D or in 3D", "3"},
        {&hmc, "reset_gyro", "gyroscope", "Ctrl+R"},
        {&main, "settings", "Connection settings", "Ctrl+,"},
        {&main, "log", "Starts the receive log", "L"},
        {&main, "clear", "Empties the log", "Delete"},
        {&sheet, "bridge", "Bridge mode", "B"},
        {&sheet, "disconnect", "Disconnects", "D"},
        {&sheet, "close", "without connecting", "Esc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        const std::string t = tip(*c.model, c.button);
        EXPECT_NE(t.find(c.says), std::string::npos) << t;
        if (*c.key)
            EXPECT_TRUE(ends_with(t, std::string(" (") + c.key + ")")) << t;
        else
            EXPECT_EQ(t.find('('), std::string::npos) << t;
    }

    // Texts that follow the state of what they switch.
    auto calibration_step = [&](const std::string& step) {
        view.cnc().pipeline.receive_line(
            R"(compass_c={"h":3.0,"x_raw":296,"y_raw":42,"z_raw":-120,"x_min":-412,"y_min":-398,"z_min":-377,)"
            R"("x_max":405,"y_max":420,"z_max":388,"xv_min":-210,"yv_min":-201,"xv_max":215,"yv_max":199,)"
            R"("z_ang":0,"c":")" +
            step + R"(","e":"0"})");
    };
    calibration_step("xv");
    EXPECT_NE(tip(calibration, "calibrate").find("next step"), std::string::npos) << tip(calibration, "calibrate");
    calibration_step("z");
    EXPECT_NE(tip(calibration, "calibrate").find("Ends"), std::string::npos) << tip(calibration, "calibrate");

    view.toggle_log();
    EXPECT_NE(tip(main, "log").find("Stops"), std::string::npos);
    EXPECT_NE(tip(main, "connection").find("Disconnects"), std::string::npos);
    view.cnc().disconnect();
    EXPECT_NE(tip(main, "connection").find("Connects"), std::string::npos);

    gyro.toggle_hold();
    EXPECT_NE(tip(gyro, "hold").find("follow the readings again"), std::string::npos);

    EXPECT_NE(tip(sheet, "bridge").find("Bluetooth and TCP at once"), std::string::npos);
    view.cfg().set_enable_bridge(true);
    EXPECT_NE(tip(sheet, "bridge").find("Ends bridge mode"), std::string::npos);
    view.cfg().set_enable_bridge(false);
}

// Every button and tappable panel on every board's screen carries its text,
// and resting the pointer on one shows it.
TEST(tooltips, every_button_on_every_screen_has_one_and_hovering_shows_it) {
    for (int k = 0; k < device_model_count; ++k) {
        const auto kind = static_cast<device_model_t>(k);
        SCOPED_TRACE(std::string(device_model_name(kind)));
        ui_fixture_t f{kind};
        ASSERT_TRUE(f.ok());
        ASSERT_TRUE(f.wait_connected());
        ASSERT_TRUE(f.wait_lines(20));
        std::vector<QQuickItem*> actionable;
        std::function<void(QQuickItem*)> walk = [&](QQuickItem* i) {
            if (!i->isVisible()) return;
            const bool tappable = i->property("tip").isValid();
            if (i->inherits("QQuickAbstractButton") || tappable) actionable.push_back(i);
            for (QQuickItem* c : i->childItems()) walk(c);
        };
        walk(f.window->contentItem());
        EXPECT_GE(actionable.size(), 4u);  // at least the toolbar's and the log's
        for (QQuickItem* i : actionable)
            EXPECT_FALSE(i->property("tip").toString().isEmpty())
                << i->metaObject()->className() << " " << i->objectName().toStdString() << " \""
                << i->property("text").toString().toStdString() << "\"";
    }

    ui_fixture_t f{device_model_t::gyroscope};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("gyroscopeButton"); }));
    QQuickItem* title = f.item("gyroscopeButton");
    const QString expected = title->property("tip").toString();
    ASSERT_FALSE(expected.isEmpty());
    auto tooltip_shown = [&] {
        std::function<bool(QQuickItem*)> find = [&](QQuickItem* i) {
            if (!i->isVisible()) return false;
            if (i->inherits("QQuickText") && i->property("text").toString() == expected && i->parentItem() &&
                !i->parentItem()->inherits("QQuickAbstractButton"))
                return true;
            for (QQuickItem* c : i->childItems())
                if (find(c)) return true;
            return false;
        };
        return find(f.window->contentItem());
    };
    EXPECT_FALSE(tooltip_shown());
    const QPointF centre = title->mapToScene(QPointF(title->width() / 2, title->height() / 2));
    QTest::mouseMove(f.window, centre.toPoint());
    EXPECT_TRUE(f.wait_for(tooltip_shown, 3000));
}

}  // namespace
}  // namespace plimsy::test
