#pragma once

#include <string>

namespace plimsy {

class sensors_t;

// One set of display values over the board's three accelerometers. Which one
// is live is decided on every read: the low-g IIS2DLPC when it reports
// anything, else a held ADXL372 shock, else the ADXL362.
class accelerometer_t {
public:
    explicit accelerometer_t(const sensors_t& sensors) : sensors_(&sensors) {}

    struct point_t {
        double x = 0, y = 0;
    };

    float x_pos() const;
    float x_neg() const;
    float y_pos() const;
    float y_neg() const;
    float z_pos() const;
    float z_neg() const;
    std::string x_s() const;
    std::string y_s() const;
    std::string z_s() const;
    // (s(x), -s(y)), unclamped: beyond full scale lies outside the unit square.
    point_t xy_point() const;

    enum class source_t { iis2dlpc, adxl372, adxl362 };
    source_t source() const;

private:
    struct axes_t {
        float x, y, z;
    };
    axes_t raw() const;
    float scaled(float v) const;
    std::string text(float v) const;

    const sensors_t* sensors_;
};

}  // namespace plimsy
