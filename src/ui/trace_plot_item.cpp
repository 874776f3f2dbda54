#include "ui/trace_plot_item.hpp"

#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QQuickWindow>
#include <QSGFlatColorMaterial>
#include <QSGGeometryNode>
#include <QSGRenderNode>
#include <QSGRendererInterface>
#include <atomic>
#include <cmath>

#include "model/sensors.hpp"
#include "ui/content_view_model.hpp"
#include "ui/palette.hpp"

namespace plimsy {

namespace {

std::atomic<std::uint64_t> rebuild_counter{0};

QSGGeometry::Point2D at(double x, double y) { return {static_cast<float>(x), static_cast<float>(y)}; }

QSGGeometryNode* make_node(unsigned int mode, float line_width) {
    auto* geometry = new QSGGeometry(QSGGeometry::defaultAttributes_Point2D(), 0);
    geometry->setDrawingMode(mode);
    geometry->setLineWidth(line_width);
    auto* node = new QSGGeometryNode;
    node->setGeometry(geometry);
    node->setMaterial(new QSGFlatColorMaterial);
    node->setFlags(QSGNode::OwnsGeometry | QSGNode::OwnsMaterial | QSGNode::OwnedByParent);
    return node;
}

// Sizes the node's vertex storage, reallocating only when the count
// changes; the caller writes the vertices and marks them dirty.
QSGGeometry::Point2D* vertices(QSGGeometryNode* node, int count) {
    QSGGeometry* g = node->geometry();
    if (g->vertexCount() != count) g->allocate(count);
    return g->vertexDataAsPoint2D();
}

void set_colour(QSGGeometryNode* node, const QColor& colour) {
    auto* m = static_cast<QSGFlatColorMaterial*>(node->material());
    if (m->color() == colour) return;
    m->setColor(colour);
    node->markDirty(QSGNode::DirtyMaterial);
}

void vertices_written(QSGGeometryNode* node) {
    node->geometry()->markVertexDataDirty();
    node->markDirty(QSGNode::DirtyGeometry);
}

// The software renderer draws no custom geometry, so where there is no
// graphics API (the offscreen platform, remote sessions) the same plot is
// painted with QPainter from a copy taken while the scene is synchronised.
class painted_plot_node_t final : public QSGRenderNode {
public:
    explicit painted_plot_node_t(QQuickWindow* window) : window_(window) {}

    void set(const plot_geometry_t& plot) {
        bounds_ = QRectF(-plot.series_stroke, -plot.series_stroke, plot.width + 2 * plot.series_stroke,
                         plot.height + 2 * plot.series_stroke);
        axis_.resize(plot.axis.size());
        for (std::size_t i = 0; i < plot.axis.size(); ++i) {
            const auto& s = plot.axis[i];
            axis_[i] = QLineF(s.from.x, s.from.y, s.to.x, s.to.y);
        }
        axis_pen_ = QPen(palette_colour(plot.axis_colour), plot.axis_stroke);
        if (series_.size() < plot.series.size()) series_.resize(plot.series.size());
        shown_ = plot.series.size();
        for (std::size_t i = 0; i < shown_; ++i) {
            const auto& line = plot.series[i];
            auto& out = series_[i];
            out.pen = QPen(palette_colour(line.colour), plot.series_stroke, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
            const std::size_t n = line.points.size();
            out.segments.resize(n > 1 ? n - 1 : 0);
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const auto& a = line.points[k];
                const auto& b = line.points[k + 1];
                out.segments[k] = QLineF(a.x, a.y, b.x, b.y);
            }
        }
        markDirty(QSGNode::DirtyMaterial);
    }

    void render(const RenderState* state) override {
        QSGRendererInterface* rif = window_->rendererInterface();
        auto* p = static_cast<QPainter*>(rif->getResource(window_, QSGRendererInterface::PainterResource));
        if (!p) return;
        const QRegion* clip = state->clipRegion();
        // The clip is in window coordinates, so it goes before the transform.
        if (clip && !clip->isEmpty()) p->setClipRegion(*clip, Qt::ReplaceClip);
        p->setTransform(matrix()->toTransform());
        p->setOpacity(inheritedOpacity());
        // Without antialiasing, like the strokes on the graphics API; with
        // it, the many short segments would each blend their edges over
        // the last and wash the colour out.
        p->setRenderHint(QPainter::Antialiasing, false);
        p->setPen(axis_pen_);
        p->drawLines(axis_.data(), static_cast<int>(axis_.size()));
        for (std::size_t i = 0; i < shown_; ++i) {
            p->setPen(series_[i].pen);
            // Separate segments rather than one polyline: a wide stroke of
            // 2000 points as one self-crossing path costs the raster
            // engine about five times as much. Square caps overlap the
            // neighbours, so segments shorter than a pixel leave no holes.
            p->drawLines(series_[i].segments.data(), static_cast<int>(series_[i].segments.size()));
        }
    }

    StateFlags changedStates() const override { return {}; }
    RenderingFlags flags() const override { return BoundedRectRendering; }
    QRectF rect() const override { return bounds_; }

private:
    struct series_t {
        QPen pen;
        std::vector<QLineF> segments;
    };
    QQuickWindow* window_;
    QRectF bounds_;
    std::vector<QLineF> axis_;
    QPen axis_pen_;
    // Kept beyond the series shown, so that switching one off and on again
    // reuses its point storage.
    std::vector<series_t> series_;
    std::size_t shown_ = 0;
};

}  // namespace

namespace plot_vertices {

void stroke(const std::vector<plot_geometry_t::point_t>& points, double width, QSGGeometry::Point2D* out) {
    const std::size_t n = points.size();
    if (n < 2) return;
    const double half = width / 2;
    // Unit normal of the segment from point i to i + 1. Two samples on one
    // spot (a plot of zero width) keep the previous direction, or a level
    // one, instead of dividing by zero.
    double last_nx = 0, last_ny = 1;
    auto normal = [&](std::size_t i, double& nx, double& ny) {
        const double dx = points[i + 1].x - points[i].x;
        const double dy = points[i + 1].y - points[i].y;
        const double length = std::hypot(dx, dy);
        if (length > 0) {
            last_nx = -dy / length;
            last_ny = dx / length;
        }
        nx = last_nx;
        ny = last_ny;
    };
    double in_x, in_y;  // normal of the segment ending at point i
    normal(0, in_x, in_y);
    for (std::size_t i = 0; i < n; ++i) {
        double out_x = in_x, out_y = in_y;  // normal of the segment leaving it
        if (i + 1 < n) normal(i, out_x, out_y);
        // The mitre bisects the two normals; its length keeps the band
        // `width` wide along both segments.
        double mx = in_x + out_x;
        double my = in_y + out_y;
        const double m = std::hypot(mx, my);
        double reach = half;
        if (m > 1e-9) {
            mx /= m;
            my /= m;
            const double cos_half_turn = mx * in_x + my * in_y;
            reach = cos_half_turn > 1 / mitre_limit ? half / cos_half_turn : half * mitre_limit;
        } else {
            // A full reversal: no bisector, so the corner goes across.
            mx = in_x;
            my = in_y;
        }
        const auto& p = points[i];
        *out++ = at(p.x + mx * reach, p.y + my * reach);
        *out++ = at(p.x - mx * reach, p.y - my * reach);
        in_x = out_x;
        in_y = out_y;
    }
}

void lines(const std::vector<plot_geometry_t::segment_t>& segments, QSGGeometry::Point2D* out) {
    for (const auto& s : segments) {
        *out++ = at(s.from.x, s.from.y);
        *out++ = at(s.to.x, s.to.y);
    }
}

QSGNode* update_nodes(QSGNode* root, const plot_geometry_t& plot) {
    if (!root) {
        root = new QSGNode;
        root->appendChildNode(make_node(QSGGeometry::DrawLines, static_cast<float>(plot.axis_stroke)));
    }
    auto* axis = static_cast<QSGGeometryNode*>(root->firstChild());
    lines(plot.axis, vertices(axis, axis_count(plot.axis.size())));
    vertices_written(axis);
    set_colour(axis, palette_colour(plot.axis_colour));

    QSGNode* child = axis->nextSibling();
    for (const auto& line : plot.series) {
        if (!child) {
            auto* node = make_node(QSGGeometry::DrawTriangleStrip, 1.0f);
            // New vertices every frame: let the renderer keep a buffer of
            // its own for them instead of merging them into a batch.
            node->geometry()->setVertexDataPattern(QSGGeometry::StreamPattern);
            root->appendChildNode(node);
            child = node;
        }
        auto* node = static_cast<QSGGeometryNode*>(child);
        stroke(line.points, plot.series_stroke, vertices(node, series_count(line.points.size())));
        vertices_written(node);
        set_colour(node, palette_colour(line.colour));
        child = child->nextSibling();
    }
    // Series switched off or gone with a change of data kind.
    while (child) {
        QSGNode* next = child->nextSibling();
        root->removeChildNode(child);
        delete child;
        child = next;
    }
    return root;
}

}  // namespace plot_vertices

trace_plot_item_t::trace_plot_item_t(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents, true);
    refresh_.setSingleShot(true);
    refresh_.setTimerType(Qt::PreciseTimer);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (view_ && view_->sensors().trace.plot_outdated()) update();
    });
}

trace_plot_item_t::~trace_plot_item_t() = default;

content_view_model_t* trace_plot_item_t::view() const { return view_; }

void trace_plot_item_t::set_view(content_view_model_t* view) {
    if (view == view_) return;
    QObject::disconnect(connection_);
    view_ = view;
    // update() asks for one sync before the next frame however often the
    // screen announces a change, so a burst of lines costs one rebuild.
    if (view_) connection_ = connect(view_, &content_view_model_t::changed, this, &QQuickItem::update);
    built_view_time_ = distant_past;
    emit view_changed();
    update();
}

void trace_plot_item_t::refresh_at(time_point_t when) {
    const double wait = view_ ? when - view_->clock().now() : 0;
    const int ms = wait > 0 ? static_cast<int>(std::ceil(wait * 1000)) : 0;
    if (!refresh_.isActive()) refresh_.start(ms);
}

std::uint64_t trace_plot_item_t::rebuilds() { return rebuild_counter.load(std::memory_order_relaxed); }

void trace_plot_item_t::geometryChange(const QRectF& now, const QRectF& before) {
    QQuickItem::geometryChange(now, before);
    if (now.size() != before.size()) update();
}

// Runs while the main thread waits for the scene to be synchronised, so
// reading (and letting it cache its layout) the trace is safe here.
QSGNode* trace_plot_item_t::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    const double w = width();
    const double h = height();
    if (!view_ || w <= 0 || h <= 0) {
        delete old;
        built_view_time_ = distant_past;
        return nullptr;
    }
    trace_t& trace = view_->sensors().trace;
    // Nothing new since our nodes were made (held, or another part of the
    // screen changed): leave the trace's layout and the vertices alone.
    if (old && !trace.plot_outdated() && trace.view_time() == built_view_time_ && w == built_width_ &&
        h == built_height_)
        return old;
    const plot_geometry_t& plot = trace.plot_view(w, h);
    // The trace lays out at most once per 1/60 s; a frame that came sooner
    // got the previous layout. Asking for the next frame at once would spin
    // where nothing paces frames, so come back when the layout is due.
    if (trace.plot_outdated()) {
        const time_point_t due = trace.view_time();
        QMetaObject::invokeMethod(this, [this, due] { refresh_at(due); }, Qt::QueuedConnection);
    }
    if (old && trace.view_time() == built_view_time_) return old;
    built_view_time_ = trace.view_time();
    built_width_ = w;
    built_height_ = h;
    rebuild_counter.fetch_add(1, std::memory_order_relaxed);

    QQuickWindow* win = window();
    if (win && win->rendererInterface()->graphicsApi() == QSGRendererInterface::Software) {
        auto* node = static_cast<painted_plot_node_t*>(old);
        if (!node) node = new painted_plot_node_t(win);
        node->set(plot);
        return node;
    }
    return plot_vertices::update_nodes(old, plot);
}

}  // namespace plimsy
