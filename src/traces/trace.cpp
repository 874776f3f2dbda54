#include "traces/trace.hpp"

#include "common/angles.hpp"
#include "common/timing.hpp"

namespace plimsy {

trace_t::trace_t(const clock_t& clock)
    : clock_(&clock),
      view_time_(clock.now()),
      buffers_(std::make_unique<buffers_t>()),
      update_time_(clock.now()) {
    enable_.fill(true);
    // Made with update_time = now, so this is refused; kept so that creation
    // follows the same rule as the button.
    reset(false);
}

trace_t::~trace_t() = default;

bool trace_t::begin_sample(device_model_t kind) {
    const time_point_t now = clock_->now();
    update_time_ = now + update_lock;
    if (hold_) return false;
    // The throttle decision does not depend on the sample, so it is taken
    // first and the announcement goes out before anything changes.
    if (change_throttle(change_time_, now, /*inclusive=*/true, change_lock)) will_change();
    model_ = kind;
    return true;
}

void trace_t::end_sample() {
    ++count_;
    if (count_valid_ < count_) count_valid_ = count_;
    if (count_ >= count_max) count_ = 0;
    ++revision_;
}

void trace_t::add_heading(double h) {
    if (!begin_sample(device_model_t::compass)) return;
    buffers_->heading[slot()] = wrap180(h);
    end_sample();
}

void trace_t::add_bearing_heading(double h, double b) {
    if (!begin_sample(device_model_t::compass_bearing)) return;
    buffers_->heading[slot()] = wrap180(h);
    buffers_->bearing[slot()] = wrap180(b);
    end_sample();
}

void trace_t::add_heading_gravity(double h, double x, double y, double z) {
    if (!begin_sample(device_model_t::compass_gravity)) return;
    buffers_->heading[slot()] = wrap180(h);
    buffers_->gx[slot()] = gravity_scale * x;
    buffers_->gy[slot()] = gravity_scale * y;
    buffers_->gz[slot()] = gravity_scale * z;
    end_sample();
}

void trace_t::add_gravity(double x, double y, double z) {
    if (!begin_sample(device_model_t::gravity)) return;
    buffers_->gx[slot()] = gravity_scale * x;
    buffers_->gy[slot()] = gravity_scale * y;
    buffers_->gz[slot()] = gravity_scale * z;
    end_sample();
}

void trace_t::add_gyro(double x, double y, double z) {
    // gyroscope is the last kind, so "below it" is "not it".
    if (!begin_sample(device_model_t::gyroscope)) return;
    buffers_->gx[slot()] = wrap180(x);
    buffers_->gy[slot()] = wrap180(y);
    buffers_->gz[slot()] = wrap180(z);
    end_sample();
}

bool trace_t::reset(bool force) {
    if (!force && (hold_ || !(clock_->now() > update_time_))) return false;
    will_change();
    count_valid_ = 0;
    count_ = 0;
    for (trace_buffer_t* b : {&buffers_->bearing, &buffers_->heading, &buffers_->gx, &buffers_->gy, &buffers_->gz})
        b->fill(0.0);
    ++revision_;
    return true;
}

void trace_t::toggle_hold() {
    will_change();
    hold_ = !hold_;
}

void trace_t::toggle_enable(int i) {
    if (i < 0 || i >= max_traces) return;
    will_change();
    auto& e = enable_[static_cast<std::size_t>(i)];
    e = !e;
    ++revision_;
}

std::size_t trace_t::series_into(std::array<trace_item_t, 4>& out) const {
    const buffers_t& b = *buffers_;
    switch (model_) {
        case device_model_t::gravity:
            out[0] = {"gravity.x", &b.gx, colour_t::red};
            out[1] = {"gravity.y", &b.gy, colour_t::green};
            out[2] = {"gravity.z", &b.gz, colour_t::blue};
            return 3;
        case device_model_t::compass:
            out[0] = {"heading", &b.heading, colour_t::primary};
            return 1;
        case device_model_t::compass_bearing:
            out[0] = {"bearing", &b.bearing, colour_t::red};
            out[1] = {"heading", &b.heading, colour_t::primary};
            return 2;
        case device_model_t::gyroscope:
            out[0] = {"gyro.x", &b.gx, colour_t::red};
            out[1] = {"gyro.y", &b.gy, colour_t::green};
            out[2] = {"gyro.z", &b.gz, colour_t::blue};
            return 3;
        default:
            out[0] = {"gravity.x", &b.gx, colour_t::red};
            out[1] = {"gravity.y", &b.gy, colour_t::green};
            out[2] = {"gravity.z", &b.gz, colour_t::blue};
            out[3] = {"heading", &b.heading, colour_t::primary};
            return 4;
    }
}

std::vector<trace_item_t> trace_t::series() const {
    std::array<trace_item_t, 4> items;
    const std::size_t n = series_into(items);
    return {items.begin(), items.begin() + static_cast<std::ptrdiff_t>(n)};
}

const plot_geometry_t& trace_t::plot_view(double w, double h) {
    const time_point_t now = clock_->now();
    // A picture laid out for another size must never be shown.
    const bool resized = w != view_.width || h != view_.height;
    if (now < view_time_ && !resized) return view_;
    view_time_ = now + change_lock;

    if (w != x_view_ || h != y_view_) {
        view_.build_axis(w, h);
        x_view_ = w;
        y_view_ = h;
    }
    view_.begin_series(w, h);
    std::array<trace_item_t, 4> items;
    const std::size_t n = series_into(items);
    for (std::size_t i = 0; i < n; ++i)
        if (enable_[i]) view_.add_series(items[i], count_, count_valid_);
    view_revision_ = revision_;
    return view_;
}

}  // namespace plimsy
