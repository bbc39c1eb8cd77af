// The report descriptor of a board, as its firmware gives it: 32 one-bit buttons, B1 to B32, as
// a 4-byte input report without report ID, and 64 vendor-defined bytes as the feature report.
// The simulated boards and the emulated ones of the hardware-in-the-loop tests both give it.
#pragma once

#include <array>
#include <cstdint>

namespace hid::sim {

inline constexpr auto kBoardReportDescriptor = std::to_array<std::uint8_t>({
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x04,       // Usage (Joystick)
    0xA1, 0x01,       // Collection (Application)
    0x05, 0x09,       //   Usage Page (Button)
    0x19, 0x01,       //   Usage Minimum (1)
    0x29, 0x20,       //   Usage Maximum (32)
    0x15, 0x00,       //   Logical Minimum (0)
    0x25, 0x01,       //   Logical Maximum (1)
    0x75, 0x01,       //   Report Size (1)
    0x95, 0x20,       //   Report Count (32)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0x06, 0x00, 0xFF, //   Usage Page (Vendor Defined 0xFF00)
    0x09, 0x01,       //   Usage (1)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x40,       //   Report Count (64)
    0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
    0xC0,             // End Collection
});

} // namespace hid::sim
