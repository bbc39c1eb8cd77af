// The serial-number list of the attached boards, and opening the board it shows.
#include "DropDownList.h"
#include "frmMain.h"

using AfterBoard = hid::BoardConnection::AfterBoard;

// Lists every board with a serial text, in enumeration order, and selects the last one. The
// selections made here raise SerNo_Click, which ignores them until the list is ready.
void frmMain::Scan_USB_devices() {
    serialListReady = false;
    SerNo->removeAllItems();
    SerNo->setEnabled(false);
    std::int16_t entryCount = -1;
    board.enumerationDone = false;
    board.walkInterfaces([&] {
        if (const std::optional<std::string> serial = board.serialText()) {
            ++entryCount;
            SerNo->addItemAt(QString::fromLatin1(serial->data(), qsizetype(serial->size())),
                             entryCount);
            SerNo->setListIndex(entryCount);
        }
        return AfterBoard::CloseAndContinue;
    });
    if (entryCount > 0)
        SerNo->setEnabled(true);
    serialListReady = true;
}

bool frmMain::FindTheHid() {
    const QByteArray wanted = SerNo->selectedText().toLatin1();
    return board.FindTheHid(wanted.toStdString());
}
