#include "traces/plot_geometry.hpp"

#include <utility>

namespace plimsy {

double plot_geometry_t::y_of(double value, double height) { return (y_max - value) * height / y_size; }

void plot_geometry_t::build_axis(double w, double h) {
    axis.clear();
    axis.push_back({{0, h}, {0, 0}});
    axis.push_back({{w, h}, {w, 0}});
    for (double v : {y_min, y_max, -135.0, -90.0, -45.0, 0.0, 45.0, 90.0, 135.0}) {
        const double y = y_of(v, h);
        axis.push_back({{0, y}, {w, y}});
    }
}

void plot_geometry_t::begin_series(double w, double h) {
    width = w;
    height = h;
    for (auto& line : series) spare_.push_back(std::move(line));
    series.clear();
}

void plot_geometry_t::add_series(const trace_item_t& item, int next, int valid) {
    if (item.item == nullptr) return;
    const std::size_t length = item.item->size();
    std::size_t count_valid = valid > 0 ? static_cast<std::size_t>(valid) : 0;
    if (count_valid > length) count_valid = length;
    if (count_valid < 2) return;
    // Once the ring is full the oldest sample sits at the next write position;
    // before that, at 0. The remainder keeps the index inside the buffer even
    // for a position that does not fit the valid count.
    const std::size_t start = (next > 0 ? static_cast<std::size_t>(next) : 0) % count_valid;

    if (spare_.empty()) {
        series.emplace_back();
    } else {
        series.push_back(std::move(spare_.back()));
        spare_.pop_back();
    }
    polyline_t& line = series.back();
    line.points.clear();
    line.name = item.name;
    line.colour = item.colour;
    line.points.reserve(length);
    const auto& buffer = *item.item;
    for (std::size_t i = 0; i < count_valid; ++i) {
        std::size_t k = i + start;
        if (k >= count_valid) k -= count_valid;
        line.points.push_back({static_cast<double>(i) * width / static_cast<double>(length), y_of(buffer[k], height)});
    }
}

}  // namespace plimsy
