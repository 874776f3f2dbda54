#include "ui/main_panel_model.hpp"

#include "ui/tooltip_text.hpp"

namespace plimsy {

QVariantMap main_panel_model_t::tooltips() const {
    bool connected = false;
    bool logging = false;
    if (view()) {
        auto& cnc = view()->cnc();
        connected = (cnc.has_tcp_client() && cnc.tcp_client().enabled()) || (cnc.has_ble() && cnc.ble().enabled());
        logging = view()->log_enable();
    }
    return {
        {QStringLiteral("settings"), tooltip_text("Connection settings", "Ctrl+,")},
        {QStringLiteral("connection"),
         tooltip_text(connected ? "Disconnects" : "Connects with the saved connection settings")},
        {QStringLiteral("log"), tooltip_text(logging ? "Stops the receive log; right-click for the menu"
                                                     : "Starts the receive log; right-click for the menu",
                                             "L")},
        {QStringLiteral("clear"), tooltip_text("Empties the log and sets the counters to zero", "Delete")},
    };
}

}  // namespace plimsy
