// What the scenarios share: the bench with the virtual boards and the platform layer over the
// guest's real hidraw devices, and the exchanges with a board as the window and its
// supervisor make them, with the checks of what comes back.
#pragma once

#include "BoardProcess.h"
#include "BoardSession.h"
#include "HidrawPlatform.h"
#include "Protocol.h"
#include "Scenario.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hil {

int openDescriptors();
std::string hexBytes(std::span<const std::uint8_t> bytes);
std::string joined(const std::vector<std::string>& texts);
// Distinct bytes everywhere, so a block from the wrong place shows.
Memory patternMemory(unsigned seed);

class Bench {
public:
    Bench(std::string emulator, std::string usbEmulator)
        : emulator_(std::move(emulator)), usbEmulator_(std::move(usbEmulator)) {}

    std::unique_ptr<BoardProcess> start(const BoardSpec& spec) {
        return std::make_unique<BoardProcess>(spec.usb ? usbEmulator_ : emulator_, spec);
    }

    // Every exchange goes through the board session, as the window's do.
    config::BoardSession& session() { return session_; }
    config::OpenBoard board() const { return session_.board(); }
    hid::HidrawPlatform& platform() { return platform_; }

    // Opens the board as the supervisor does.
    bool open(Scenario& s, const std::string& serial) {
        const bool found = session_.open(serial);
        s.check(found, "opening " + serial + ": " + session_.lastError().message());
        return found;
    }

    void close() { session_.close(); }

    // Nothing opened by the walks or the opens is left behind.
    void checkNothingOpen(Scenario& s, int descriptorsBefore) {
        s.expectEqual(platform_.openDeviceHandles(), 0, "open device handles");
        s.expectEqual(openDescriptors(), descriptorsBefore, "open file descriptors");
    }

    std::unique_ptr<BoardProcess> a, other, b;
    std::string lostNode;

private:
    std::string emulator_;
    std::string usbEmulator_;
    hid::HidrawPlatform platform_;
    config::BoardSession session_{platform_};
};

// Closes the bench's board whatever way a scenario ends.
struct ClosesBoard {
    Bench& bench;
    ~ClosesBoard() { bench.close(); }
};

// Runs one scenario and prints its line; false when it failed.
bool run(Bench& bench, const char* name, void (*body)(Bench&, Scenario&));

// What the serial-number list is built from: every board's serial text, in walk order.
std::vector<std::string> listBoards(config::BoardSession& session);

// The read-back as the window makes it: what it read, how many of the eight reads succeeded,
// and the session's error.
struct ReadBack {
    config::BoardSettings settings;
    int reads = 0;
    config::SessionError error;
};
ReadBack readBack(config::BoardSession& session);
// What the window shows for each setting is what the board's memory holds.
void checkSettings(Scenario& s, const ReadBack& got, const Memory& memory);

// A raw presence read on the open board's read handle as the supervisor makes it, for checking
// the bytes of the input report; returns the read's result.
hid::Bool32 presenceRead(Bench& bench, std::array<std::uint8_t, 65>& buffer,
                         std::uint32_t& bytesRead);
// A raw presence read of a streaming board, retried for a while.
hid::Bool32 streamingRead(Bench& bench, std::array<std::uint8_t, 65>& buffer,
                          std::uint32_t& bytesRead);
// The serial text the board behind the handle gives now, as the walk asks for it.
std::optional<std::string> serialText(hid::ApiDeclarations& api, hid::Handle handle);
// The session's presence check of a streaming board, retried for a while.
bool streamingPresence(config::BoardSession& session);
// Presence checks until one fails; the count of those that succeeded, or -1 when they never
// stop.
int drainPresence(config::BoardSession& session, int limit);
// What the unplugged board's handles still give: nothing.
void checkLostHandles(Bench& bench, Scenario& s);
// Polls like the supervisor until the board is found.
bool findAgain(Bench& bench, const std::string& serial, int& ticks);

// The USB scenarios (UsbScenarios.cpp); true when all passed.
bool runUsbScenarios(Bench& bench);
// The shipped command line at path against USB boards (CliScenarios.cpp); true when all passed.
bool runCliScenarios(Bench& bench, const std::string& path);

} // namespace hil
