// The board's side of the configuration protocol, as the firmware of a real board answers it:
// 256 configuration bytes, a write command, a read-back request that queues eight blocks and
// a self test that queues one result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace hil {

// Joystick: 32 one-bit buttons (a 4-byte input report), then 64 vendor-defined bytes as the
// feature report. No report IDs.
inline constexpr auto kReportDescriptor = std::to_array<std::uint8_t>({
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

class BoardFirmware {
public:
    // A feature report as it crosses the wire: the report-ID byte 0 and 64 data bytes.
    static constexpr std::size_t kFeatureLength = 65;
    using FeatureReport = std::array<std::uint8_t, kFeatureLength>;
    static constexpr std::size_t kMemorySize = 256;
    static constexpr std::size_t kBlockSize = 32;

    std::array<std::uint8_t, kMemorySize> memory{};
    std::uint8_t selfTestResult = 0;

    // A SET_REPORT of the feature report, report-ID byte included.
    void receive(std::span<const std::uint8_t> report);
    // The answer to a GET_REPORT: the next queued answer, or a zero report when none is queued.
    FeatureReport nextAnswer();

private:
    void queueReadBack();
    void queueSelfTest();

    std::deque<FeatureReport> pending_;
};

} // namespace hil
