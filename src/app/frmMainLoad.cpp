// Brings the window in line with the board that is, or is not, open: every board-dependent
// control is first put into its no-board state; with a board open, its details are shown, the
// selectors filled, the version gates applied and the board's settings read back into them.
// settingsLoaded is set last, so none of the selections made here writes to the board.
#include "DropDownList.h"
#include "Protocol.h"
#include "frmMain.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString itemText(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

void frmMain::RefreshFromDevice() {
    settingsLoaded = false;
    clearBoardControls();
    if (!board.deviceAttached)
        return;
    showDeviceDetails();
    Frame1->setEnabled(true);
    fillSelectors();
    applyVersionGates();
    readSettingsBack();
    settingsLoaded = true;
}

void frmMain::clearBoardControls() {
    lblManuf->setText(QString());
    lblProduct->setText(QString());
    lblVersion->setText(QString());
    for (DropDownList* encoder : Enc) {
        encoder->removeAllItems();
        encoder->setEnabled(false);
    }
    Frame3->setEnabled(false);
    Delay->setEnabled(false);
    Delay->removeAllItems();
    Label1->setEnabled(false);
    for (QLabel* pairLabel : encoderLabels)
        pairLabel->setEnabled(false);
    Label22->setEnabled(false);
    RotStart->setEnabled(false);
    RotStart->removeAllItems();
    Selftest->setEnabled(false);
    TestResult->setText(QString());
}

// The version is the board's own, known from the moment it is open, whether or not it has a
// manufacturer string.
void frmMain::showDeviceDetails() {
    const config::BoardDetails details = session.readDetails();
    version_ = details.version();
    if (details.manufacturer)
        lblManuf->setText(" " + QString::fromLatin1(*details.manufacturer));
    lblVersion->setText(itemText(version_.text()));
    if (details.product)
        lblProduct->setText(" " + QString::fromLatin1(*details.product));
}

// The steps keep their order: each selection made between them raises that selector's event,
// which sends nothing while settingsLoaded is clear.
void frmMain::fillSelectors() {
    const std::vector<std::string> modes = config::encoderModeItems();
    for (DropDownList* encoder : Enc) {
        encoder->addItemAt(itemText(modes[0]), 0);
        encoder->addItemAt(itemText(modes[1]), 1);
        encoder->setListIndex(0);
        encoder->setEnabled(true);
    }
    Frame3->setEnabled(true);
    Delay->setEnabled(true);
    Label1->setEnabled(true);
    for (QLabel* pairLabel : encoderLabels)
        pairLabel->setEnabled(true);
    const std::vector<std::string> pulseWidths = config::pulseWidthItems();
    for (std::size_t i = 0; i < pulseWidths.size(); ++i)
        Delay->addItemAt(itemText(pulseWidths[i]), int(i));
    Delay->setListIndex(config::kDefaultPulseWidthIndex);
    for (DropDownList* encoder : Enc) {
        encoder->addItemAt(itemText(modes[2]), 2);
        encoder->addItemAt(itemText(modes[3]), 3);
    }
    const std::vector<std::string> positions = config::rotStartItems();
    for (std::size_t i = 0; i < positions.size(); ++i)
        RotStart->addItemAt(itemText(positions[i]), int(i));
    RotStart->setListIndex(0);
}

void frmMain::applyVersionGates() {
    if (version_.offersRotStart()) {
        RotStart->setEnabled(true);
        Label22->setEnabled(true);
    }
    if (version_.offersSelfTest()) {
        Selftest->setEnabled(true);
        TestResult->setEnabled(true);
    }
}

// Each block read selects what it carries as it arrives. A selector whose value never arrived
// shows no selection rather than its starting item, which the board may not hold; it stays
// enabled, so a pick still writes.
void frmMain::readSettingsBack() {
    Text1->setText(QString());
    const config::BoardSettings settings =
        session.readSettings([this](const config::ReadBackBlock& block) { applyReadBack(block); });
    for (int channel = 0; channel < kEncoderChannels; ++channel)
        if (!settings.encoderMode[channel])
            Enc[channel]->setListIndex(-1);
    if (!settings.pulseWidth)
        Delay->setListIndex(-1);
    if (!settings.rotStart)
        RotStart->setListIndex(-1);
}

void frmMain::applyReadBack(const config::ReadBackBlock& block) {
    if (block.pulseWidthIndex)
        Delay->setListIndex(*block.pulseWidthIndex);
    if (block.rotStartIndex)
        RotStart->setListIndex(*block.rotStartIndex);
    if (block.encoderModeIndex)
        for (int channel = 0; channel < kEncoderChannels; ++channel)
            Enc[channel]->setListIndex((*block.encoderModeIndex)[channel]);
}
