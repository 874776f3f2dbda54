// Drives receive_pipeline_t with arbitrary lines and then reads every value
// the views derive from the sensors model, so that undefined behaviour in the
// derived values (float-to-int casts, divisions, table lookups) shows up and
// not only in the decoding.
//
// The input is split at LF. A line starting with byte 01 is delivered as a
// binary frame, 02 runs one panel action chosen by the next byte, 03 moves
// the clock on by the next byte in half seconds; every other line is a text
// line. Each line moves the clock on by a few milliseconds.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include <simdjson.h>

#include "model/accelerometer.hpp"
#include "model/record_text.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/settings_store.hpp"
#include "transport/receive_pipeline.hpp"

namespace {

using namespace plimsy;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "pipeline invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// Keeps the optimiser from dropping reads whose results are unused.
volatile std::size_t sink;

void consume(const std::string& s) { sink = sink + s.size(); }
void consume(std::string_view s) { sink = sink + s.size(); }
void consume(double v) { sink = sink + static_cast<std::size_t>(v == v); }

void read_record(const record_t& record) {
    consume(record_name(record));
    // The record texts are JSON for tools; they must parse back. The parser
    // and the text are kept between calls: a parser's first parse allocates
    // its buffers, which cost more than the rest of the line.
    static std::string json;
    static simdjson::dom::parser parser;
    json.clear();
    append_record_fields_json(json, record);
    simdjson::dom::element doc;
    check(parser.parse(json).get(doc) == simdjson::SUCCESS, "record fields are not valid JSON");
    check(doc.is_object(), "record fields are not a JSON object");
    std::visit(
        [](const auto& r) {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_base_of_v<xyz_str_t, T> || std::is_same_v<T, bme680_str_t> ||
                          std::is_same_v<T, shtc3_str_t> || std::is_same_v<T, rtc_str_t> ||
                          std::is_same_v<T, gavrin3_events_str_t> || std::is_same_v<T, adp536x_str_t> ||
                          std::is_same_v<T, compass_c_str_t>)
                consume(debug_description(r));
        },
        record);
}

// The merged accelerometer: its values follow from the three sensors and
// from which of them is shown, which also depends on the clock.
void read_accelerometer(accelerometer_t& acc) {
    consume(acc.x_pos() + acc.x_neg() + acc.y_pos() + acc.y_neg() + acc.z_pos() + acc.z_neg());
    consume(acc.x_s());
    consume(acc.y_s());
    consume(acc.z_s());
    consume(acc.xy_point().x + acc.xy_point().y);
    consume(static_cast<double>(acc.source()));
}

// The values that follow from the sensors' state alone. The model announces
// before every change of that state, so these are read only after a line
// that was announced: reading unchanged state again computes the same values
// from the same numbers. A fresh pipeline's state is the same for every
// input, so it is read for the first input only.
void read_state(receive_pipeline_t& pipeline) {
    sensors_t& s = pipeline.sensors;
    consume(s.hmc5883.debug_description());
    consume(s.hmc5883n.debug_description());
    consume(device_model_name(s.device_model));

    consume(s.compass.heading_s());
    consume(s.compass.heading);

    const compass_c_t& c = s.compass_c;
    consume(c.x_n());
    consume(c.y_n());
    consume(c.z_n());
    consume(c.dir_px());
    consume(c.dir_py());
    consume(c.dir_mx());
    consume(c.dir_my());
    consume(c.dir_x_s());
    consume(c.dir_y_s());
    consume(c.dir_point().x + c.dir_point().y);
    consume(c.calibration_s());
    consume(c.calibration_btn_s());
    consume(c.calibration_tilt_s());
    consume(c.calibration_angle_s());
    consume(c.z_ang_s());

    const hmc5883_t& h = s.hmc5883;
    for (const axis_values_t& a : {h.x_axis(), h.y_axis(), h.z_axis()}) consume(a.normalised());
    consume(h.x_n());
    consume(h.y_n());
    consume(h.z_n());
    consume(h.z_n_s());
    consume(h.xv_half());
    consume(h.yv_half());
    consume(h.xy_scale());
    consume(h.heading());
    consume(h.heading_s());
    consume(h.calibration_s());
    consume(h.calibration_btn_s());

    const hmc5883n_t& n = s.hmc5883n;
    consume(n.heading());
    consume(n.heading_s());
    consume(n.dir_px() + n.dir_py() + n.dir_mx() + n.dir_my());

    consume(s.mpu6050.debug_description());

    const bh1749_t& b = s.bh1749;
    consume(b.scale_limit());
    consume(b.r_n() + b.g_n() + b.b_n() + b.i_n());
    consume(b.r_s());
    consume(b.g_s());
    consume(b.b_s());
    consume(b.i_s());
    const rgb_t col = b.colour();
    const rgb_t col_i = b.colour_i();
    consume(col.r + col.g + col.b + col_i.r + col_i.g + col_i.b);

    consume(s.rtc.format_s());
    consume(s.rtc.format_a_s());
    consume(s.rtc.format_d_s());
    consume(s.rtc.format_t_s());
    for (const auto& item : s.trace.series()) consume(item.name);
    consume(std::string_view(s.trace.hold_label()));
    read_accelerometer(s.accelerometer());
}

// The values that also depend on the clock (how long an event stays lit,
// when the plot is laid out again) and the pipeline's own counters and log:
// read after every line.
void read_clocked(receive_pipeline_t& pipeline) {
    sensors_t& s = pipeline.sensors;
    consume(pipeline.error_rate());

    consume(s.adxl372.hold_expired() ? 1.0 : 0.0);
    consume(s.gavrin3_events.alarm() || s.gavrin3_events.PIR() ? 1.0 : 0.0);

    const plot_geometry_t& plot = s.trace.plot_view(300, 200);
    for (const auto& seg : plot.axis) consume(seg.from.x + seg.to.y);
    for (const auto& line : plot.series) {
        check(line.points.size() <= static_cast<std::size_t>(trace_t::count_max), "plot series longer than a trace");
        for (const auto& p : line.points) consume(p.x + p.y);
    }

    check(pipeline.arr_rx().size() <= static_cast<std::size_t>(receive_pipeline_t::log_rx_max_size),
          "receive log over its size");
}

void action(receive_pipeline_t& pipeline, std::uint8_t which, std::uint8_t arg) {
    sensors_t& s = pipeline.sensors;
    switch (which % 12) {
        case 0: s.hmc5883_calibration_next(); break;
        case 1: s.hmc5883_calibration_save(arg % 2); break;
        case 2: s.hmc5883_calibration_load(arg % 2); break;
        case 3: s.set_hmc5883_compensate(arg & 1); break;
        case 4: s.set_hmc5883_compensate_3d(arg & 1); break;
        case 5: s.mpu6050_reset_gyro(); break;
        case 6: s.bh1749_white_balance(); break;
        case 7: s.trace.reset(arg & 1); break;
        case 8: s.trace.toggle_hold(); break;
        case 9: s.trace.toggle_enable(static_cast<int>(arg % 40) - 4); break;
        case 10: pipeline.clear_log(); break;
        case 11: pipeline.show_crc = !pipeline.show_crc; break;
    }
}

}  // namespace

// AddressSanitizer holds freed memory back for 256 MiB by default before
// reusing it, so every execution's pipeline (its trace buffers alone are
// 80 KB) lands on fresh pages and pays their page faults; at 16 MiB they
// were still cold in the cache. Before its pipeline is destroyed, one
// execution frees a few KB per line of its input (at most a few hundred KB),
// so a use after free within it is still caught at 1 MiB.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    manual_clock_t clock;
    memory_settings_store_t store;
    null_console_t console;
    receive_pipeline_t pipeline(clock, store, console);
    pipeline.set_log_enable(true);
    pipeline.line_observer = [](const line_result_t& result) {
        if (result.kind == line_result_t::kind_t::ok) {
            check(result.record != nullptr, "ok result without a record");
            read_record(*result.record);
        } else if (result.kind == line_result_t::kind_t::error) {
            check(!result.error.empty(), "error result without an error text");
        }
    };
    // Changes are announced before they happen; reading here catches a
    // model that is inconsistent at announcement time.
    int announcements = 0;
    const subscription_t sub = pipeline.subscribe([&] { ++announcements; });
    bool state_changed = false;
    const subscription_t state_sub = pipeline.sensors.subscribe([&] { state_changed = true; });
    accelerometer_t::source_t shown_source = pipeline.sensors.accelerometer().source();
    static bool fresh_state_read = false;
    if (!fresh_state_read) {
        fresh_state_read = true;
        read_state(pipeline);
    }

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view line = input.substr(start, end - start);
        start = end + 1;

        clock.advance(0.001 * static_cast<double>(1 + line.size() % 8));
        if (!line.empty() && line[0] == '\x01') {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data() + 1);
            pipeline.receive_arr(std::span<const std::uint8_t>(bytes, line.size() - 1));
        } else if (!line.empty() && line[0] == '\x02') {
            const auto which = line.size() > 1 ? static_cast<std::uint8_t>(line[1]) : std::uint8_t{0};
            const auto arg = line.size() > 2 ? static_cast<std::uint8_t>(line[2]) : std::uint8_t{0};
            action(pipeline, which, arg);
        } else if (!line.empty() && line[0] == '\x03') {
            const auto step = line.size() > 1 ? static_cast<std::uint8_t>(line[1]) : std::uint8_t{1};
            clock.advance(0.5 * step);
        } else {
            const std::uint64_t good = pipeline.msg_good;
            pipeline.receive_line(line);
            check(pipeline.msg_good >= good, "good count went down");
            check(pipeline.msg_count >= pipeline.msg_good, "more good lines than lines");
        }
        read_clocked(pipeline);
        const accelerometer_t::source_t source = pipeline.sensors.accelerometer().source();
        if (state_changed) {
            state_changed = false;
            read_state(pipeline);
        } else if (source != shown_source) {
            read_accelerometer(pipeline.sensors.accelerometer());
        }
        shown_source = source;
    }
    pipeline.set_log_enable(false);
    sink = sink + static_cast<std::size_t>(announcements);
    return 0;
}
