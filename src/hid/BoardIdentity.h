// The USB identity of the board family.
#pragma once

#include "ApiDeclarations.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace hid {

inline constexpr std::uint16_t kBoardVendorId = 0x1209;
inline constexpr std::array<std::uint16_t, 4> kBoardProductIds{0x0001, 0x0002, 0x0003, 0x0004};

constexpr bool isBoard(const HiddAttributes& attributes) {
    return attributes.VendorID == kBoardVendorId &&
           std::find(kBoardProductIds.begin(), kBoardProductIds.end(), attributes.ProductID) !=
               kBoardProductIds.end();
}

} // namespace hid
