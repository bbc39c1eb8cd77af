// The report lengths a HID report descriptor declares, as the Windows capabilities record gives
// them: the longest report of each type in bytes, plus one for the report-ID byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace hid {

// Each length counts the report-ID byte, which leads the buffer also when the device numbers
// no reports (it is 0 then). A type the device has no report of has length 0.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
    bool numberedReports = false; // the descriptor gives Report IDs
    friend bool operator==(const ReportLengths&, const ReportLengths&) = default;
};

enum class DescriptorError {
    None,
    TruncatedItem,        // an item's data, or a long item's header, runs past the end
    PopWithoutPush,       // Pop with nothing pushed
    PushTooDeep,          // more nested Pushes than any real device needs
    UnbalancedCollection, // End Collection without Collection, or collections left open
    BadReportId,          // Report ID 0 or above 255
    ReportTooLong,        // a report longer than a 16-bit length can tell
};

struct DescriptorParse {
    std::optional<ReportLengths> lengths; // set exactly when the descriptor is well formed
    DescriptorError error = DescriptorError::None;
};

// Never reads outside descriptor, whatever its content.
DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace hid
