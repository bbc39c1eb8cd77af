#include "SimulatedPlatform.h"

#include <algorithm>

namespace hid::sim {

namespace {
constexpr std::uint8_t kWriteSetting = 0xEE;
constexpr std::uint8_t kReadBack = 0xE0;
constexpr std::uint8_t kSelfTest = 0xE1;
} // namespace

void SimulatedFirmware::receive(const std::uint8_t* report, std::size_t length) {
    if (length < 2)
        return;
    const std::uint8_t command = report[1];
    if (command == kWriteSetting && length >= 4) {
        memory[report[2]] = report[3];
    } else if (command == kReadBack) {
        pendingAnswers_.clear();
        for (const int block : blockOrder) {
            const int base = (block & (kBlockCount - 1)) * kBlockSize;
            std::vector<std::uint8_t> answer{0, static_cast<std::uint8_t>(base)};
            answer.insert(answer.end(), memory.begin() + base, memory.begin() + base + kBlockSize);
            pendingAnswers_.push_back(std::move(answer));
        }
    } else if (command == kSelfTest) {
        pendingAnswers_.clear();
        pendingAnswers_.push_back({0, selfTestResult});
    }
}

// The next queued answer, cut to the report length; a plain zero report when none is queued.
void SimulatedFirmware::answer(std::uint8_t* report, std::size_t length) {
    std::fill(report, report + length, std::uint8_t{0});
    if (pendingAnswers_.empty())
        return;
    const std::vector<std::uint8_t>& next = pendingAnswers_.front();
    std::copy_n(next.begin(), std::min(length, next.size()), report);
    pendingAnswers_.pop_front();
}

} // namespace hid::sim
