// Brings the window in line with the board that is, or is not, open: every board-dependent
// control is first put into its no-board state; with a board open, its details are shown, the
// selectors filled, the version gates applied and the board's settings read back into them.
// settingsLoaded is set last, so none of the selections made here writes to the board.
#include "MainWindowLogic.h"

namespace app {

void MainWindowLogic::RefreshFromDevice() {
    settingsLoaded = false;
    clearBoardControls();
    if (!deviceAttached())
        return;
    boardControlsClear_ = false;
    showDeviceDetails();
    view_.setEnabled(Control::Frame1, true);
    fillSelectors();
    applyVersionGates();
    readSettingsBack();
    settingsLoaded = true;
}

// Only a board that was open puts anything there (every handler needs one), so while none is,
// the search's tick after tick leaves the controls alone once they are clear.
void MainWindowLogic::clearBoardControls() {
    if (boardControlsClear_)
        return;
    view_.setText(Control::lblManuf, {});
    view_.setText(Control::lblProduct, {});
    view_.setText(Control::lblVersion, {});
    for (int channel = 1; channel <= kEncoderChannels; ++channel) {
        view_.removeAllItems(encoderList(channel));
        view_.setEnabled(encoderList(channel), false);
    }
    view_.setEnabled(Control::Frame3, false);
    view_.setEnabled(Control::Delay, false);
    view_.removeAllItems(Control::Delay);
    view_.setEnabled(Control::Label1, false);
    for (int channel = 1; channel <= kEncoderChannels; ++channel)
        view_.setEnabled(encoderLabel(channel), false);
    view_.setEnabled(Control::Label22, false);
    view_.setEnabled(Control::RotStart, false);
    view_.removeAllItems(Control::RotStart);
    view_.setEnabled(Control::Selftest, false);
    view_.setText(Control::TestResult, {});
    boardControlsClear_ = true;
}

// The version is the board's own, known from the moment it is open, whether or not it has a
// manufacturer string.
void MainWindowLogic::showDeviceDetails() {
    const config::BoardDetails details = session.readDetails();
    version_ = details.version();
    if (details.manufacturer)
        view_.setText(Control::lblManuf, " " + *details.manufacturer);
    view_.setText(Control::lblVersion, " " + version_.text());
    if (details.product)
        view_.setText(Control::lblProduct, " " + *details.product);
}

// The steps keep their order: each selection made between them raises that selector's event,
// which sends nothing while settingsLoaded is clear.
void MainWindowLogic::fillSelectors() {
    const std::vector<std::string> modes = config::encoderModeItems();
    for (int channel = 1; channel <= kEncoderChannels; ++channel) {
        view_.addItem(encoderList(channel), modes[0], 0);
        view_.addItem(encoderList(channel), modes[1], 1);
        view_.setListIndex(encoderList(channel), 0);
        view_.setEnabled(encoderList(channel), true);
    }
    view_.setEnabled(Control::Frame3, true);
    view_.setEnabled(Control::Delay, true);
    view_.setEnabled(Control::Label1, true);
    for (int channel = 1; channel <= kEncoderChannels; ++channel)
        view_.setEnabled(encoderLabel(channel), true);
    const std::vector<std::string> pulseWidths = config::pulseWidthItems();
    for (std::size_t i = 0; i < pulseWidths.size(); ++i)
        view_.addItem(Control::Delay, pulseWidths[i], int(i));
    view_.setListIndex(Control::Delay, config::kDefaultPulseWidthIndex);
    for (int channel = 1; channel <= kEncoderChannels; ++channel) {
        view_.addItem(encoderList(channel), modes[2], 2);
        view_.addItem(encoderList(channel), modes[3], 3);
    }
    const std::vector<std::string> positions = config::rotStartItems();
    for (std::size_t i = 0; i < positions.size(); ++i)
        view_.addItem(Control::RotStart, positions[i], int(i));
    view_.setListIndex(Control::RotStart, 0);
}

void MainWindowLogic::applyVersionGates() {
    if (version_.offersRotStart()) {
        view_.setEnabled(Control::RotStart, true);
        view_.setEnabled(Control::Label22, true);
    }
    if (version_.offersSelfTest()) {
        view_.setEnabled(Control::Selftest, true);
        view_.setEnabled(Control::TestResult, true);
    }
}

// Each block read selects what it carries as it arrives. A selector whose value never arrived
// shows no selection rather than its starting item, which the board may not hold; it stays
// enabled, so a pick still writes.
void MainWindowLogic::readSettingsBack() {
    view_.setText(Control::Text1, {});
    const config::BoardSettings settings =
        session.readSettings([this](const config::ReadBackBlock& block) { applyReadBack(block); });
    for (int channel = 1; channel <= kEncoderChannels; ++channel)
        if (!settings.encoderMode[channel - 1])
            view_.setListIndex(encoderList(channel), -1);
    if (!settings.pulseWidth)
        view_.setListIndex(Control::Delay, -1);
    if (!settings.rotStart)
        view_.setListIndex(Control::RotStart, -1);
}

void MainWindowLogic::applyReadBack(const config::ReadBackBlock& block) {
    if (block.pulseWidthIndex)
        view_.setListIndex(Control::Delay, *block.pulseWidthIndex);
    if (block.rotStartIndex)
        view_.setListIndex(Control::RotStart, *block.rotStartIndex);
    if (block.encoderModeIndex)
        for (int channel = 1; channel <= kEncoderChannels; ++channel)
            view_.setListIndex(encoderList(channel), (*block.encoderModeIndex)[channel - 1]);
}

} // namespace app
