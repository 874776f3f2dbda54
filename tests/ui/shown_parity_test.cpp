// The window's view models against the shown values: the same stream fed to
// the main screen's model, then every property of every panel model that
// the board kind shows must equal the shown value it adapts. A property
// without an entry in the table below fails, so a new one cannot slip past.

#include <QColor>
#include <QMetaProperty>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/settings_store.hpp"
#include "shown/screen.hpp"
#include "shown/shown_lookup.hpp"
#include "sim/simulated_central.hpp"
#include "ui/accelerometer_panel_model.hpp"
#include "ui/colour_panel_model.hpp"
#include "ui/compass_calibration_panel_model.hpp"
#include "ui/compass_panel_model.hpp"
#include "ui/content_view_model.hpp"
#include "ui/environment_panel_model.hpp"
#include "ui/gavrin3_panel_model.hpp"
#include "ui/gyroscope_panel_model.hpp"
#include "ui/hmc5883_calibration_panel_model.hpp"
#include "ui/hmc5883_panel_model.hpp"
#include "ui/hmc5883n_panel_model.hpp"
#include "ui/shown_colour.hpp"
#include "ui/value_row.hpp"

namespace plimsy::test {
namespace {

// Where a property's value is among the shown values: object and value.
using mapping_t = std::map<std::string, std::pair<std::string, std::string>>;

// Properties that are not values of the board's state (the capture model
// and whether a replay is shown belong to the window, not to the board).
bool skipped(const std::string& name) {
    return name == "objectName" || name == "view" || name == "tooltips" || name == "show_config" ||
           name == "portrait" || name == "settings_notice" || name == "capture" || name == "replaying" ||
           name == "can_send";
}

// A table property: rows of cells (lists of {text, colour} maps) against
// the object's "<table>_<row>" lines and their cell colours.
void expect_table(const QVariantList& rows, const std::vector<shown_object_t>& s, const std::string& object,
                  const std::string& table) {
    for (int r = 0; r < rows.size(); ++r) {
        const std::string prefix = table + "_" + std::to_string(r);
        QString line;
        const QVariantList cells = rows[r].toList();
        for (int c = 0; c < cells.size(); ++c) {
            const QVariantMap cell = cells[c].toMap();
            line += cell.value("text").toString();
            EXPECT_EQ(cell.value("colour").value<QColor>(),
                      shown_colour(text(s, object, prefix + "_colour_" + std::to_string(c))))
                << prefix << " cell " << c;
        }
        EXPECT_EQ(line.toStdString(), text(s, object, prefix));
    }
    // No row beyond the ones shown.
    EXPECT_EQ(find_value(*find_object(s, object), table + "_" + std::to_string(rows.size())), nullptr);
}

void expect_property(const QObject& model, const QMetaProperty& p, const std::vector<shown_object_t>& s,
                     const std::string& object, const std::string& value) {
    const QVariant v = p.read(&model);
    const std::string name = p.name();
    SCOPED_TRACE(std::string(model.metaObject()->className()) + "." + name + " = " + object + "." + value);
    ASSERT_NE(find_object(s, object), nullptr);
    switch (v.metaType().id()) {
        case QMetaType::QString: EXPECT_EQ(v.toString().toStdString(), text(s, object, value)); break;
        case QMetaType::Double: EXPECT_EQ(v.toDouble(), number(s, object, value)); break;
        case QMetaType::Bool: EXPECT_EQ(v.toBool(), flag(s, object, value)); break;
        case QMetaType::QColor: {
            const std::string shown = text(s, object, value);
            // The swatches are colours of light, shown as "#rrggbb".
            if (!shown.empty() && shown[0] == '#')
                EXPECT_EQ(v.value<QColor>().name().toStdString(), shown);
            else
                EXPECT_EQ(v.value<QColor>(), shown_colour(shown));
            break;
        }
        case QMetaType::QStringList: {
            const QStringList list = v.toStringList();
            if (name == "table_lines") {
                for (int i = 0; i < list.size(); ++i)
                    EXPECT_EQ(list[i].toStdString(), text(s, object, value + "_" + std::to_string(i)));
            } else {  // the legend: its slots, unused ones empty
                for (int i = 0; i < trace_shown_t::legend_slots; ++i)
                    EXPECT_EQ(i < list.size() ? list[i].toStdString() : std::string(),
                              text(s, object, value + "_" + std::to_string(i)));
            }
            break;
        }
        case QMetaType::QVariantList: {
            const QVariantList list = v.toList();
            if (name == "legend_colours") {
                for (int i = 0; i < trace_shown_t::legend_slots; ++i) {
                    const std::string shown = text(s, object, "legend_colour_" + std::to_string(i));
                    if (i < list.size())
                        EXPECT_EQ(list[i].value<QColor>(), shown_colour(shown));
                    else
                        EXPECT_EQ(shown, "clear");
                }
            } else {
                expect_table(list, s, object, value);
            }
            break;
        }
        default:
            if (v.metaType() == QMetaType::fromType<value_row_t>()) {
                const auto row = v.value<value_row_t>();
                EXPECT_EQ(row.title.toStdString(), text(s, object, value + "_title"));
                EXPECT_EQ(row.value.toStdString(), text(s, object, value));
                EXPECT_EQ(row.unit.toStdString(), text(s, object, value + "_unit"));
                EXPECT_EQ(row.fraction, number(s, object, value + "_fraction"));
                EXPECT_TRUE(row.gauge);
            } else {
                ADD_FAILURE() << "a property of a kind the test does not know: " << v.typeName();
            }
    }
}

// Every property of `model` against the state: `renamed` gives a
// property's object and value; any other property is the value of the
// same name in `object`.
void expect_model(const QObject& model, const std::vector<shown_object_t>& s, const std::string& object,
                  const mapping_t& renamed = {}) {
    const QMetaObject* meta = model.metaObject();
    int checked = 0;
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        const std::string name = p.name();
        if (skipped(name)) continue;
        const auto it = renamed.find(name);
        const auto& [o, v] = it != renamed.end() ? it->second : std::pair<std::string, std::string>{object, name};
        expect_property(model, p, s, o, v);
        ++checked;
    }
    EXPECT_GT(checked, 0) << meta->className();
}

// The main screen's model with the board's settings in memory and a radio
// that finds nothing, so only the test's lines reach the sensors model.
struct screen_t {
    screen_t() {
        content_options_t o;
        o.store = &store;
        o.console = &console;
        o.haptics = &haptics;
        o.make_central = [] { return std::make_unique<simulated_central_t>(); };
        view = std::make_unique<content_view_model_t>(o);
    }
    void feed(const std::vector<std::string>& lines) {
        view->cnc().pipeline.set_log_enable(true);
        for (const auto& line : lines) view->cnc().pipeline.receive_line(line);
    }
    std::vector<shown_object_t> state() { return shown_state(view->cnc(), view->cfg()); }
    template <typename M>
    std::unique_ptr<M> panel() {
        auto m = std::make_unique<M>();
        m->set_view(view.get());
        return m;
    }

    memory_settings_store_t store;
    captured_console_t console;
    counting_haptics_t haptics;
    std::unique_ptr<content_view_model_t> view;
};

void expect_screen(screen_t& sc, const std::vector<shown_object_t>& s) { expect_model(*sc.view, s, "screen"); }

void expect_compass_panels(screen_t& sc, const std::string& model) {
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), model);
    expect_model(*sc.panel<compass_panel_model_t>(), s, "compass",
                 {{"gravity_x_s", {"gravity", "x_s"}},
                  {"gravity_y_s", {"gravity", "y_s"}},
                  {"gravity_z_s", {"gravity", "z_s"}},
                  {"rax", {"gravity", "rax"}},
                  {"ray", {"gravity", "ray"}},
                  {"raz", {"gravity", "raz"}},
                  {"gravity_anim_time", {"gravity", "anim_time"}}});
    expect_model(*sc.panel<compass_calibration_panel_model_t>(), s, "compass_c", {{"table_lines", {"compass_c", "table"}}});
    expect_screen(sc, s);
}

const char* calibrating =
    R"(compass_c={"h":10,"x_raw":100,"y_raw":-50,"z_raw":7,"x_min":-200,"y_min":-300,"z_min":-400,)"
    R"("x_max":200,"y_max":300,"z_max":400,"xv_min":-11,"yv_min":-22,"xv_max":33,"yv_max":44,)"
    R"("z_ang":-5,"c":"xv","e":"a1"})";

TEST(shown_parity, compass_gravity) {
    screen_t sc;
    sc.feed({calibrating, R"(compass={"h":-90,"x":1.25,"y":-0.25,"z":9.81,"c":"xy"})"});
    expect_compass_panels(sc, "compass_gravity");
}

TEST(shown_parity, compass) {
    screen_t sc;
    sc.feed({calibrating, R"(compass={"h":271.5})", "boot ok"});
    expect_compass_panels(sc, "compass");
}

TEST(shown_parity, gravity) {
    screen_t sc;
    sc.feed({R"(gravity={"x":3,"y":0,"z":-4})", R"(gravity={"x":-1.5,"y":2,"z":-9})"});
    expect_compass_panels(sc, "gravity");
}

TEST(shown_parity, gyroscope) {
    screen_t sc;
    sc.feed({R"(gyroscope={"x":190,"y":-190,"z":540})"});
    sc.view->sensors().trace.toggle_enable(2);
    sc.view->sensors().trace.toggle_hold();
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "gyroscope");
    expect_model(*sc.panel<gyroscope_panel_model_t>(), s, "gyroscope",
                 {{"hold_text", {"trace", "hold_text"}},
                  {"held", {"trace", "held"}},
                  {"show_reset", {"trace", "show_reset"}},
                  {"legend", {"trace", "legend"}},
                  {"legend_colours", {"trace", "legend_colour"}}});
    expect_screen(sc, s);
}

TEST(shown_parity, hmc5883) {
    screen_t sc;
    sc.feed({R"(hmc5883={"x":100,"y":-50,"z":300})", R"(mpu6050={"ax":0.3,"ay":-0.2,"az":0.9,"gx":1,"gy":2,"gz":5})",
             R"(hmc5883={"x":140,"y":-90,"z":310})"});
    sc.view->sensors().hmc5883_calibration_next();
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "hmc5883");
    const std::vector<std::string> motion = {"roll", "pitch", "yaw"};
    mapping_t renamed;
    for (const auto& m : motion) renamed[m] = {"mpu6050", m};
    expect_model(*sc.panel<hmc5883_panel_model_t>(), s, "hmc5883", renamed);
    expect_model(*sc.panel<hmc5883_calibration_panel_model_t>(), s, "hmc5883");
    expect_screen(sc, s);
}

TEST(shown_parity, hmc5883n) {
    screen_t sc;
    sc.feed({R"(hmc5883n={"x":-0.3,"y":0.8,"z":-0.5})"});
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "hmc5883n");
    expect_model(*sc.panel<hmc5883n_panel_model_t>(), s, "hmc5883n");
    expect_screen(sc, s);
}

TEST(shown_parity, gavrin3) {
    screen_t sc;
    sc.feed({R"(shtc3={"temp":12.5,"humidity":75.0})",
             R"(adp536x={"cs1":"0x02","cs2":"0x00","pgs":"0x01","voltage":4050,"level":88})",
             R"(rtc={"y":2026,"m":12,"d":7,"hh":4,"mm":5,"ss":6})", R"(gavrin3_events={"alarm":1,"PIR":0})",
             R"(iis2dlpc={"x":-2.5,"y":0.0,"z":9.8})"});
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "gavrin3");
    expect_model(*sc.panel<gavrin3_panel_model_t>(), s, "gavrin3_events",
                 {{"temperature", {"shtc3", "temperature"}},
                  {"humidity", {"shtc3", "humidity"}},
                  {"battery", {"adp536x", "battery"}}});
    expect_model(*sc.panel<accelerometer_panel_model_t>(), s, "accelerometer");
    expect_screen(sc, s);
}

TEST(shown_parity, plimsy91) {
    screen_t sc;
    sc.feed({R"(bme680={"temp":25.0,"pressure":101.5,"humidity":50.0,"gas":450000})",
             R"(bh1749={"r":100,"g":50,"b":25,"i":40})", R"(adxl372={"x":-250.0,"y":40.0,"z":0.0})"});
    sc.view->sensors().bh1749_white_balance();
    const auto s = sc.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "plimsy91");
    expect_model(*sc.panel<environment_panel_model_t>(), s, "bme680");
    expect_model(*sc.panel<colour_panel_model_t>(), s, "bh1749");
    expect_model(*sc.panel<accelerometer_panel_model_t>(), s, "accelerometer");
    expect_screen(sc, s);
}

// No line selects compass_bearing; set by hand, it shows the plimsy91
// panels without the accelerometer. Bridge mode puts both statuses in
// the toolbar.
TEST(shown_parity, compass_bearing) {
    screen_t sc;
    sc.feed({R"(bme680={"temp":-3.5,"pressure":99.0,"humidity":12.25,"gas":780000})",
             R"(bh1749={"r":7,"g":300,"b":65535,"i":12000})"});
    sc.view->sensors().device_model = device_model_t::compass_bearing;
    sc.view->cfg().set_enable_bridge(true);
    const auto s = sc.state();
    EXPECT_EQ(object_names(s), (std::vector<std::string>{"bh1749", "bme680", "screen"}));
    EXPECT_TRUE(flag(s, "screen", "show_status_gap"));
    expect_model(*sc.panel<environment_panel_model_t>(), s, "bme680");
    expect_model(*sc.panel<colour_panel_model_t>(), s, "bh1749");
    expect_screen(sc, s);
}

}  // namespace
}  // namespace plimsy::test
