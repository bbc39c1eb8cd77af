// The setting selectors and the self diagnostic. One pick is one write-setting report to the
// open board, sent only once its settings are on screen; nothing is read back afterwards.
#include "DropDownList.h"
#include "Protocol.h"
#include "frmMain.h"

#include <QLabel>
#include <QLineEdit>

void frmMain::encoderClick(int channel) {
    if (!board.deviceAttached || !settingsLoaded)
        return;
    sendSetting(config::encoderAddress(channel),
                config::encoderModeValue(Enc[channel - 1]->listIndex()));
}

// An empty selection has no value to send: a pulse width of 0 or a starting position of 0
// would mean nothing to the board.
void frmMain::Delay_Click() {
    if (!board.deviceAttached || !settingsLoaded || Delay->listIndex() < 0)
        return;
    sendSetting(config::kPulseWidthAddress, config::pulseWidthValue(Delay->listIndex()));
}

void frmMain::RotStart_Click() {
    if (!board.deviceAttached || !settingsLoaded || RotStart->listIndex() < 0)
        return;
    sendSetting(config::kRotStartAddress, config::rotStartValue(RotStart->listIndex()));
}

// A board whose feature reports cannot carry the setting is not written to.
void frmMain::sendSetting(std::uint8_t address, std::uint8_t value) {
    const std::size_t length = board.capabilities.FeatureReportByteLength;
    config::Report report = config::writeSettingReport(length, address, value);
    if (report.empty())
        return;
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, report.data(),
                                                 static_cast<std::uint32_t>(length));
}

// Runs the board's test of its inputs and shows the result and the answer's first two bytes.
// The answer is taken as it stands in the buffer, which is all zero when the read fails.
void frmMain::Selftest_Click() {
    const std::size_t length = board.capabilities.FeatureReportByteLength;
    config::Report request = config::selfTestRequest(length);
    config::Report reply(request.size(), 0);
    if (!board.deviceAttached || request.empty())
        return;
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, request.data(),
                                                 static_cast<std::uint32_t>(length));
    reply[0] = config::kReportId;
    board.lastResult = board.api.HidD_GetFeature(board.featureHandle, reply.data(),
                                                 static_cast<std::uint32_t>(length));
    TestResult->setText(QString::fromStdString(config::selfTestResultText(reply[1])));
    Text1->setText(QStringLiteral("%1 %2").arg(reply[0]).arg(reply[1]));
}
