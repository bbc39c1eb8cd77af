// What the scenarios share: the bench with the virtual boards and the platform layer over the
// guest's real hidraw devices, and the exchanges with a board as the window and its
// supervisor make them, with the checks of what comes back.
#pragma once

#include "BoardConnection.h"
#include "BoardProcess.h"
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
        : emulator_(std::move(emulator)), usbEmulator_(std::move(usbEmulator)) {
        platform_.setPermissionNoticeStream(nullptr);
    }

    std::unique_ptr<BoardProcess> start(const BoardSpec& spec) {
        return std::make_unique<BoardProcess>(spec.usb ? usbEmulator_ : emulator_, spec);
    }

    hid::BoardConnection& connection() { return connection_; }
    hid::HidrawPlatform& platform() { return platform_; }

    // Opens the board as the supervisor does, with FindTheHid.
    bool open(Scenario& s, const std::string& serial) {
        const bool found = connection_.FindTheHid(serial);
        s.check(found, "FindTheHid(\"" + serial + "\") found nothing");
        return found;
    }

    void close() {
        if (!connection_.deviceAttached)
            return;
        connection_.closeBoard();
        connection_.deviceAttached = false;
    }

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
    hid::BoardConnection connection_{platform_};
};

// Closes the bench's board whatever way a scenario ends.
struct ClosesBoard {
    Bench& bench;
    ~ClosesBoard() { bench.close(); }
};

// Runs one scenario and prints its line; false when it failed.
bool run(Bench& bench, const char* name, void (*body)(Bench&, Scenario&));

// What the serial-number list is built from: every board's serial text, in walk order.
std::vector<std::string> listBoards(hid::BoardConnection& connection);

// A read-back exchange as the window runs it: the request, then eight reads into one buffer.
struct ReadBack {
    hid::Bool32 sent = 0;
    std::vector<config::Report> reports;
    int failedReads = 0;
};
ReadBack readBack(hid::BoardConnection& connection);
// The eight reports are the board's eight blocks, lowest address first, byte for byte.
void checkBlocks(Scenario& s, const ReadBack& got, const Memory& memory);
// Sends one setting as its handler does; false when the send fails.
bool writeSetting(hid::BoardConnection& connection, std::uint8_t address, std::uint8_t value);
// One self test as the diagnostic runs it: 65-byte buffers, the command, one read.
std::optional<std::array<std::uint8_t, 65>> selfTest(hid::BoardConnection& connection);

// A presence read as the supervisor makes it; returns the read's result.
hid::Bool32 presenceRead(hid::BoardConnection& connection, std::array<std::uint8_t, 65>& buffer,
                         std::uint32_t& bytesRead);
// A presence read of a streaming board, retried for a while.
hid::Bool32 streamingRead(hid::BoardConnection& connection, std::array<std::uint8_t, 65>& buffer,
                          std::uint32_t& bytesRead);
// Reads until a presence read fails; the count of reads that succeeded, or -1 when they never
// stop.
int drainPresenceReads(hid::BoardConnection& connection, int limit);
// What the unplugged board's handles still give: nothing.
void checkLostHandles(hid::BoardConnection& connection, Scenario& s);
// Polls like the supervisor until the board is found.
bool findAgain(Bench& bench, const std::string& serial, int& ticks);

std::optional<std::string>
stringQuery(hid::BoardConnection& connection, hid::Handle handle,
            hid::Bool32 (hid::ApiDeclarations::*query)(hid::Handle, std::uint8_t*, std::uint32_t));

// The USB scenarios (UsbScenarios.cpp); true when all passed.
bool runUsbScenarios(Bench& bench);

} // namespace hil
