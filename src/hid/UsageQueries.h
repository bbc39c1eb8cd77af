// HidP_GetUsages and HidP_MaxUsageListLength over the layout parsed from a report descriptor,
// for the platforms that have the descriptor itself rather than Windows' preparsed data.
#pragma once

#include "ApiDeclarations.h"
#include "ReportDescriptor.h"

#include <cstdint>

namespace hid {

Bool32 hidpGetUsages(const ReportLayout& layout, HidpReportType reportType, std::uint16_t usagePage,
                     std::uint16_t* usageList, std::uint32_t* usageLength,
                     const std::uint8_t* report, std::uint32_t reportLength);
std::uint32_t hidpMaxUsageListLength(const ReportLayout& layout, HidpReportType reportType,
                                     std::uint16_t usagePage);

} // namespace hid
