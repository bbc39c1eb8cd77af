#include "BoardFirmware.h"

#include <algorithm>

namespace hil {

namespace {
constexpr std::uint8_t kWriteSetting = 0xEE;
constexpr std::uint8_t kReadBack = 0xE0;
constexpr std::uint8_t kSelfTest = 0xE1;
} // namespace

void BoardFirmware::receive(std::span<const std::uint8_t> report) {
    if (report.size() < 2)
        return;
    switch (report[1]) {
    case kWriteSetting:
        if (report.size() >= 4)
            memory[report[2]] = report[3];
        break;
    case kReadBack:
        queueReadBack();
        break;
    case kSelfTest:
        queueSelfTest();
        break;
    default:
        break;
    }
}

// Every block of 32 addresses, lowest first: [0, base, memory[base] .. memory[base + 31]].
void BoardFirmware::queueReadBack() {
    pending_.clear();
    for (std::size_t base = 0; base < kMemorySize; base += kBlockSize) {
        FeatureReport answer{};
        answer[1] = static_cast<std::uint8_t>(base);
        std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(base), kBlockSize,
                    answer.begin() + 2);
        pending_.push_back(answer);
    }
}

void BoardFirmware::queueSelfTest() {
    pending_.clear();
    FeatureReport answer{};
    answer[1] = selfTestResult;
    pending_.push_back(answer);
}

BoardFirmware::FeatureReport BoardFirmware::nextAnswer() {
    if (pending_.empty())
        return FeatureReport{};
    const FeatureReport next = pending_.front();
    pending_.pop_front();
    return next;
}

} // namespace hil
