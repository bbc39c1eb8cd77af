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
    static const std::vector<std::uint8_t> descriptor{
        0x05, 0x01,       // Usage Page (Generic Desktop)
        0x09, 0x04,       // Usage (Joystick)
        0xA1, 0x01,       // Collection (Application)
        0x05, 0x09,       //   Usage Page (Button)
        0x19, 0x01,       //   Usage Minimum (1)
        0x29, 0x20,       //   Usage Maximum (32)
        0x15, 0x00,       //   Logical Minimum (0)
        0x25, 0x01,       //   Logical Maximum (1)
        0x75, 0x01,       //   Report Size (1)
        0x95, 0x20,       //   Report Count (32)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x06, 0x00, 0xFF, //   Usage Page (Vendor Defined 0xFF00)
        0x09, 0x01,       //   Usage (1)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x40,       //   Report Count (64)
        0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
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
