#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QQuickItem>
#include <QSGGeometry>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <vector>

#include "platform/clock.hpp"
#include "traces/plot_geometry.hpp"

class QSGNode;

namespace plimsy {

class content_view_model_t;

// Scene-graph vertices for the trace plot. They live apart from the item so
// that what the plot hands to the renderer can be checked without a window.
namespace plot_vertices {

// A series is stroked as a triangle strip, two vertices per point: line
// widths above one pixel are not available on every graphics API,
// triangles are. Neighbouring segments share their corners (mitred), so a
// full plot is 4000 vertices per series rather than 12000 for separate
// quads.
constexpr int series_count(std::size_t points) { return points < 2 ? 0 : 2 * static_cast<int>(points); }
// A mitre never reaches further than this many half widths from its point;
// sharper turns get a flatter corner instead of a long spike.
inline constexpr double mitre_limit = 2.0;
// The axis and grid as a plain line list.
constexpr int axis_count(std::size_t segments) { return 2 * static_cast<int>(segments); }

// Writes series_count(points.size()) vertices.
void stroke(const std::vector<plot_geometry_t::point_t>& points, double width, QSGGeometry::Point2D* out);
// Writes axis_count(segments.size()) vertices.
void lines(const std::vector<plot_geometry_t::segment_t>& segments, QSGGeometry::Point2D* out);

// Brings the node tree for `plot` up to date, or makes it when `root` is
// null: first child the axis, then one child per drawn series, in order.
// Geometry and materials are kept while their vertex count stays, so a
// rebuild per frame does not allocate. Returns the root.
QSGNode* update_nodes(QSGNode* root, const plot_geometry_t& plot);

}  // namespace plot_vertices

// The live plot of the traces: axis, grid and the enabled series of the
// sensors model's trace_t, laid out by the trace itself for this item's
// size and redrawn at most once per frame while the main screen changes.
class trace_plot_item_t : public QQuickItem {
    Q_OBJECT
    QML_NAMED_ELEMENT(TracePlot)
    Q_PROPERTY(plimsy::content_view_model_t* view READ view WRITE set_view NOTIFY view_changed)

public:
    explicit trace_plot_item_t(QQuickItem* parent = nullptr);
    ~trace_plot_item_t() override;

    content_view_model_t* view() const;
    void set_view(content_view_model_t* view);

    // How often any plot turned new samples into vertices; frame
    // statistics compare it with the number of frames.
    static std::uint64_t rebuilds();

signals:
    void view_changed();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData*) override;
    void geometryChange(const QRectF& now, const QRectF& before) override;

private:
    // Asks again once the trace will lay out anew, for samples that came
    // after a throttled frame and may not be followed by an announcement.
    void refresh_at(time_point_t when);

    QPointer<content_view_model_t> view_;
    QMetaObject::Connection connection_;
    QTimer refresh_;
    // The trace's view_time when its plot was last turned into nodes: the
    // trace moves it on each rebuild, so an unchanged value means our nodes
    // already show what the trace has laid out.
    time_point_t built_view_time_ = distant_past;
    double built_width_ = 0;
    double built_height_ = 0;
};

}  // namespace plimsy
