#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/device_model.hpp"
#include "platform/clock.hpp"
#include "platform/observable.hpp"
#include "traces/plot_geometry.hpp"
#include "traces/trace_item.hpp"

namespace plimsy {

// Recent history of the orientation readings: five ring buffers sharing one
// write position, so one message writes one column across the series it
// carries. Which series are shown follows the kind of data fed last.
//
// Feeding runs for every orientation message and neither allocates nor
// announces more than once per change_lock; hold and the series switches
// announce on their own, unthrottled.
class trace_t : public observable_t {
public:
    static constexpr int max_traces = 32;
    static constexpr int count_max = trace_length;
    static constexpr double y_min = plot_geometry_t::y_min;
    static constexpr double y_max = plot_geometry_t::y_max;
    static constexpr double y_mid = y_max * 0.5;
    static constexpr double y_size = plot_geometry_t::y_size;
    static constexpr double change_lock = 1.0 / 60.0;
    // A non-forced reset waits this long after the last sample.
    static constexpr double update_lock = 10.0;
    // Gravity components of ±10 fill the ±180 of the plot.
    static constexpr double gravity_scale = 18.0;

    explicit trace_t(const clock_t& clock);
    ~trace_t() override;

    // Feeding; all angles in degrees.
    void add_heading(double h);
    void add_bearing_heading(double h, double b);
    void add_heading_gravity(double h, double x, double y, double z);
    void add_gravity(double x, double y, double z);
    void add_gyro(double x, double y, double z);

    // Clears the buffers. Without force it is refused while held or within
    // update_lock of the last sample. Returns whether it cleared.
    bool reset(bool force);

    void toggle_hold();
    // The hold button's label: what pressing it will do.
    const char* hold_label() const { return hold_ ? "Enable" : "Hold"; }
    // Shows or hides series i; positions outside the slots are ignored.
    void toggle_enable(int i);

    // The series of the current data kind; the index is the one for enable.
    std::vector<trace_item_t> series() const;

    // The plot for a w × h drawing area. Rebuilt at most once per
    // change_lock, except that a new size is honoured at once; the axis is
    // rebuilt only for a new size. The reference stays valid until the next
    // call.
    const plot_geometry_t& plot_view(double w, double h);
    // True when samples or switches changed after the cached plot was built,
    // so a view that got a throttled plot should ask again at view_time().
    bool plot_outdated() const { return view_revision_ != revision_; }

    int count() const { return count_; }
    int count_valid() const { return count_valid_; }
    bool hold() const { return hold_; }
    bool enabled(int i) const { return i >= 0 && i < max_traces && enable_[static_cast<std::size_t>(i)]; }
    const std::array<bool, max_traces>& enable() const { return enable_; }
    device_model_t model() const { return model_; }
    bool show_reset() const { return show_reset_; }
    double x_view() const { return x_view_; }
    double y_view() const { return y_view_; }
    time_point_t change_time() const { return change_time_; }
    time_point_t view_time() const { return view_time_; }
    time_point_t update_time() const { return update_time_; }

    const trace_buffer_t& bearing() const { return buffers_->bearing; }
    const trace_buffer_t& heading() const { return buffers_->heading; }
    const trace_buffer_t& gx() const { return buffers_->gx; }
    const trace_buffer_t& gy() const { return buffers_->gy; }
    const trace_buffer_t& gz() const { return buffers_->gz; }

private:
    struct buffers_t {
        trace_buffer_t bearing{};
        trace_buffer_t heading{};
        trace_buffer_t gx{};
        trace_buffer_t gy{};
        trace_buffer_t gz{};
    };

    // Common start of every feed: false when held (nothing is stored).
    bool begin_sample(device_model_t kind);
    // Moves the ring position on after the values were written.
    void end_sample();
    std::size_t slot() const { return static_cast<std::size_t>(count_); }
    // Fills `out` with the current series; returns how many.
    std::size_t series_into(std::array<trace_item_t, 4>& out) const;

    const clock_t* clock_;
    int count_valid_ = 0;
    int count_ = 0;
    bool show_reset_ = true;
    double x_view_ = 0;
    double y_view_ = 0;
    time_point_t change_time_ = distant_past;
    time_point_t view_time_;
    plot_geometry_t view_;
    device_model_t model_ = device_model_t::compass_gravity;
    bool hold_ = false;
    std::array<bool, max_traces> enable_;
    // One allocation for all five rings, made once, so the object stays small.
    std::unique_ptr<buffers_t> buffers_;
    time_point_t update_time_;
    std::uint64_t revision_ = 0;
    std::uint64_t view_revision_ = 0;
};

}  // namespace plimsy
