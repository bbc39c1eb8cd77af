// What must hold of the window over simulated boards between any two events, whatever happened
// before: plugs, picks, ticks and failed calls. Each check returns what it found wrong, in words,
// so that a random run can print it with the events that led there.
#pragma once

#include "DropDownList.h"
#include "HidStrings.h"
#include "Protocol.h"
#include "SimulatedPlatform.h"
#include "frmMain.h"

#include <QLabel>
#include <QPushButton>
#include <string>
#include <vector>

namespace reliability {

using hid::sim::DeviceId;
using hid::sim::SimulatedPlatform;

// The serial text a device's serial string gives, as the window lists it.
inline std::string serialTextOf(SimulatedPlatform& sim, DeviceId device) {
    const std::optional<std::u16string>& serial = sim.spec(device).serial;
    if (!serial)
        return {};
    std::vector<std::uint8_t> buffer(201, 0);
    hid::putUtf16(*serial, buffer.data(), 100);
    return hid::lowByteText(buffer.data(), buffer.size());
}

inline std::string shownSerial(const frmMain& window) {
    return window.SerNo->selectedText().toLatin1().toStdString();
}

class WindowInvariants {
public:
    WindowInvariants(SimulatedPlatform& sim, const frmMain& window) : sim_(sim), window_(window) {}

    // The board the window has open, or kNoDevice.
    DeviceId openDevice() const {
        return window_.deviceAttached() ? sim_.deviceBehind(window_.session.board().featureHandle)
                                        : hid::sim::kNoDevice;
    }

    std::vector<std::string> violations() const {
        std::vector<std::string> found;
        checkResources(found);
        if (window_.deviceAttached()) {
            checkShownBoard(found);
            if (window_.settingsLoaded)
                checkSelectorsShowTheBoard(found);
        } else {
            checkEmptyWithoutBoard(found);
        }
        return found;
    }

    // For a write about to reach device: it must be the board open and shown.
    std::string writeViolation(DeviceId device) const {
        if (!window_.deviceAttached())
            return "a feature report was sent with no board open";
        if (device != openDevice())
            return "a feature report went to device " + std::to_string(device) +
                   ", the open board is " + std::to_string(openDevice());
        if (serialTextOf(sim_, device) != shownSerial(window_))
            return "a feature report went to " + serialTextOf(sim_, device) +
                   " while SerNo shows " + shownSerial(window_);
        return {};
    }

private:
    // Handles only of the open board; info sets and preparsed data never outlive a call.
    void checkResources(std::vector<std::string>& found) const {
        int boardHandles = 0;
        if (window_.deviceAttached()) {
            const DeviceId feature = sim_.deviceBehind(window_.session.board().featureHandle);
            const DeviceId read = sim_.deviceBehind(window_.session.board().readHandle);
            boardHandles = (feature != hid::sim::kNoDevice) + (read != hid::sim::kNoDevice);
            if (feature == hid::sim::kNoDevice)
                found.push_back("a board is attached without an open feature handle");
            if (read != hid::sim::kNoDevice && read != feature)
                found.push_back("the two handles lead to different devices");
        }
        if (sim_.openDeviceHandles() != boardHandles)
            found.push_back(std::to_string(sim_.openDeviceHandles()) + " device handles open, " +
                            std::to_string(boardHandles) + " of them the board's");
        if (sim_.openInfoSets() != 0)
            found.push_back(std::to_string(sim_.openInfoSets()) + " device information sets open");
        if (sim_.openPreparsedData() != 0)
            found.push_back(std::to_string(sim_.openPreparsedData()) + " preparsed data not freed");
        if (sim_.eventsCreated() > 1)
            found.push_back(std::to_string(sim_.eventsCreated()) + " read events created");
        checkReads(found);
    }

    // The presence read in flight: never reissued, never left behind a closed handle, never
    // waited for unless cancelled, and at most one, on the open board's read handle.
    void checkReads(std::vector<std::string>& found) const {
        const hid::sim::ReadMisuses& misuses = sim_.readMisuses();
        const std::pair<int, const char*> counts[] = {
            {misuses.readsOnOverlappedInFlight, "ReadFile calls on an OVERLAPPED in flight"},
            {misuses.closesWithReadInFlight, "handles closed with a read in flight"},
            {misuses.waitsThatWouldHang, "waits on a read nothing would end"},
            {misuses.sharedHandleWaits, "input waits on a handle with a presence read"},
        };
        for (const auto& [count, what] : counts)
            if (count != 0)
                found.push_back(std::to_string(count) + " " + what);
        const bool mayHaveOne = window_.deviceAttached() && window_.session.board().presenceReadInFlight;
        if (sim_.readsInFlight() > (mayHaveOne ? 1 : 0))
            found.push_back(std::to_string(sim_.readsInFlight()) + " reads in flight, " +
                            (mayHaveOne ? "one" : "none") + " of them the window's");
    }

    void checkShownBoard(std::vector<std::string>& found) const {
        const DeviceId device = openDevice();
        if (device == hid::sim::kNoDevice)
            return;
        if (serialTextOf(sim_, device) != shownSerial(window_))
            found.push_back("SerNo shows " + shownSerial(window_) + ", the open board is " +
                            serialTextOf(sim_, device));
    }

    void checkEmptyWithoutBoard(std::vector<std::string>& found) const {
        std::vector<const DropDownList*> settings(window_.Enc.begin(), window_.Enc.end());
        settings.push_back(window_.Delay);
        settings.push_back(window_.RotStart);
        for (const DropDownList* list : settings)
            if (list->count() != 0 || list->isEnabled())
                found.push_back(list->objectName().toStdString() +
                                " is filled or enabled with no board");
        if (window_.Selftest->isEnabled())
            found.push_back("Selftest is enabled with no board");
        for (const QLabel* label :
             {window_.lblManuf, window_.lblProduct, window_.lblVersion, window_.TestResult})
            if (!label->text().isEmpty())
                found.push_back(label->objectName().toStdString() + " shows \"" +
                                label->text().toStdString() + "\" with no board");
        if (window_.settingsLoaded)
            found.push_back("settingsLoaded with no board");
    }

    // A selector that shows a value shows the value the board holds.
    void checkSelectorsShowTheBoard(std::vector<std::string>& found) const {
        const DeviceId device = openDevice();
        if (device == hid::sim::kNoDevice)
            return;
        const auto& memory = sim_.firmware(device).memory;
        const auto check = [&](const DropDownList* list, int boardIndex) {
            if (list->listIndex() != -1 && list->listIndex() != boardIndex)
                found.push_back(list->objectName().toStdString() + " shows \"" +
                                list->selectedText().toStdString() + "\" (index " +
                                std::to_string(list->listIndex()) + "), the board holds index " +
                                std::to_string(boardIndex));
        };
        for (int channel = 1; channel <= config::kEncoderChannels; ++channel)
            check(window_.Enc[channel - 1],
                  config::encoderModeIndex(memory[config::encoderAddress(channel)]));
        check(window_.Delay, config::pulseWidthIndex(memory[config::kPulseWidthAddress]));
        check(window_.RotStart, config::rotStartIndex(memory[config::kRotStartAddress]));
    }

    SimulatedPlatform& sim_;
    const frmMain& window_;
};

} // namespace reliability
