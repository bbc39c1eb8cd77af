// The input reports of a simulated board: made from its report descriptor, so that whatever
// reads them sees the inputs where the descriptor puts them.
#pragma once

#include "BoardReportDescriptor.h"
#include "ReportDescriptor.h"

#include <cstdint>
#include <span>
#include <vector>

namespace hid::sim {

// kBoardReportDescriptor, as the platform interface hands descriptors round.
const std::vector<std::uint8_t>& boardReportDescriptor();

// The input report that shows inputs pressed: the first input report with Button usages,
// byte 0 its report ID. A descriptor without Button usages gives a report of zeros; one that
// does not parse gives a lone 0.
std::vector<std::uint8_t> inputReport(std::span<const std::uint8_t> descriptor, InputSet inputs);

} // namespace hid::sim
