// A virtual board: one board emulator process, started with the identity and memory given and
// driven through its control channel.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace hil {

using Memory = std::array<std::uint8_t, 256>;

struct BoardSpec {
    std::string serial;
    std::string name = "Tessary-32";
    std::uint16_t vendor = 0x1209;
    std::uint16_t product = 0x0001;
    std::uint16_t version = 0x0103;
    std::uint8_t selfTestResult = 0;
    std::uint32_t buttons = 0x80000001;
    Memory memory{};
    // A real USB device (tessary-hil-usb-board) rather than a uhid one, with these extras.
    bool usb = false;
    std::string manufacturer;
    bool onChange = false;         // sends input reports only when an input changes
    bool unplugAfterWrite = false; // pulled out right after the first setting written to it
};

class BoardProcess {
public:
    // Starts the emulator and waits until the kernel has made the board's hidraw node;
    // throws std::runtime_error when it does not come up.
    BoardProcess(const std::string& emulatorPath, const BoardSpec& spec);
    // Unplugs the board if it is still there.
    ~BoardProcess();
    BoardProcess(const BoardProcess&) = delete;
    BoardProcess& operator=(const BoardProcess&) = delete;

    const BoardSpec& spec() const { return spec_; }
    // "hidrawN"
    const std::string& node() const { return node_; }

    Memory memory();
    void setSelfTestResult(std::uint8_t result);
    void setInput(bool streaming);
    // The inputs pressed now; a uhid board sends one report for them at once.
    void setButtons(std::uint32_t buttons);
    // USB boards: the control requests received since the last call, one line each
    // (ControlChannel.h); the input reports the host has taken.
    void setOnChange(bool onChange);
    std::vector<std::string> wire();
    unsigned inputsTaken();
    // How long the board took from the start of its emulator until its hidraw node was there.
    std::chrono::milliseconds plugTime() const { return plugTime_; }
    // Removes the board from the kernel; returns once the device is gone.
    void unplug();
    // USB boards: the board pulls itself out right after the next write it takes.
    void unplugAfterWrite();
    // True once a board told to unplug itself has gone and its emulator has exited cleanly.
    bool goneByItself();
    // Stops the emulator with SIGTERM; true when it exited cleanly.
    bool terminate();

private:
    void stop();
    bool waitForExit();
    std::string request(const std::string& command);
    std::string receive(int timeoutMs);

    BoardSpec spec_;
    std::string node_;
    std::chrono::milliseconds plugTime_{0};
    pid_t pid_ = -1;
    int exitStatus_ = -1;
    int control_ = -1;
};

} // namespace hil
