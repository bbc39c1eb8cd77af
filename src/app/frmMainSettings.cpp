// The setting selectors and the self diagnostic. One pick is one write-setting report to the
// open board, sent only once its settings are on screen.
#include "DropDownList.h"
#include "Protocol.h"
#include "frmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>

void frmMain::encoderClick(int channel) {
    if (!board.deviceAttached || !settingsLoaded)
        return;
    // A list without a selection sends "off", as the first item does.
    sendSetting(config::Setting::encoder(channel), std::max(Enc[channel - 1]->listIndex(), 0));
}

void frmMain::Delay_Click() {
    if (!board.deviceAttached || !settingsLoaded)
        return;
    sendSetting(config::Setting::pulseWidth(), Delay->listIndex());
}

void frmMain::RotStart_Click() {
    if (!board.deviceAttached || !settingsLoaded)
        return;
    sendSetting(config::Setting::rotStart(), RotStart->listIndex());
}

// An empty selection has no value to send: a pulse width of 0 or a starting position of 0
// would mean nothing to the board. A board
// whose feature reports cannot carry the setting is not written to. When the board does not
// take the report, the selector must not go on showing the pick as the board's value: the
// settings are read back, as on opening.
void frmMain::sendSetting(const config::Setting& setting, int index) {
    if (index < 0)
        return;
    if (session.writeSetting(setting, index))
        return;
    if (session.lastError().kind != config::SessionError::Kind::Unsupported)
        RefreshFromDevice();
}

// Runs the board's test of its inputs and shows the result and the answer's first two bytes.
// When either exchange fails there is no answer to show.
void frmMain::Selftest_Click() {
    if (!board.deviceAttached)
        return;
    const config::SelfTestOutcome outcome = session.selfTest();
    if (session.lastError().kind == config::SessionError::Kind::Unsupported)
        return;
    TestResult->setText(QString::fromStdString(outcome.text()));
    if (outcome.kind == config::SelfTestOutcome::Kind::NoAnswer)
        Text1->setText(QString());
    else
        Text1->setText(QStringLiteral("%1 %2").arg(outcome.replyHead[0]).arg(outcome.replyHead[1]));
}
