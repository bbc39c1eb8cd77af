// The setting selectors and the self diagnostic. One pick is one write-setting report to the
// open board, sent only once its settings are on screen.
#include "MainWindowLogic.h"

#include <algorithm>

namespace app {

void MainWindowLogic::encoderClick(int channel) {
    if (!deviceAttached() || !settingsLoaded)
        return;
    // A list without a selection sends "off", as the first item does.
    sendSetting(config::Setting::encoder(channel),
                std::max(view_.listIndex(encoderList(channel)), 0));
}

void MainWindowLogic::Delay_Click() {
    if (!deviceAttached() || !settingsLoaded)
        return;
    sendSetting(config::Setting::pulseWidth(), view_.listIndex(Control::Delay));
}

void MainWindowLogic::RotStart_Click() {
    if (!deviceAttached() || !settingsLoaded)
        return;
    sendSetting(config::Setting::rotStart(), view_.listIndex(Control::RotStart));
}

// An empty selection has no value to send: a pulse width of 0 or a starting position of 0
// would mean nothing to the board. A board whose feature reports cannot carry the setting is
// not written to. When the board does not take the report, the selector must not go on showing
// the pick as the board's value: the settings are read back, as on opening.
void MainWindowLogic::sendSetting(const config::Setting& setting, int index) {
    if (index < 0)
        return;
    if (session.writeSetting(setting, index))
        return;
    if (session.lastError().kind != config::SessionError::Kind::Unsupported)
        RefreshFromDevice();
}

// Runs the board's test of its inputs and shows the result and the answer's first two bytes.
// When either exchange fails there is no answer to show.
void MainWindowLogic::Selftest_Click() {
    if (!deviceAttached())
        return;
    const config::SelfTestOutcome outcome = session.selfTest();
    if (session.lastError().kind == config::SessionError::Kind::Unsupported)
        return;
    view_.setText(Control::TestResult, outcome.text());
    if (outcome.kind == config::SelfTestOutcome::Kind::NoAnswer)
        view_.setText(Control::Text1, {});
    else
        view_.setText(Control::Text1, std::to_string(outcome.replyHead[0]) + " " +
                                          std::to_string(outcome.replyHead[1]));
}

} // namespace app
