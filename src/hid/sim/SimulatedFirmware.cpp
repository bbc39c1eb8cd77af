#include "SimulatedFirmware.h"

#include "Protocol.h"

#include <algorithm>

namespace hid::sim {

void SimulatedFirmware::receive(const std::uint8_t* report, std::size_t length) {
    if (length < 2)
        return;
    const std::uint8_t command = report[1];
    if (command == config::kWriteSetting && length >= 4) {
        memory[report[2]] = report[3];
    } else if (command == config::kReadBackRequest) {
        pendingAnswers_.clear();
        for (const int block : blockOrder)
            pendingAnswers_.push_back({false, block & (kBlockCount - 1)});
    } else if (command == config::kSelfTest) {
        pendingAnswers_.clear();
        pendingAnswers_.push_back({true, 0});
    }
}

// The next queued answer, cut to the report length; a plain zero report when none is queued.
// A block carries its base address in byte 1 and its 32 values from byte 2 on.
void SimulatedFirmware::answer(std::uint8_t* report, std::size_t length) {
    std::fill(report, report + length, std::uint8_t{0});
    if (pendingAnswers_.empty() || length < 2)
        return;
    const Answer next = pendingAnswers_.front();
    pendingAnswers_.pop_front();
    if (next.selfTest) {
        report[1] = selfTestResult;
        return;
    }
    const int base = next.block * kBlockSize;
    report[1] = static_cast<std::uint8_t>(base);
    std::copy_n(memory.begin() + base, std::min<std::size_t>(kBlockSize, length - 2), report + 2);
}

} // namespace hid::sim
