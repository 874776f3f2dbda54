#include <QColor>
#include <QQuickItem>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/clock.hpp"
#include "platform/settings_store.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

double number(const ui_fixture_t& f, const char* item, const char* property) {
    QQuickItem* i = f.item(item);
    return i ? i->property(property).toDouble() : std::nan("");
}

QColor colour(const ui_fixture_t& f, const char* item, const char* property = "color") {
    QQuickItem* i = f.item(item);
    return i ? i->property(property).value<QColor>() : QColor();
}

std::int64_t stored(const memory_settings_store_t& store, const std::string& key) {
    return store.read_int(key).value_or(-99999);
}

TEST(sensor_panels, colour_taps_balance_and_restore) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    f.receive(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
    EXPECT_EQ(f.text("infraredTitle"), "Infrared");
    EXPECT_EQ(f.text("infraredValue"), "40");
    EXPECT_EQ(f.text("redValue"), "100");
    EXPECT_EQ(f.text("greenValue"), "50");
    EXPECT_EQ(f.text("blueValue"), "25");
    const QColor unbalanced = colour(f, "colourSwatch");

    // White light of unequal channels: after a tap on the swatch the three
    // read alike, each with the factor that made it so.
    int ticks = f.haptics.selections;
    ASSERT_TRUE(f.click("colourSwatchPanel"));
    EXPECT_EQ(f.haptics.selections, ticks + 1);
    EXPECT_EQ(f.text("redValue"), "100");
    EXPECT_EQ(f.text("greenValue"), "100 * 2.00");
    EXPECT_EQ(f.text("blueValue"), "100 * 4.00");
    EXPECT_EQ(f.text("infraredValue"), "40");
    const QColor balanced = colour(f, "colourSwatch");
    EXPECT_NE(balanced, unbalanced);
    EXPECT_EQ(balanced.red(), balanced.green());
    EXPECT_EQ(balanced.green(), balanced.blue());
    // The factors outlive new readings.
    f.receive(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
    EXPECT_EQ(f.text("blueValue"), "100 * 4.00");

    // An infrared factor shows the same way, and a tap on the light panel
    // drops all four factors: the raw readings come back.
    f.view->sensors().bh1749.i_c = 2.0f;
    f.receive(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
    EXPECT_EQ(f.text("infraredValue"), "80 * 2.00");
    ticks = f.haptics.selections;
    ASSERT_TRUE(f.click("colourLightPanel"));
    EXPECT_EQ(f.haptics.selections, ticks + 1);
    EXPECT_EQ(f.text("infraredValue"), "40");
    EXPECT_EQ(f.text("redValue"), "100");
    EXPECT_EQ(f.text("greenValue"), "50");
    EXPECT_EQ(f.text("blueValue"), "25");
    EXPECT_EQ(colour(f, "colourSwatch"), unbalanced);
}

TEST(sensor_panels, accelerometer_title_bars_and_dot) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.text("accelerometerTitle"), "Accelerometer");

    // A shock on the high-g sensor: its held peak is shown on the
    // square-root scale, and the title says so.
    f.receive(R"(adxl372={"x":-250.0,"y":40.0,"z":0.0})");
    EXPECT_EQ(f.text("accelerometerTitle"), "high-g");
    EXPECT_NEAR(number(f, "accelXNeg", "progress"), 0.5, 1e-6);
    EXPECT_EQ(number(f, "accelXPos", "progress"), 0.0);
    EXPECT_NEAR(number(f, "accelYPos", "progress"), 0.2, 1e-6);
    EXPECT_EQ(number(f, "accelYNeg", "progress"), 0.0);
    EXPECT_EQ(f.text("accelXText"), "-250");
    EXPECT_EQ(f.text("accelYText"), "40");
    QQuickItem* plot = f.item("accelPlot");
    QQuickItem* dot = f.item("accelDot");
    ASSERT_TRUE(plot && dot);
    const auto dot_at = [&](double px, double py) {
        const double side = plot->width();
        EXPECT_NEAR(dot->x() + dot->width() / 2, side / 2 * (1 + px), 0.5);
        EXPECT_NEAR(dot->y() + dot->height() / 2, side / 2 * (1 + py), 0.5);
    };
    dot_at(-0.5, -0.2);

    // Once the hold has run out the low-g sensor takes over; moving the
    // hold's end stands in for waiting ten seconds.
    f.view->sensors().adxl372.date_hold = system_clock_t::instance().now() - 1.0;
    f.receive(R"(adxl362={"x":12.0,"y":-3.0,"z":9.81})");
    EXPECT_EQ(f.text("accelerometerTitle"), "Accelerometer");
    EXPECT_EQ(number(f, "accelXPos", "progress"), 1.0);
    EXPECT_EQ(number(f, "accelXNeg", "progress"), 0.0);
    EXPECT_NEAR(number(f, "accelYNeg", "progress"), 0.3, 1e-6);
    EXPECT_NEAR(number(f, "accelZPos", "progress"), 0.981, 1e-6);
    EXPECT_EQ(f.text("accelXText"), "12.0");
    EXPECT_EQ(f.text("accelZText"), "9.8");
    // Beyond full scale the dot leaves the square instead of sticking to
    // its edge.
    dot_at(1.2, 0.3);
}

TEST(sensor_panels, magnetometer_calibration_buttons_and_shortcuts) {
    memory_settings_store_t store;
    ui_fixture_t f{no_board{}, 1024, 800, &store};
    ASSERT_TRUE(f.ok());
    const hmc5883_t& m = f.view->sensors().hmc5883;
    f.receive(R"(hmc5883={"x":100,"y":-50,"z":300})");
    ASSERT_TRUE(f.visible("hmcSaveButton"));
    // Nothing stored: the first reading starts the calibration by itself.
    EXPECT_EQ(m.calibration, calibration_state_t::xy);
    EXPECT_EQ(f.text("hmcStepButton"), "Next");
    EXPECT_TRUE(f.text("hmcStepText").startsWith("1/4"));
    int ticks = f.haptics.selections;

    // Save, by button and by Ctrl+S: the spare slot takes the ranges.
    ASSERT_TRUE(f.click("hmcSaveButton"));
    EXPECT_EQ(stored(store, "hmc5883.1.x_min"), 99);
    EXPECT_EQ(stored(store, "hmc5883.1.yv_max"), -49);
    EXPECT_EQ(stored(store, "hmc5883.1.z_max"), 301);
    f.receive(R"(hmc5883={"x":90,"y":-50,"z":300})");
    f.key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(stored(store, "hmc5883.1.x_min"), 90);

    // The steps, by Ctrl+C and by the button, with the button's label.
    struct step_t {
        bool click;
        calibration_state_t state;
        const char* label;
    };
    const step_t steps[] = {
        {false, calibration_state_t::xv, "Next"},      {true, calibration_state_t::yv, "Next"},
        {false, calibration_state_t::z, "Finish"},     {true, calibration_state_t::complete, "Calibrate"},
        {false, calibration_state_t::xy, "Next"},
    };
    for (const auto& s : steps) {
        if (s.click)
            ASSERT_TRUE(f.click("hmcStepButton"));
        else
            f.key(Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(m.calibration, s.state);
        EXPECT_EQ(f.text("hmcStepButton"), s.label);
    }
    // Starting over forgot the calibration in use and began at the counts.
    EXPECT_EQ(m.x_min, 89);
    f.receive(R"(hmc5883={"x":150,"y":-80,"z":350})");
    EXPECT_EQ(m.x_max, 150);

    // Load, by Ctrl+L and by the button: the spare comes back, becomes the
    // calibration in use, and the calibration is complete.
    f.key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(m.calibration, calibration_state_t::complete);
    EXPECT_EQ(m.x_min, 90);
    EXPECT_EQ(m.x_max, 101);
    EXPECT_EQ(stored(store, "hmc5883.0.x_max"), 101);
    store.write("hmc5883.1.x_max", std::int64_t{120});
    ASSERT_TRUE(f.click("hmcLoadButton"));
    EXPECT_EQ(m.x_max, 120);
    EXPECT_EQ(stored(store, "hmc5883.0.x_max"), 120);

    // The compensation switches name what is in force.
    EXPECT_EQ(f.text("hmcCompensateButton"), "compensate");
    ASSERT_TRUE(f.click("hmcCompensateButton"));
    EXPECT_FALSE(m.compensate);
    EXPECT_EQ(f.text("hmcCompensateButton"), "disabled");
    f.key(Qt::Key_C);
    EXPECT_TRUE(m.compensate);
    EXPECT_EQ(f.text("hmcCompensateButton"), "compensate");
    EXPECT_EQ(f.text("hmcModeButton"), "3D");
    ASSERT_TRUE(f.click("hmcModeButton"));
    EXPECT_FALSE(m.compensate_3d);
    EXPECT_EQ(f.text("hmcModeButton"), "2D");
    f.key(Qt::Key_3);
    EXPECT_TRUE(m.compensate_3d);
    EXPECT_EQ(f.text("hmcModeButton"), "3D");

    // reset-gyroscope forgets the integrated rotation, by button and Ctrl+R.
    const mpu6050_t& mpu = f.view->sensors().mpu6050;
    const char* turning = R"(mpu6050={"ax":0.1,"ay":0.2,"az":0.97,"gx":3.0,"gy":-2.0,"gz":5.0})";
    f.receive(turning);
    f.receive(turning);
    ASSERT_NE(mpu.sgz, 0.0);
    ASSERT_TRUE(f.click("hmcResetGyroButton"));
    EXPECT_EQ(mpu.sgx, 0.0);
    EXPECT_EQ(mpu.sgy, 0.0);
    EXPECT_EQ(mpu.sgz, 0.0);
    f.receive(turning);
    ASSERT_NE(mpu.sgz, 0.0);
    f.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(mpu.sgz, 0.0);

    // Every action gave its tick first: 2 saves, 5 steps, 2 loads, 4
    // switches, 2 resets.
    EXPECT_EQ(f.haptics.selections - ticks, 15);
}

TEST(sensor_panels, local_buttons_send_nothing_to_the_board) {
    ui_fixture_t f{device_model_t::hmc5883};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("hmcSaveButton"); }));
    f.take_written();

    for (const char* button : {"hmcSaveButton", "hmcLoadButton", "hmcStepButton", "hmcCompensateButton",
                               "hmcModeButton", "hmcResetGyroButton"})
        ASSERT_TRUE(f.click(button)) << button;
    f.key(Qt::Key_S, Qt::ControlModifier);
    f.key(Qt::Key_L, Qt::ControlModifier);
    f.key(Qt::Key_C, Qt::ControlModifier);
    f.key(Qt::Key_C);
    f.key(Qt::Key_3);
    f.key(Qt::Key_R, Qt::ControlModifier);
    f.pump(100);
    EXPECT_EQ(f.take_written(), "");

    // The same path does carry what is meant for the board.
    f.view->send("R\n");
    EXPECT_TRUE(f.wait_for([&] { return f.peripheral()->written() == "R\n\r\n"; }));
}

TEST(sensor_panels, compass_dial_turns_the_short_way) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    const auto line = [](double degrees) {
        const double r = degrees * 3.141592653589793 / 180.0;
        return "hmc5883n={\"x\":" + std::to_string(std::cos(r)) + ",\"y\":" + std::to_string(std::sin(r)) +
               ",\"z\":0.0}";
    };
    const double declination = 5.633333;
    f.receive(line(0));
    QQuickItem* dial = f.item("hmc5883nDial");
    ASSERT_TRUE(dial);
    EXPECT_EQ(f.text("hmc5883nDialText"), QString::fromUtf8("6\u00BA"));

    // Both steps are jumps (over 90º), so the card stands still at once.
    const auto shows = [&](double degrees) {
        return f.wait_for([&] {
            return std::abs(dial->property("shown").toDouble() - degrees) < 0.01 &&
                   std::abs(f.item("compassCard")->rotation() + degrees) < 0.01;
        });
    };
    f.receive(line(170));
    EXPECT_TRUE(shows(170 + declination));
    // Across the seam of the heading's range: 20º further on, not 340º back.
    f.receive(line(-170));
    EXPECT_TRUE(shows(190 + declination)) << dial->property("shown").toDouble();
    EXPECT_EQ(f.text("hmc5883nDialText"), QString::fromUtf8("196\u00BA"));
}

}  // namespace
}  // namespace plimsy::test
