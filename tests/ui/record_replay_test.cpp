// Recording and replay in the window: the panels' local actions reach the
// session's taps (so a recording keeps them), and what the toolbar offers
// while recording and replaying.
#include <QQuickItem>
#include <algorithm>
#include <string>
#include <vector>

#include "session/session.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

// What a recorder would see: the actions by name with their argument as
// the capture writes it.
struct action_tap_t : session_tap_t {
    void board_rx(std::span<const std::uint8_t>) override {}
    void board_tx(std::span<const std::uint8_t> bytes) override { tx.append(bytes.begin(), bytes.end()); }
    void local_action(std::string_view name, const capture_arg_t& arg) override {
        std::string line;
        append_capture_action(line, 0, name, arg);
        actions.push_back(line.substr(line.find("\"action\"")));
    }
    std::vector<std::string> actions;
    std::string tx;
};

TEST(record_replay, panel_actions_reach_the_session_taps) {
    {
        ui_fixture_t f{no_board{}};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        f.receive(R"(hmc5883={"x":100,"y":-50,"z":300})");
        ASSERT_TRUE(f.visible("hmcSaveButton"));
        for (const char* button : {"hmcSaveButton", "hmcLoadButton", "hmcStepButton", "hmcCompensateButton",
                                   "hmcModeButton", "hmcResetGyroButton"})
            ASSERT_TRUE(f.click(button)) << button;
        f.key(Qt::Key_C);  // the compensate switch back on, by its key
        EXPECT_EQ(tap.actions, (std::vector<std::string>{
                                   R"("action":"hmc5883.calibration_save","arg":1}
)",
                                   R"("action":"hmc5883.calibration_load","arg":1}
)",
                                   R"("action":"hmc5883.calibration_next"}
)",
                                   R"("action":"hmc5883.compensate","arg":false}
)",
                                   R"("action":"hmc5883.compensate_3d","arg":false}
)",
                                   R"("action":"mpu6050.reset_gyro"}
)",
                                   R"("action":"hmc5883.compensate","arg":true}
)",
                               }));
        // They are local: nothing went to the board.
        EXPECT_EQ(tap.tx, "");
        f.view->session().remove_tap(&tap);
    }
    {
        ui_fixture_t f{no_board{}};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        f.receive(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
        ASSERT_TRUE(f.click("colourSwatchPanel"));
        ASSERT_TRUE(f.click("colourLightPanel"));
        // By name, as QML or a script would ask; a name that is no action
        // does nothing and says so.
        f.view->act(QStringLiteral("trace.reset"), false);
        f.view->act(QStringLiteral("trace.toggle_hold"));
        f.view->act(QStringLiteral("hmc5883.calibration_save"), 2);
        f.view->act(QStringLiteral("hmc5883.explode"));
        f.view->act(QStringLiteral("hmc5883.compensate"), QStringLiteral("yes"));
        EXPECT_EQ(tap.actions, (std::vector<std::string>{
                                   R"("action":"bh1749.white_balance"}
)",
                                   R"("action":"bh1749.reset_corrections"}
)",
                                   R"("action":"trace.reset","arg":false}
)",
                                   R"("action":"trace.toggle_hold"}
)",
                                   R"("action":"hmc5883.calibration_save","arg":2}
)",
                               }));
        EXPECT_TRUE(f.view->sensors().trace.hold());
        const auto lines = f.console.lines();
        const auto said = [&](const std::string& text) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.find(text) != std::string::npos; });
        };
        EXPECT_TRUE(said("hmc5883.explode not done: unknown action"));
        EXPECT_TRUE(said("hmc5883.compensate not done"));
        f.view->session().remove_tap(&tap);
    }
    {
        ui_fixture_t f{device_model_t::gyroscope};
        ASSERT_TRUE(f.ok());
        action_tap_t tap;
        f.view->session().add_tap(&tap);
        ASSERT_TRUE(f.wait_for([&] { return f.visible("holdButton"); }));
        ASSERT_TRUE(f.click("holdButton"));
        ASSERT_TRUE(f.click("resetButton"));
        EXPECT_EQ(tap.actions, (std::vector<std::string>{R"("action":"trace.toggle_hold"}
)",
                                                         R"("action":"trace.reset","arg":true}
)"}));
        f.view->session().remove_tap(&tap);
    }
}

}  // namespace
}  // namespace plimsy::test
