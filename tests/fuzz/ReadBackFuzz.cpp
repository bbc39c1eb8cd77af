// A read-back answer is whatever the board sends: every index decoded from it is an item of its
// selector or -1, and an answer too short for a block sets nothing.
#include "FuzzCheck.h"
#include "Protocol.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool isIndexOf(int index, std::size_t items) {
    return index >= -1 && index < static_cast<int>(items);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> report(data, data + size);
    const config::ReadBackBlock block = config::decodeReadBack(report);
    if (size < config::kReadBackMinLength)
        FUZZ_CHECK(!block.pulseWidthIndex && !block.rotStartIndex && !block.encoderModeIndex);
    if (block.pulseWidthIndex)
        FUZZ_CHECK(isIndexOf(*block.pulseWidthIndex, config::pulseWidthItems().size()));
    if (block.rotStartIndex)
        FUZZ_CHECK(isIndexOf(*block.rotStartIndex, config::rotStartItems().size()));
    if (block.encoderModeIndex)
        for (const int mode : *block.encoderModeIndex)
            FUZZ_CHECK(isIndexOf(mode, config::encoderModeItems().size()));
    return 0;
}
