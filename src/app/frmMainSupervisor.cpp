// Start-up, shutdown and the poll timer that watches the open board: one presence read per
// tick while a board is open; while none is, a rescan on every tick until a board answers.
#include "DropDownList.h"
#include "frmMain.h"

#include <QTimer>

namespace {
constexpr int kIntervalWhilePresent = 500;
constexpr int kIntervalAfterLoss = 250;
} // namespace

void frmMain::Form_Load() {
    settingsLoaded = false;
    serialListReady = false;
    show();
    Scan_USB_devices();
    board.deviceAttached = FindTheHid();
    RefreshFromDevice();
    Timer->start();
}

void frmMain::Form_Unload() {
    unloaded_ = true;
    Timer->stop();
    serialListReady = false;
    if (board.deviceAttached)
        board.closeBoard();
}

void frmMain::Timer_Timer() {
    PollDevice();
}

void frmMain::PollDevice() {
    if (board.deviceAttached) {
        if (session.checkPresence()) {
            Timer->setInterval(kIntervalWhilePresent);
            return;
        }
        closeAfterLoss();
    }
    settingsLoaded = false;
    Scan_USB_devices();
    board.deviceAttached = FindTheHid();
    RefreshFromDevice();
}

// The board is gone, or another one was picked: both handles are closed.
void frmMain::closeAfterLoss() {
    board.deviceAttached = false;
    board.closeBoard();
    Timer->setInterval(kIntervalAfterLoss);
    settingsLoaded = false;
}

void frmMain::SerNo_Click() {
    if (!serialListReady)
        return;
    Timer->stop();
    if (board.deviceAttached)
        closeAfterLoss();
    settingsLoaded = false;
    board.deviceAttached = FindTheHid();
    RefreshFromDevice();
    Timer->start();
}
