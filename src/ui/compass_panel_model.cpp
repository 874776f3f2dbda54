#include "ui/compass_panel_model.hpp"

#include <cmath>
#include <cstdio>

#include "common/angles.hpp"
#include "model/sensors.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

namespace {
QString one_decimal(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(v));
    return QString::fromLatin1(buf);
}
}  // namespace

double compass_panel_model_t::heading() const { return sensors() ? sensors()->compass.heading * deg_per_rad : 0.0; }

double compass_panel_model_t::anim_time() const {
    return sensors() ? sensors()->compass.anim_time : compass_t::anim_limit;
}

QString compass_panel_model_t::heading_s() const {
    return sensors() ? QString::fromStdString(sensors()->compass.heading_s()) : QString();
}

QString compass_panel_model_t::gravity_x_s() const { return sensors() ? one_decimal(sensors()->gravity.x) : QString(); }
QString compass_panel_model_t::gravity_y_s() const { return sensors() ? one_decimal(sensors()->gravity.y) : QString(); }
QString compass_panel_model_t::gravity_z_s() const { return sensors() ? one_decimal(sensors()->gravity.z) : QString(); }

double compass_panel_model_t::rax() const { return sensors() ? sensors()->gravity.rax_r : 0.0; }
double compass_panel_model_t::ray() const { return sensors() ? sensors()->gravity.ray_r : 0.0; }
double compass_panel_model_t::raz() const { return sensors() ? sensors()->gravity.raz_r : 0.0; }

double compass_panel_model_t::gravity_anim_time() const {
    return sensors() ? sensors()->gravity.anim_time : gravity_t::anim_limit;
}

QVariantMap compass_panel_model_t::tooltips() const {
    return {
        {QStringLiteral("compass"), tooltip_text("Sends G to the board; right-click for Heading", "G")},
        {QStringLiteral("heading"), tooltip_text("Sends H to the board", "H")},
    };
}

}  // namespace plimsy
