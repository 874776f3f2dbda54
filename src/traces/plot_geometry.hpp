#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/colour.hpp"
#include "traces/trace_item.hpp"

namespace plimsy {

// The trace plot as plain data for a drawing area of a given size: the axis
// and grid as line segments, and one polyline per drawn series. The drawing
// layer only strokes what is here; the origin is the top-left corner, y
// grows downwards.
struct plot_geometry_t {
    struct point_t {
        double x = 0;
        double y = 0;
        bool operator==(const point_t&) const = default;
    };
    struct segment_t {
        point_t from;
        point_t to;
        bool operator==(const segment_t&) const = default;
    };
    struct polyline_t {
        std::string name;
        colour_t colour = colour_t::primary;
        std::vector<point_t> points;  // oldest sample at the left
    };

    // Value range of the plot: +180 is the top edge, -180 the bottom.
    static constexpr double y_min = -180.0;
    static constexpr double y_max = 180.0;
    static constexpr double y_size = y_max - y_min;

    double width = 0;
    double height = 0;

    // Left edge, right edge, bottom line, top line, then grid lines at
    // -135, -90, -45, 0, 45, 90, 135.
    std::vector<segment_t> axis;
    double axis_stroke = 1.0;
    colour_t axis_colour = colour_t::tertiary;

    std::vector<polyline_t> series;
    double series_stroke = 2.0;

    static double y_of(double value, double height);

    // Replaces the axis for a w × h area.
    void build_axis(double w, double h);

    // Sets the size the series are laid out for and drops them; the vectors
    // keep their storage so that a rebuild per frame does not allocate.
    void begin_series(double w, double h);
    // Appends the series `item` whose `valid` samples (at most the buffer
    // length) end just before ring position `next`. Fewer than two samples
    // make no line, so nothing is appended.
    void add_series(const trace_item_t& item, int next, int valid);

private:
    // Polylines of the previous build, kept for their point storage.
    std::vector<polyline_t> spare_;
};

}  // namespace plimsy
