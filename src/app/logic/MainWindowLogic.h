// The window's logic, whatever draws it: the connection flags, start-up and shutdown, the poll
// timer that watches the board, the serial-number list, loading the board into the window, the
// setting handlers and the self diagnostic. It owns the board session and speaks to its view
// only through WindowView, so the Qt window and the native Windows window share this one copy.
#pragma once

#include "BoardSession.h"
#include "Controls.h"
#include "Protocol.h"
#include "WindowView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

class MainWindowLogic {
public:
    MainWindowLogic(hid::ApiDeclarations& api, WindowView& view);
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    // Window events
    void Form_Load();
    void Form_Unload();
    void Timer_Timer();

    // Control events
    void SerNo_Click();
    void encoderClick(int channel); // Enc1_Click to Enc16_Click
    void Delay_Click();
    void RotStart_Click();
    void Selftest_Click();
    // The selection event of any list, and the click of the button, by control.
    void selectionMade(Control list);
    void clicked(Control button);

    // Procedures
    void PollDevice();
    void Scan_USB_devices();
    bool FindTheHid();
    void RefreshFromDevice();

    bool unloaded() const { return unloaded_; }

    // The board and its exchanges.
    config::BoardSession session;

    // Connection flags; deviceAttached is the session's.
    bool deviceAttached() const { return session.isOpen(); }
    bool settingsLoaded = false;
    bool serialListReady = false;

private:
    void closeAfterLoss();
    void relistWhenInterfacesChanged();
    bool relistBesideOpenBoard();
    void selectPickedSerial();
    void sendSetting(const config::Setting& setting, int index);

    // Loading the board into the window
    void clearBoardControls();
    void showDeviceDetails();
    void fillSelectors();
    void applyVersionGates();
    void readSettingsBack();
    void applyReadBack(const config::ReadBackBlock& block);

    hid::ApiDeclarations& api_;
    WindowView& view_;
    config::BoardVersion version_;
    // The serial of the board last opened: after a loss it is opened again if it is still
    // there, rather than whichever board the list happens to end with.
    std::optional<std::string> pickedSerial_;
    // The platform's interface generation when the serial list was last made, and the list.
    std::uint64_t listedGeneration_ = 0;
    std::vector<std::string> listedSerials_;
    bool unloaded_ = false;
    bool boardControlsClear_ = false; // in their no-board state since no board was open
};

} // namespace app
