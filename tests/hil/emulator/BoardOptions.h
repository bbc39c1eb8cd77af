// What a board emulator is told on its command line, shared by the uhid and the USB emulators:
// the board's identity, its firmware's starting state and how it sends input reports.
#pragma once

#include "SimulatedFirmware.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace hil {

struct DeviceIdentity {
    std::string name;         // the product string
    std::string uniq;         // the serial number
    std::string manufacturer; // USB only: uhid devices have none
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t version = 0;
};

// "streaming": an input report every inputPeriodMs while the host listens. "on change": only
// when an input changes, or when the host's idle rate runs out (never after SET_IDLE(0)).
enum class InputMode { Streaming, OnChange };

struct Options {
    DeviceIdentity identity{"Tessary-32", "HIL0001", "", 0x0003, 0x1209, 0x0001, 0x0103};
    std::uint8_t selfTestResult = 0;
    std::string memoryInit;
    std::uint32_t buttons = 0x80000001;
    int inputPeriodMs = 5;
    bool input = true;
    InputMode mode = InputMode::Streaming;
    int lifetimeMs = 0;
    bool unplugAfterWrite = false; // USB boards: pulled out right after the first setting written
    int controlFd = -1;
};

// Throws std::invalid_argument for an unknown option or a bad value.
Options parseOptions(int argc, char** argv);
// A decimal or 0x-prefixed number no larger than max; throws std::invalid_argument otherwise.
unsigned long number(const std::string& text, unsigned long max);
// Fills the firmware's memory from a file of exactly 256 bytes; throws when it is not one.
void loadMemory(const std::string& path, hid::sim::SimulatedFirmware& firmware);

// A feature report as it crosses the wire: the report-ID byte 0 and 64 data bytes.
inline constexpr std::size_t kFeatureLength = 65;
using FeatureReport = std::array<std::uint8_t, kFeatureLength>;
// The firmware's answer to a GET_REPORT of the feature report.
FeatureReport nextAnswer(hid::sim::SimulatedFirmware& firmware);
// The 4-byte input report of these buttons, B1 in bit 0 of byte 0.
std::array<std::uint8_t, 4> inputReport(std::uint32_t buttons);
// The hidraw node ("hidrawN") the kernel made for this identity, found through sysfs.
std::optional<std::string> findHidrawNode(const DeviceIdentity& identity);

} // namespace hil
