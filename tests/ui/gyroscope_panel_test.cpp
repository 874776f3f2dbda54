#include <QImage>
#include <QSGFlatColorMaterial>
#include <QSGGeometryNode>
#include <cmath>
#include <memory>

#include "model/sensors.hpp"
#include "traces/trace.hpp"
#include "ui/trace_plot_item.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

const char* const gyro_line = R"(gyroscope={"x":4.91,"y":9.63,"z":-168.00})";

// Waits for what the board receives: BLE writes complete asynchronously.
std::string written(ui_fixture_t& f) {
    std::string s;
    f.wait_for([&] {
        s += f.take_written();
        return !s.empty();
    });
    f.pump(20);
    return s + f.take_written();
}

TEST(gyroscope_panel, title_button_and_r_reset_the_board_gyroscope) {
    ui_fixture_t f{device_model_t::gyroscope};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.wait_connected());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("gyroscopeButton"); }));
    EXPECT_EQ(f.text("gyroscopeButton"), "Gyroscope");
    f.take_written();
    const int ticks = f.haptics.selections;

    ASSERT_TRUE(f.click("gyroscopeButton"));
    // "R" and a line feed, which BLE wraps in CR LF.
    EXPECT_EQ(written(f), "R\n\r\n");
    f.key(Qt::Key_R);
    EXPECT_EQ(written(f), "R\n\r\n");
    EXPECT_EQ(f.haptics.selections - ticks, 2);
}

TEST(gyroscope_panel, angles_hold_reset_and_legend_act_on_the_trace) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    f.receive(gyro_line);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("gyroscopeButton"); }));
    f.pump();

    // The board's degrees come back from the radians the model stores.
    EXPECT_EQ(f.text("gyroscopeX"), "4.9");
    EXPECT_EQ(f.text("gyroscopeY"), "9.6");
    EXPECT_EQ(f.text("gyroscopeZ"), "-168.0");
    f.receive(R"(gyroscope={"x":190.0,"y":-0.04,"z":540.0})");
    EXPECT_EQ(f.text("gyroscopeX"), "-170.0");
    EXPECT_EQ(f.text("gyroscopeY"), "-0.0");
    EXPECT_EQ(f.text("gyroscopeZ"), "180.0");

    trace_t& trace = f.view->sensors().trace;
    const int ticks = f.haptics.selections;
    ASSERT_EQ(trace.count(), 2);

    // Hold freezes the trace while lines keep arriving; the label says
    // what the button will do next.
    EXPECT_EQ(f.text("holdButton"), "Hold");
    ASSERT_TRUE(f.click("holdButton"));
    EXPECT_TRUE(trace.hold());
    EXPECT_EQ(f.text("holdButton"), "Enable");
    f.receive(gyro_line);
    EXPECT_EQ(trace.count(), 2);
    ASSERT_TRUE(f.click("holdButton"));
    EXPECT_FALSE(trace.hold());
    EXPECT_EQ(f.text("holdButton"), "Hold");
    f.receive(gyro_line);
    EXPECT_EQ(trace.count(), 3);

    // Reset clears at once, although a sample has just arrived.
    EXPECT_EQ(f.text("resetButton"), "Reset");
    ASSERT_TRUE(f.click("resetButton"));
    EXPECT_EQ(trace.count(), 0);
    EXPECT_EQ(trace.count_valid(), 0);

    // One legend entry per gyroscope series; a tap hides its series and
    // greys the entry, another shows it again.
    ASSERT_TRUE(f.item("legend_gyro.x") && f.item("legend_gyro.y") && f.item("legend_gyro.z"));
    EXPECT_EQ(f.item("legend_gravity.x"), nullptr);
    EXPECT_EQ(f.item("legend_gyro.y")->property("textColour").value<QColor>(), palette_colour(colour_t::green));
    ASSERT_TRUE(f.click("legend_gyro.y"));
    EXPECT_FALSE(trace.enabled(1));
    EXPECT_TRUE(trace.enabled(0));
    EXPECT_TRUE(trace.enabled(2));
    EXPECT_EQ(f.item("legend_gyro.y")->property("textColour").value<QColor>(), palette_colour(colour_t::tertiary));
    ASSERT_TRUE(f.click("legend_gyro.y"));
    EXPECT_TRUE(trace.enabled(1));

    // Every action began with a selection tick.
    EXPECT_EQ(f.haptics.selections - ticks, 5);
}

// Pixels near the series red inside the plot, as the window shows it.
int red_pixels(ui_fixture_t& f) {
    QQuickItem* plot = f.item("tracePlot");
    if (!plot) return -1;
    const QImage image = f.window->grabWindow();
    const QRectF r = plot->mapRectToScene(QRectF(0, 0, plot->width(), plot->height()));
    const qreal dpr = image.devicePixelRatio();
    int n = 0;
    for (int y = int(r.top() * dpr); y < int(r.bottom() * dpr) && y < image.height(); ++y)
        for (int x = int(r.left() * dpr); x < int(r.right() * dpr) && x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 110 && c.blue() < 110) ++n;
        }
    return n;
}

TEST(gyroscope_panel, plot_draws_the_series_that_are_switched_on) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    // x high and level, y and z low, so the red line stands alone.
    for (int i = 0; i < 400; ++i) f.view->cnc().pipeline.receive_line(R"(gyroscope={"x":120.0,"y":-60.0,"z":-90.0})");
    ASSERT_TRUE(f.wait_for([&] { return f.visible("tracePlot"); }));
    // A fifth of the width, two pixels thick.
    EXPECT_TRUE(f.wait_for([&] { return red_pixels(f) > 100; }));
    ASSERT_TRUE(f.click("legend_gyro.x"));
    EXPECT_TRUE(f.wait_for([&] { return red_pixels(f) == 0; }));
}

// The nodes the plot hands to the renderer, built from a trace with a
// clock under the test's control.
struct plot_nodes_t {
    manual_clock_t clock;
    trace_t trace{clock};
    std::unique_ptr<QSGNode> root;

    const plot_geometry_t& plot(double w = 400, double h = 200) {
        clock.advance(1.0);  // past the trace's layout throttle
        return trace.plot_view(w, h);
    }
    void build(const plot_geometry_t& g) {
        QSGNode* r = plot_vertices::update_nodes(root.get(), g);
        if (r != root.get()) root.reset(r);
    }
    QSGGeometryNode* node(int i) const { return static_cast<QSGGeometryNode*>(root->childAtIndex(i)); }
    QColor colour(int i) const { return static_cast<QSGFlatColorMaterial*>(node(i)->material())->color(); }
};

TEST(trace_plot, nodes_follow_the_trace) {
    plot_nodes_t p;
    // One sample makes no line: only the axis is drawn.
    p.trace.add_gyro(0, 90, -90);
    p.build(p.plot());
    ASSERT_EQ(p.root->childCount(), 1);
    const QSGGeometry* axis = p.node(0)->geometry();
    EXPECT_EQ(axis->drawingMode(), QSGGeometry::DrawLines);
    // Left, right, bottom, top and seven grid lines.
    EXPECT_EQ(axis->vertexCount(), 22);
    EXPECT_EQ(p.colour(0), palette_colour(colour_t::tertiary));
    // The 0° grid line halves the height.
    const auto* a = axis->vertexDataAsPoint2D();
    EXPECT_FLOAT_EQ(a[14].y, 100.0f);
    EXPECT_FLOAT_EQ(a[15].x, 400.0f);

    // Three samples: three strips of two vertices per point, in their
    // colours.
    p.trace.add_gyro(0, 90, -90);
    p.trace.add_gyro(0, 90, -90);
    p.build(p.plot());
    ASSERT_EQ(p.root->childCount(), 4);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(p.node(i)->geometry()->drawingMode(), QSGGeometry::DrawTriangleStrip);
        EXPECT_EQ(p.node(i)->geometry()->vertexCount(), 6);
    }
    EXPECT_EQ(p.colour(1), palette_colour(colour_t::red));
    EXPECT_EQ(p.colour(2), palette_colour(colour_t::green));
    EXPECT_EQ(p.colour(3), palette_colour(colour_t::blue));
    // A level line at 90° is a band two pixels high around a quarter of
    // the height, starting at the left edge.
    const auto* y = p.node(2)->geometry()->vertexDataAsPoint2D();
    EXPECT_FLOAT_EQ(y[0].x, 0.0f);
    EXPECT_FLOAT_EQ(y[0].y, 51.0f);
    EXPECT_FLOAT_EQ(y[1].y, 49.0f);
    EXPECT_FLOAT_EQ(y[2].x, 0.2f);

    // A hidden series loses its node; the others move up in order.
    p.trace.toggle_enable(1);
    p.build(p.plot());
    ASSERT_EQ(p.root->childCount(), 3);
    EXPECT_EQ(p.colour(1), palette_colour(colour_t::red));
    EXPECT_EQ(p.colour(2), palette_colour(colour_t::blue));
    p.trace.toggle_enable(1);

    // Once the ring is full the point count stays, and so does the vertex
    // storage: the next frame rewrites it in place with the scrolled data.
    for (int i = 0; i < trace_t::count_max; ++i) p.trace.add_gyro(i % 2 ? 45 : -45, 0, 0);
    p.build(p.plot());
    ASSERT_EQ(p.root->childCount(), 4);
    EXPECT_EQ(p.node(1)->geometry()->vertexCount(), plot_vertices::series_count(2000));
    const void* storage = p.node(1)->geometry()->vertexData();
    const float first_y = p.node(1)->geometry()->vertexDataAsPoint2D()[0].y;
    p.trace.add_gyro(170, 0, 0);
    p.build(p.plot());
    EXPECT_EQ(p.node(1)->geometry()->vertexData(), storage);
    EXPECT_NE(p.node(1)->geometry()->vertexDataAsPoint2D()[0].y, first_y);
    // The newest sample is the right end of the line.
    const auto* x = p.node(1)->geometry()->vertexDataAsPoint2D();
    const int last = plot_vertices::series_count(2000) - 1;
    EXPECT_NEAR(x[last].x, 1999 * 400.0 / 2000, 1.0);
    EXPECT_NEAR(x[last].y, plot_geometry_t::y_of(170, 200), 1.0);

    // A switch to data with one series drops the other nodes.
    p.trace.add_heading(10);
    p.build(p.plot());
    EXPECT_EQ(p.root->childCount(), 2);
    EXPECT_EQ(p.colour(1), palette_colour(colour_t::primary));
}

// Distance of q from the line through a and b.
double from_line(const QSGGeometry::Point2D& q, plot_geometry_t::point_t a, plot_geometry_t::point_t b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    return std::abs((q.x - a.x) * dy - (q.y - a.y) * dx) / std::hypot(dx, dy);
}

TEST(trace_plot, stroke_keeps_its_width_along_every_segment) {
    using pt = plot_geometry_t::point_t;
    std::vector<QSGGeometry::Point2D> v;
    auto stroke = [&](const std::vector<pt>& points) {
        v.assign(static_cast<std::size_t>(plot_vertices::series_count(points.size())), {});
        plot_vertices::stroke(points, 2.0, v.data());
        for (const auto& q : v) ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y));
    };

    // A bend, a vertical run and two samples on one spot.
    const std::vector<pt> bend{{0, 0}, {3, 4}, {3, 10}, {3, 10}};
    stroke(bend);
    ASSERT_EQ(v.size(), 8u);
    // The ends sit square across their segment, one unit either side.
    EXPECT_NEAR(v[0].x, -0.8, 1e-5);
    EXPECT_NEAR(v[0].y, 0.6, 1e-5);
    EXPECT_NEAR(v[1].x, 0.8, 1e-5);
    EXPECT_NEAR(v[1].y, -0.6, 1e-5);
    // The corner is one unit from both segments it joins.
    for (int k : {2, 3}) {
        EXPECT_NEAR(from_line(v[k], bend[0], bend[1]), 1.0, 1e-5);
        EXPECT_NEAR(from_line(v[k], bend[1], bend[2]), 1.0, 1e-5);
    }
    EXPECT_FLOAT_EQ(v[4].x, 2.0f);
    EXPECT_FLOAT_EQ(v[7].x, 4.0f);

    // A spike: the mitre is cut at the limit instead of shooting off.
    const std::vector<pt> spike{{0, 0}, {0.5, -40}, {1, 0}};
    stroke(spike);
    for (int k : {2, 3}) {
        const double reach = std::hypot(v[k].x - 0.5, v[k].y + 40);
        EXPECT_NEAR(reach, plot_vertices::mitre_limit, 1e-4);
        EXPECT_NEAR(v[k].x, 0.5, 1e-4);  // straight along the spike's axis
    }
    // A full reversal has no bisector and goes straight across.
    stroke({{0, 0}, {1, 0}, {0, 0}});
    EXPECT_NEAR(std::hypot(v[2].x - v[3].x, v[2].y - v[3].y), 2.0, 1e-5);
}

}  // namespace
}  // namespace plimsy::test
