#include "UsageQueries.h"

#include <algorithm>
#include <limits>
#include <span>

namespace hid {

namespace {

ReportKind kindOf(HidpReportType type) {
    switch (type) {
    case HidpReportType::Output:
        return ReportKind::Output;
    case HidpReportType::Feature:
        return ReportKind::Feature;
    default:
        return ReportKind::Input;
    }
}

Bool32 statusOf(UsageStatus status) {
    switch (status) {
    case UsageStatus::Ok:
        return HIDP_STATUS_SUCCESS;
    case UsageStatus::PageNotDeclared:
        return HIDP_STATUS_USAGE_NOT_FOUND;
    case UsageStatus::NotInThisReport:
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    case UsageStatus::UnknownReportId:
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    case UsageStatus::WrongLength:
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    }
    return HIDP_STATUS_INVALID_REPORT_LENGTH;
}

} // namespace

Bool32 hidpGetUsages(const ReportLayout& layout, HidpReportType reportType, std::uint16_t usagePage,
                     std::uint16_t* usageList, std::uint32_t* usageLength,
                     const std::uint8_t* report, std::uint32_t reportLength) {
    if (usageLength == nullptr || (report == nullptr && reportLength != 0))
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    const UsagesOn on = usagesOn(layout, kindOf(reportType), usagePage,
                                 std::span<const std::uint8_t>(report, reportLength));
    if (on.status != UsageStatus::Ok) {
        *usageLength = 0;
        return statusOf(on.status);
    }
    if (usageList == nullptr || on.usages.size() > *usageLength) {
        *usageLength = static_cast<std::uint32_t>(on.usages.size());
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    std::copy(on.usages.begin(), on.usages.end(), usageList);
    *usageLength = static_cast<std::uint32_t>(on.usages.size());
    return HIDP_STATUS_SUCCESS;
}

std::uint32_t hidpMaxUsageListLength(const ReportLayout& layout, HidpReportType reportType,
                                     std::uint16_t usagePage) {
    const std::size_t most = maxUsageListLength(layout, kindOf(reportType), usagePage);
    return static_cast<std::uint32_t>(
        std::min<std::size_t>(most, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace hid
