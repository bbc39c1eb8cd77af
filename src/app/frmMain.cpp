#include "frmMain.h"

#include "DropDownList.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QTimer>

frmMain::frmMain(hid::ApiDeclarations& api, QWidget* parent)
    : QWidget(parent), session(api), board(session.board) {
    installAccessibleControls();
    createControls();
    describeForAssistiveTools();
    keepDetailCaptionsLookingEnabled();
    wireEvents();
}

frmMain::~frmMain() {
    if (!unloaded_)
        Form_Unload();
}

void frmMain::wireEvents() {
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(SerNo, &DropDownList::selected, this, &frmMain::SerNo_Click);
    using Handler = void (frmMain::*)();
    static constexpr std::array<Handler, kEncoderChannels> encoderHandlers{
        &frmMain::Enc1_Click,  &frmMain::Enc2_Click,  &frmMain::Enc3_Click,  &frmMain::Enc4_Click,
        &frmMain::Enc5_Click,  &frmMain::Enc6_Click,  &frmMain::Enc7_Click,  &frmMain::Enc8_Click,
        &frmMain::Enc9_Click,  &frmMain::Enc10_Click, &frmMain::Enc11_Click, &frmMain::Enc12_Click,
        &frmMain::Enc13_Click, &frmMain::Enc14_Click, &frmMain::Enc15_Click, &frmMain::Enc16_Click};
    for (int channel = 0; channel < kEncoderChannels; ++channel)
        connect(Enc[channel], &DropDownList::selected, this, encoderHandlers[channel]);
    connect(Delay, &DropDownList::selected, this, &frmMain::Delay_Click);
    connect(RotStart, &DropDownList::selected, this, &frmMain::RotStart_Click);
    connect(Selftest, &QPushButton::clicked, this, &frmMain::Selftest_Click);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_)
        Form_Unload();
    event->accept();
}
