// The serial-number list of the attached boards, and opening the board it shows.
#include "DropDownList.h"
#include "frmMain.h"

// Lists every board with a serial text, in enumeration order, and selects the last one, or the
// board that was open before, when it is still there. The selections made here raise
// SerNo_Click, which ignores them until the list is ready.
void frmMain::Scan_USB_devices() {
    serialListReady = false;
    SerNo->removeAllItems();
    SerNo->setEnabled(false);
    const std::vector<config::BoardListing> boards = session.listBoards();
    for (std::size_t entry = 0; entry < boards.size(); ++entry) {
        const std::string& serial = boards[entry].serial;
        SerNo->addItemAt(QString::fromLatin1(serial.data(), qsizetype(serial.size())), int(entry));
        SerNo->setListIndex(int(entry));
    }
    selectPickedSerial();
    if (boards.size() > 1)
        SerNo->setEnabled(true);
    serialListReady = true;
}

void frmMain::selectPickedSerial() {
    if (!pickedSerial_)
        return;
    const int entry = SerNo->findText(
        QString::fromLatin1(pickedSerial_->data(), qsizetype(pickedSerial_->size())),
        Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry >= 0 && entry != SerNo->listIndex())
        SerNo->setListIndex(entry);
}

bool frmMain::FindTheHid() {
    const std::string wanted = SerNo->selectedText().toLatin1().toStdString();
    if (!session.open(wanted))
        return false;
    pickedSerial_ = wanted;
    return true;
}
