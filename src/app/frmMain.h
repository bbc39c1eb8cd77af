// The utility's one window. It owns everything: the controls, the connection flags and the
// board-connection state. Its procedures are grouped by concern:
//   frmMain.cpp                 creation of the controls and wiring of their events
//   frmMainSupervisor.cpp       start-up, shutdown and the poll timer that watches the board
//   frmMainDevices.cpp          the serial-number list and opening the picked board
//   ../config/LoadSettings.cpp  loading the board's details and settings into the window
//   ../config/SettingHandlers.cpp  the setting selectors and the self diagnostic
#pragma once

#include "ApiDeclarations.h"
#include "BoardConnection.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace config {
struct ReadBackBlock;
}
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

    // The board-connection state: handles, path, attributes, capabilities, read event.
    hid::BoardConnection board;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void setInitialStates();
    void setTabOrder();
    void wireEvents();
    void encoderClick(int channel);
    void closeAfterLoss();
    void sendSetting(std::uint8_t address, std::uint8_t value);

    // Loading the board into the window
    void showDeviceDetails();
    using StringQuery = hid::Bool32 (hid::ApiDeclarations::*)(hid::Handle, std::uint8_t*,
                                                              std::uint32_t);
    std::optional<QString> deviceString(StringQuery query);
    void clearBoardControls();
    void fillSelectors();
    void applyVersionGates();
    void readSettingsBack();
    void applyReadBack(const config::ReadBackBlock& block);

    // The presence read writes here; a read that has not completed may still do so until its
    // handle is closed, so the buffer lives as long as the window. It holds any report length
    // the capabilities can state.
    std::vector<std::uint8_t> presenceBuffer_;
    bool versionKnown_ = false;
    std::uint16_t versionNumber_ = 0;
    bool unloaded_ = false;
};
