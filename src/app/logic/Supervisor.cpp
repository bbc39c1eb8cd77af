// Start-up, shutdown and the poll timer that watches the open board: one presence read per
// tick while a board is open; while none is, a rescan on every tick until a board answers.
#include "MainWindowLogic.h"

namespace app {

namespace {
constexpr int kIntervalWhilePresent = 500;
constexpr int kIntervalAfterLoss = 250;
} // namespace

MainWindowLogic::MainWindowLogic(hid::ApiDeclarations& api, WindowView& view)
    : session(api), api_(api), view_(view) {}

void MainWindowLogic::Form_Load() {
    settingsLoaded = false;
    serialListReady = false;
    view_.showWindow();
    Scan_USB_devices();
    FindTheHid();
    RefreshFromDevice();
    view_.setTimerEnabled(true);
}

void MainWindowLogic::Form_Unload() {
    unloaded_ = true;
    view_.setTimerEnabled(false);
    serialListReady = false;
    session.close();
}

void MainWindowLogic::Timer_Timer() {
    PollDevice();
}

void MainWindowLogic::PollDevice() {
    if (deviceAttached()) {
        if (session.checkPresence()) {
            view_.setTimerInterval(kIntervalWhilePresent);
            relistWhenInterfacesChanged();
            return;
        }
        closeAfterLoss();
    }
    settingsLoaded = false;
    Scan_USB_devices();
    FindTheHid();
    RefreshFromDevice();
}

// Boards plugged in or out while one is open are listed at once, so that the user can pick
// them; a tick on which the platform saw nothing come or go costs no walk.
void MainWindowLogic::relistWhenInterfacesChanged() {
    const std::uint64_t generation = api_.InterfaceGeneration();
    if (generation != listedGeneration_ && relistBesideOpenBoard())
        listedGeneration_ = generation;
}

// The board is gone, or another one was picked: both handles are closed.
void MainWindowLogic::closeAfterLoss() {
    session.close();
    view_.setTimerInterval(kIntervalAfterLoss);
    settingsLoaded = false;
}

void MainWindowLogic::SerNo_Click() {
    if (!serialListReady)
        return;
    view_.setTimerEnabled(false);
    if (deviceAttached())
        closeAfterLoss();
    settingsLoaded = false;
    FindTheHid();
    RefreshFromDevice();
    view_.setTimerEnabled(true);
}

void MainWindowLogic::selectionMade(Control list) {
    if (const int channel = encoderChannel(list))
        encoderClick(channel);
    else if (list == Control::SerNo)
        SerNo_Click();
    else if (list == Control::Delay)
        Delay_Click();
    else if (list == Control::RotStart)
        RotStart_Click();
}

void MainWindowLogic::clicked(Control button) {
    if (button == Control::Selftest)
        Selftest_Click();
}

} // namespace app
