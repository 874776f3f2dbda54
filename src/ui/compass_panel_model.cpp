#include "ui/compass_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

namespace {
compass_shown_t compass(const sensors_t* s) { return s ? shown_compass(s->compass) : compass_shown_t{}; }
gravity_shown_t gravity(const sensors_t* s) { return s ? shown_gravity(s->gravity) : gravity_shown_t{}; }
}  // namespace

double compass_panel_model_t::heading() const { return compass(sensors()).heading; }
double compass_panel_model_t::anim_time() const { return compass(sensors()).anim_time; }
QString compass_panel_model_t::heading_s() const { return qs(compass(sensors()).heading_s); }

QString compass_panel_model_t::gravity_x_s() const { return qs(gravity(sensors()).x_s); }
QString compass_panel_model_t::gravity_y_s() const { return qs(gravity(sensors()).y_s); }
QString compass_panel_model_t::gravity_z_s() const { return qs(gravity(sensors()).z_s); }
double compass_panel_model_t::rax() const { return gravity(sensors()).rax; }
double compass_panel_model_t::ray() const { return gravity(sensors()).ray; }
double compass_panel_model_t::raz() const { return gravity(sensors()).raz; }
double compass_panel_model_t::gravity_anim_time() const { return gravity(sensors()).anim_time; }

QVariantMap compass_panel_model_t::tooltips() const {
    return {
        {QStringLiteral("compass"), tooltip_text("Sends G to the board; right-click for Heading", "G")},
        {QStringLiteral("heading"), tooltip_text("Sends H to the board", "H")},
    };
}

}  // namespace plimsy
