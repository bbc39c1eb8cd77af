// Brings the window in line with the board that is, or is not, open: every board-dependent
// control is first put into its no-board state; with a board open, its details are shown, the
// selectors filled, the version gates applied and the board's settings read back into them.
// settingsLoaded is set last, so none of the selections made here writes to the board.
#include "DropDownList.h"
#include "HidStrings.h"
#include "Protocol.h"
#include "frmMain.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

namespace {

constexpr std::uint32_t kStringQueryLength = 100;

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

// The manufacturer and product texts, and the version, which is known only when the
// manufacturer query succeeds.
void frmMain::showDeviceDetails() {
    versionKnown_ = false;
    if (const std::optional<QString> manufacturer =
            deviceString(&hid::ApiDeclarations::HidD_GetManufacturerString)) {
        lblManuf->setText(" " + *manufacturer);
        versionKnown_ = true;
        versionNumber_ = board.deviceAttributes.VersionNumber;
        lblVersion->setText(
            itemText(config::BoardVersion::fromReleaseNumber(versionNumber_).text()));
    }
    if (const std::optional<QString> product =
            deviceString(&hid::ApiDeclarations::HidD_GetProductString))
        lblProduct->setText(" " + *product);
}

// One string query on the read handle; the bytes behind the 100 offered stay zero.
std::optional<QString> frmMain::deviceString(StringQuery query) {
    std::array<std::uint8_t, 2 * kStringQueryLength + 1> text{};
    board.lastResult = (board.api.*query)(board.readHandle, text.data(), kStringQueryLength);
    if (board.lastResult == 0)
        return std::nullopt;
    return QString::fromLatin1(hid::lowByteText(text.data(), text.size()));
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
    if (!versionKnown_)
        return;
    const auto version = config::BoardVersion::fromReleaseNumber(versionNumber_);
    if (version.offersRotStart()) {
        RotStart->setEnabled(true);
        Label22->setEnabled(true);
    }
    if (version.offersSelfTest()) {
        Selftest->setEnabled(true);
        TestResult->setEnabled(true);
    }
}

// One request, then eight reads; each read that succeeds selects what its block carries.
// A board whose feature reports are too short for the blocks is not asked.
void frmMain::readSettingsBack() {
    const std::size_t length = board.capabilities.FeatureReportByteLength;
    if (length < config::kReadBackMinLength) {
        Text1->setText(QString());
        return;
    }
    config::Report request = config::readBackRequest(length);
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, request.data(),
                                                 static_cast<std::uint32_t>(length));
    Text1->setText(QString());
    config::Report answer(length, 0);
    for (int read = 0; read < config::kReadBackReads; ++read) {
        board.lastResult = board.api.HidD_GetFeature(board.featureHandle, answer.data(),
                                                     static_cast<std::uint32_t>(length));
        if (board.lastResult != 0)
            applyReadBack(config::decodeReadBack(answer));
    }
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
