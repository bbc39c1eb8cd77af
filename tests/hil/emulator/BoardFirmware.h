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
