#include "frmMain.h"

#include "DetailField.h"
#include "DropDownList.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

frmMain::frmMain(hid::ApiDeclarations& api, QWidget* parent)
    : QWidget(parent), logic_(api, *this), settingsLoaded(logic_.settingsLoaded),
      serialListReady(logic_.serialListReady), session(logic_.session) {
    installAccessibleControls();
    createControls();
    describeForAssistiveTools();
    keepDetailCaptionsLookingEnabled();
    wireEvents();
}

frmMain::~frmMain() {
    if (!logic_.unloaded())
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
    if (!logic_.unloaded())
        Form_Unload();
    event->accept();
}

// The view's operations. Texts are single-byte characters, as the board's strings are shown.
// The poll timer repeats the same operations on every tick while no board is there; one that
// would change nothing is left out, as emptying an empty list or restarting the timer still
// costs a layout request, an accessibility event or a timer registration.

void frmMain::showWindow() {
    show();
}

void frmMain::setText(app::Control name, const std::string& text) {
    const QString shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    QObject* target = control(name);
    if (auto* field = qobject_cast<DetailField*>(target)) {
        field->showText(shown);
    } else if (auto* label = qobject_cast<QLabel*>(target)) {
        if (label->text() != shown)
            label->setText(shown);
    } else if (auto* box = qobject_cast<QLineEdit*>(target)) {
        box->setText(shown); // also when unchanged: setting clears the box's undo history
    }
}

void frmMain::setEnabled(app::Control name, bool enabled) {
    // A control disabled only through its frame is not disabled itself, so it is still set.
    auto* target = qobject_cast<QWidget*>(control(name));
    if (target != nullptr && target->testAttribute(Qt::WA_ForceDisabled) == enabled)
        target->setEnabled(enabled);
}

DropDownList* frmMain::listControl(app::Control list) const {
    return qobject_cast<DropDownList*>(control(list));
}

void frmMain::removeAllItems(app::Control list) {
    DropDownList* emptied = listControl(list);
    if (emptied->count() > 0)
        emptied->removeAllItems();
}

void frmMain::addItem(app::Control list, const std::string& text, int index) {
    listControl(list)->addItemAt(QString::fromLatin1(text.data(), qsizetype(text.size())), index);
}

int frmMain::listIndex(app::Control list) const {
    return listControl(list)->listIndex();
}

void frmMain::setListIndex(app::Control list, int index) {
    listControl(list)->setListIndex(index);
}

std::string frmMain::selectedText(app::Control list) const {
    return listControl(list)->selectedText().toLatin1().toStdString();
}

int frmMain::findItem(app::Control list, const std::string& text) const {
    return listControl(list)->findText(QString::fromLatin1(text.data(), qsizetype(text.size())),
                                       Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void frmMain::setTimerEnabled(bool enabled) {
    if (enabled)
        Timer->start();
    else
        Timer->stop();
}

void frmMain::setTimerInterval(int milliseconds) {
    if (Timer->interval() != milliseconds)
        Timer->setInterval(milliseconds);
}
