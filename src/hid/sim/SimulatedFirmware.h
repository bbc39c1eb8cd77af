// The board's side of the configuration protocol, as a board's firmware answers it: 256
// configuration bytes, a write command, a read-back request that queues eight blocks and a self
// test that queues one result. The simulated boards and the emulated ones of the
// hardware-in-the-loop tests both run it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace hid::sim {

class SimulatedFirmware {
public:
    static constexpr int kBlockCount = 8;
    static constexpr int kBlockSize = 32;

    std::array<std::uint8_t, kBlockCount * kBlockSize> memory{};
    // The blocks a read-back request queues, in this order; block b holds addresses 32b..32b+31.
    std::vector<int> blockOrder{0, 1, 2, 3, 4, 5, 6, 7};
    std::uint8_t selfTestResult = 0;

    // A feature report sent to the board, report-ID byte included.
    void receive(const std::uint8_t* report, std::size_t length);
    // The answer to a feature read: the next queued answer, cut to length; a zero report when
    // none is queued.
    void answer(std::uint8_t* report, std::size_t length);

private:
    // What the next reads answer: a block number, or the self-test result. Blocks are read
    // from memory when they are answered.
    struct Answer {
        bool selfTest;
        int block;
    };
    std::deque<Answer> pendingAnswers_;
};

} // namespace hid::sim
