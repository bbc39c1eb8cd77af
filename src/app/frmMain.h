// The utility's one window, drawn with Qt: its controls and their events. The logic behind them
// (the connection flags, start-up, shutdown, the poll timer, loading the board and the
// handlers) lives in app::MainWindowLogic, which the native Windows window shares; this window
// is its view and hands each event on to it.
//   frmMain.cpp                 wiring of the events, and the view's operations on the controls
//   frmMainLayout.cpp           creation of the controls
//   frmMainAccessibility.cpp    what a screen reader hears; the detail captions' colours
//   logic/                      the window's logic, without a toolkit
// Every exchange with the board goes through the board session, which the command line shares.
#pragma once

#include "ApiDeclarations.h"
#include "BoardConnection.h"
#include "BoardSession.h"
#include "Layout.h"
#include "MainWindowLogic.h"
#include "WindowView.h"

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

class frmMain : public QWidget, private app::WindowView {
    Q_OBJECT

    // First, so that the references below are bound to a logic that exists.
    app::MainWindowLogic logic_;

public:
    static constexpr int kEncoderChannels = app::kEncoderChannels;

    explicit frmMain(hid::ApiDeclarations& api, QWidget* parent = nullptr);
    ~frmMain() override;

    // Window events
    void Form_Load() { logic_.Form_Load(); }
    void Form_Unload() { logic_.Form_Unload(); }
    void Timer_Timer() { logic_.Timer_Timer(); }
    using QWidget::setEnabled;

    // Control events
    void SerNo_Click() { logic_.SerNo_Click(); }
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
    void Delay_Click() { logic_.Delay_Click(); }
    void RotStart_Click() { logic_.RotStart_Click(); }
    void Selftest_Click() { logic_.Selftest_Click(); }

    // Procedures
    void PollDevice() { logic_.PollDevice(); }
    void Scan_USB_devices() { logic_.Scan_USB_devices(); }
    bool FindTheHid() { return logic_.FindTheHid(); }
    void RefreshFromDevice() { logic_.RefreshFromDevice(); }

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

    // Connection flags, the logic's own; deviceAttached is the session's.
    bool& settingsLoaded;
    bool& serialListReady;
    bool deviceAttached() const { return logic_.deviceAttached(); }

    // The board and its exchanges.
    config::BoardSession& session;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    QObject* createControl(const app::ControlLayout& row);
    void bindControls();
    void setTabOrder();
    static void installAccessibleControls();
    void describeForAssistiveTools();
    void keepDetailCaptionsLookingEnabled();
    void wireEvents();
    void encoderClick(int channel) { logic_.encoderClick(channel); }

    // The view's operations, on the controls by name.
    void showWindow() override;
    void setText(app::Control control, const std::string& text) override;
    void setEnabled(app::Control control, bool enabled) override;
    void removeAllItems(app::Control list) override;
    void addItem(app::Control list, const std::string& text, int index) override;
    int listIndex(app::Control list) const override;
    void setListIndex(app::Control list, int index) override;
    std::string selectedText(app::Control list) const override;
    int findItem(app::Control list, const std::string& text) const override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int milliseconds) override;

    QObject* control(app::Control control) const { return controls_[std::size_t(control)]; }
    DropDownList* listControl(app::Control list) const;

    std::array<QObject*, app::kControlCount> controls_{};
};
