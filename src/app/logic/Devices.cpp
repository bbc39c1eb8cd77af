// The serial-number list of the attached boards, and opening the board it shows.
#include "MainWindowLogic.h"

namespace app {

// Lists every board with a serial text, in enumeration order, and selects the last one, or the
// board that was open before, when it is still there. The selections made here raise
// SerNo_Click, which ignores them until the list is ready.
void MainWindowLogic::Scan_USB_devices() {
    serialListReady = false;
    view_.removeAllItems(Control::SerNo);
    view_.setEnabled(Control::SerNo, false);
    const std::vector<config::BoardListing> boards = session.listBoards();
    for (std::size_t entry = 0; entry < boards.size(); ++entry) {
        view_.addItem(Control::SerNo, boards[entry].serial, int(entry));
        view_.setListIndex(Control::SerNo, int(entry));
    }
    selectPickedSerial();
    if (boards.size() > 1)
        view_.setEnabled(Control::SerNo, true);
    serialListReady = true;
}

void MainWindowLogic::selectPickedSerial() {
    if (!pickedSerial_)
        return;
    const int entry = view_.findItem(Control::SerNo, *pickedSerial_);
    if (entry >= 0 && entry != view_.listIndex(Control::SerNo))
        view_.setListIndex(Control::SerNo, entry);
}

bool MainWindowLogic::FindTheHid() {
    const std::string wanted = view_.selectedText(Control::SerNo);
    if (!session.open(wanted))
        return false;
    pickedSerial_ = wanted;
    return true;
}

} // namespace app
