// The serial-number list of the attached boards, and opening the board it shows.
#include "MainWindowLogic.h"

#include <algorithm>

namespace app {

// Lists every board with a serial text, in enumeration order, and selects the last one, or the
// board that was open before, when it is still there. The selections made here raise
// SerNo_Click, which ignores them until the list is ready.
void MainWindowLogic::Scan_USB_devices() {
    serialListReady = false;
    view_.removeAllItems(Control::SerNo);
    view_.setEnabled(Control::SerNo, false);
    listedGeneration_ = api_.InterfaceGeneration();
    const std::vector<config::BoardListing> boards = session.listBoards();
    listedSerials_.clear();
    for (const config::BoardListing& listed : boards)
        listedSerials_.push_back(listed.serial);
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

// The list made again while a board is open, in enumeration order, with the open board
// selected: nothing is read from that board or written to it, and it stays loaded. False when
// the open board is not among the interfaces: it is leaving, and the next presence read finds
// that out.
bool MainWindowLogic::relistBesideOpenBoard() {
    const std::vector<config::BoardListing> boards =
        session.listBoardsBesideOpen(pickedSerial_.value_or(""));
    const auto open =
        std::find_if(boards.begin(), boards.end(),
                     [](const config::BoardListing& listed) { return listed.isOpen; });
    if (open == boards.end())
        return false;
    std::vector<std::string> serials;
    for (const config::BoardListing& listed : boards)
        serials.push_back(listed.serial);
    const int openEntry = int(open - boards.begin());
    if (serials == listedSerials_ && openEntry == view_.listIndex(Control::SerNo))
        return true;
    serialListReady = false;
    view_.removeAllItems(Control::SerNo);
    for (std::size_t entry = 0; entry < serials.size(); ++entry)
        view_.addItem(Control::SerNo, serials[entry], int(entry));
    view_.setListIndex(Control::SerNo, openEntry);
    view_.setEnabled(Control::SerNo, serials.size() > 1);
    listedSerials_ = std::move(serials);
    serialListReady = true;
    return true;
}

bool MainWindowLogic::FindTheHid() {
    const std::string wanted = view_.selectedText(Control::SerNo);
    if (!session.open(wanted))
        return false;
    pickedSerial_ = wanted;
    return true;
}

} // namespace app
