// The three simulated boards that the demos work on, the window's and tessary32 --demo's:
// versions 1.1, 1.2 and 1.3, each with settings of its own.
#pragma once

#include "SimulatedPlatform.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace hid::sim {

struct DemoBoard {
    InterfaceSpec spec;
    std::vector<std::pair<int, std::uint8_t>> encoderModes; // channel, code
    std::uint8_t pulseWidth;
    std::uint8_t rotStart;

    // Writes the board's settings into its memory.
    void putSettings(SimulatedFirmware& firmware) const;
};

const std::vector<DemoBoard>& demoBoards();

// Adds the demo's boards to platform, plugged in, in their order; returns their devices.
std::vector<DeviceId> addDemoBoards(SimulatedPlatform& platform);

} // namespace hid::sim
