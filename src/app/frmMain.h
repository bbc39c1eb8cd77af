// The utility's one window. It owns everything: the controls, the connection flags and the
// board-connection state. Its procedures are grouped by concern:
//   frmMain.cpp                 creation of the controls and wiring of their events
//   frmMainAccessibility.cpp    what a screen reader hears; the detail captions' colours
//   frmMainSupervisor.cpp       start-up, shutdown and the poll timer that watches the board
//   frmMainDevices.cpp          the serial-number list and opening the picked board
//   frmMainLoad.cpp             loading the board's details and settings into the window
//   frmMainSettings.cpp         the setting selectors and the self diagnostic
// Every exchange with the board goes through the board session, which the command line shares.
#pragma once

#include "ApiDeclarations.h"
#include "BoardConnection.h"
#include "BoardSession.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class DropDownList;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class frmMain : public QWidget {
    Q_OBJECT

public:
    static constexpr int kEncoderChannels = 16;

    explicit frmMain(hid::ApiDeclarations& api, QWidget* parent = nullptr);
    ~frmMain() override;

    // Window events
    void Form_Load();
    void Form_Unload();
    void Timer_Timer();

    // Control events
    void SerNo_Click();
    void Enc1_Click() { encoderClick(1); }
    void Enc2_Click() { encoderClick(2); }
    void Enc3_Click() { encoderClick(3); }
    void Enc4_Click() { encoderClick(4); }
    void Enc5_Click() { encoderClick(5); }
    void Enc6_Click() { encoderClick(6); }
    void Enc7_Click() { encoderClick(7); }
    void Enc8_Click() { encoderClick(8); }
    void Enc9_Click() { encoderClick(9); }
    void Enc10_Click() { encoderClick(10); }
    void Enc11_Click() { encoderClick(11); }
    void Enc12_Click() { encoderClick(12); }
    void Enc13_Click() { encoderClick(13); }
    void Enc14_Click() { encoderClick(14); }
    void Enc15_Click() { encoderClick(15); }
    void Enc16_Click() { encoderClick(16); }
    void Delay_Click();
    void RotStart_Click();
    void Selftest_Click();

    // Procedures
    void PollDevice();
    void Scan_USB_devices();
    bool FindTheHid();
    void RefreshFromDevice();

    // Controls
    QPushButton* Selftest = nullptr;
    DropDownList* RotStart = nullptr;
    QLineEdit* Text1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<DropDownList*, kEncoderChannels> Enc{}; // Enc1 to Enc16
    DropDownList* Delay = nullptr;
    std::array<QLabel*, kEncoderChannels> encoderLabels{}; // Label6 to Label21
    QFrame* Line1 = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    DropDownList* SerNo = nullptr;
    QTimer* Timer = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblManuf = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* TestResult = nullptr;
    QLabel* Label22 = nullptr;

    // Connection flags; deviceAttached belongs to the board connection.
    bool settingsLoaded = false;
    bool serialListReady = false;
    bool deviceAttached() const { return board.deviceAttached; }

    // The board and its exchanges; board is its connection state: handles, path, attributes,
    // capabilities, read event.
    config::BoardSession session;
    hid::BoardConnection& board;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void setInitialStates();
    void setTabOrder();
    static void installAccessibleControls();
    void describeForAssistiveTools();
    void keepDetailCaptionsLookingEnabled();
    void wireEvents();
    void encoderClick(int channel);
    void closeAfterLoss();
    void sendSetting(const config::Setting& setting, int index);
    void selectPickedSerial();

    // Loading the board into the window
    void showDeviceDetails();
    void clearBoardControls();
    void fillSelectors();
    void applyVersionGates();
    void readSettingsBack();
    void applyReadBack(const config::ReadBackBlock& block);

    config::BoardVersion version_;
    // The serial of the board last opened: after a loss it is opened again if it is still
    // there, rather than whichever board the list happens to end with.
    std::optional<std::string> pickedSerial_;
    bool unloaded_ = false;
};
