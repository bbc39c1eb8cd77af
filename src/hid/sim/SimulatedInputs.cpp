#include "SimulatedInputs.h"

#include <algorithm>
#include <optional>

namespace hid::sim {

namespace {

void setBits(std::vector<std::uint8_t>& report, std::uint64_t offset, std::uint32_t size,
             std::uint64_t value) {
    for (std::uint32_t i = 0; i < size && i < 64; ++i) {
        const std::uint64_t bit = offset + i;
        const std::size_t byte = 1 + static_cast<std::size_t>(bit / 8);
        if (byte < report.size() && ((value >> i) & 1u) != 0)
            report[byte] |= static_cast<std::uint8_t>(1u << (bit % 8));
    }
}

bool pressed(InputSet inputs, const std::optional<Usage>& usage) {
    return usage && usage->page == kButtonPage && usage->id >= 1 && usage->id <= kBoardInputs &&
           (inputs >> (usage->id - 1)) & 1u;
}

void putVariable(const ReportField& field, InputSet inputs, std::vector<std::uint8_t>& report) {
    for (std::uint32_t element = 0; element < field.count; ++element)
        if (pressed(inputs, field.usageAt(element)))
            setBits(report, field.bitOffset + std::uint64_t{element} * field.bitSize, field.bitSize,
                    1);
}

// Each pressed input that the array can name takes the next free element.
void putArray(const ReportField& field, InputSet inputs, std::vector<std::uint8_t>& report) {
    std::uint32_t element = 0;
    const std::uint64_t usages = std::min<std::uint64_t>(field.usageCount(), 1u << 16);
    for (std::uint64_t index = 0; index < usages && element < field.count; ++index) {
        const std::int64_t value = field.logicalMinimum + static_cast<std::int64_t>(index);
        if (!pressed(inputs, field.usageAt(index)) || value > field.logicalMaximum)
            continue;
        setBits(report, field.bitOffset + std::uint64_t{element} * field.bitSize, field.bitSize,
                static_cast<std::uint64_t>(value));
        ++element;
    }
}

} // namespace

const std::vector<std::uint8_t>& boardReportDescriptor() {
    static const std::vector<std::uint8_t> descriptor(kBoardReportDescriptor.begin(),
                                                      kBoardReportDescriptor.end());
    return descriptor;
}

std::vector<std::uint8_t> inputReport(std::span<const std::uint8_t> descriptor, InputSet inputs) {
    const DescriptorParse parse = parseReportDescriptor(descriptor);
    if (!parse.layout)
        return {0};
    const ReportLayout& layout = *parse.layout;
    const auto withButtons = [](const ReportField& field) {
        return field.kind == ReportKind::Input && field.declaresPage(kButtonPage);
    };
    const auto first = std::find_if(layout.fields.begin(), layout.fields.end(), withButtons);
    if (first == layout.fields.end())
        return std::vector<std::uint8_t>(
            std::max<std::size_t>(1, layout.longestReport(ReportKind::Input)), 0);
    std::vector<std::uint8_t> report(layout.reportLength(ReportKind::Input, first->reportId), 0);
    report[0] = first->reportId;
    for (const ReportField& field : layout.fields) {
        if (field.reportId != first->reportId || !withButtons(field))
            continue;
        if (field.variable)
            putVariable(field, inputs, report);
        else
            putArray(field, inputs, report);
    }
    return report;
}

} // namespace hid::sim
