// What a HID report descriptor declares: the report lengths, as the Windows capabilities record
// gives them (the longest report of each type in bytes, plus one for the report-ID byte), and
// the layout of every field, from which the usages that a received report turns on are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

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

enum class ReportKind : std::uint8_t { Input, Output, Feature };

// The usages first to last of one usage page; a single usage is a range of one.
struct UsageRange {
    std::uint16_t page = 0;
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    friend bool operator==(const UsageRange&, const UsageRange&) = default;
};

struct Usage {
    std::uint16_t page = 0;
    std::uint16_t id = 0;
    friend bool operator==(const Usage&, const Usage&) = default;
};

// One Input, Output or Feature item: count elements of bitSize bits each, the first at
// bitOffset, counted from the first bit after the report-ID byte.
struct ReportField {
    ReportKind kind = ReportKind::Input;
    std::uint8_t reportId = 0; // 0 when the reports are not numbered
    std::uint32_t bitOffset = 0;
    std::uint32_t bitSize = 0;
    std::uint32_t count = 0;
    bool constant = false; // padding: it carries no data
    bool variable = false; // one usage per element; else each element holds a usage index
    std::int64_t logicalMinimum = 0;
    std::int64_t logicalMaximum = 0;
    std::vector<UsageRange> usages; // in descriptor order
    // The usages of the innermost Application and Physical collections around the field, as
    // the kernel's HID input driver keeps them; {0, 0} outside any such collection.
    Usage application;
    Usage physical;

    // Element i of a variable field has usage i, the last usage standing for all elements
    // beyond the list; an array element holding v names usage v - logicalMinimum.
    std::optional<Usage> usageAt(std::uint64_t index) const;
    std::uint64_t usageCount() const;
    bool declaresPage(std::uint16_t page) const;
    friend bool operator==(const ReportField&, const ReportField&) = default;
};

struct ReportSize {
    ReportKind kind = ReportKind::Input;
    std::uint8_t reportId = 0;
    std::uint16_t length = 0; // in bytes, with the report-ID byte
    friend bool operator==(const ReportSize&, const ReportSize&) = default;
};

struct ReportLayout {
    std::vector<ReportField> fields; // in descriptor order
    std::vector<ReportSize> reports; // one per kind and report ID
    bool numberedReports = false;

    // The length in bytes, with the report-ID byte, of the report of this kind and ID; 0 when
    // the descriptor declares no such report.
    std::uint16_t reportLength(ReportKind kind, std::uint8_t reportId) const;
    std::uint16_t longestReport(ReportKind kind) const;
};

enum class DescriptorError {
    None,
    TruncatedItem,        // an item's data, or a long item's header, runs past the end
    PopWithoutPush,       // Pop with nothing pushed
    PushTooDeep,          // more nested Pushes than any real device needs
    UnbalancedCollection, // End Collection without Collection, or collections left open
    BadReportId,          // Report ID 0 or above 255
    ReportTooLong,        // a report longer than a 16-bit length can tell
    TooManyItems,         // more fields or usages than a descriptor the kernel hands over holds
};

struct DescriptorParse {
    std::optional<ReportLengths> lengths; // set exactly when the descriptor is well formed
    DescriptorError error = DescriptorError::None;
    std::optional<ReportLayout> layout; // set together with lengths
};

// Never reads outside descriptor, whatever its content, and keeps at most a bounded number of
// fields and usages.
DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor);

// ---- Reading received reports ----

enum class UsageStatus {
    Ok,
    PageNotDeclared, // no report of this kind has a usage on the page
    NotInThisReport, // the page is declared, but only in reports with other IDs
    UnknownReportId, // the descriptor declares no report of this kind with the report's ID
    WrongLength,     // the report is not as long as the descriptor declares it
};
const char* describe(UsageStatus status);

struct UsagesOn {
    UsageStatus status = UsageStatus::Ok;
    std::vector<std::uint16_t> usages; // usage IDs on the page asked for
};

// The usages of usagePage that report turns on: the non-zero elements of variable fields and
// the usages that array elements name. Byte 0 of report is its report ID (0 when the reports
// are not numbered); its length must be that of its own report or, as Windows delivers them,
// that of the longest report of its kind.
UsagesOn usagesOn(const ReportLayout& layout, ReportKind kind, std::uint16_t usagePage,
                  std::span<const std::uint8_t> report);
// The most usages of the page that one report of this kind can turn on; 0 when none is declared.
std::size_t maxUsageListLength(const ReportLayout& layout, ReportKind kind,
                               std::uint16_t usagePage);

// ---- The board's inputs ----

inline constexpr std::uint16_t kButtonPage = 0x09;
inline constexpr int kBoardInputs = 32;

// Inputs B1 to B32 as bits 0 to 31: Button usage n is input Bn.
using InputSet = std::uint32_t;
InputSet inputsFromButtons(std::span<const std::uint16_t> buttonUsages);

struct PressedInputs {
    UsageStatus status = UsageStatus::Ok;
    InputSet inputs = 0; // meaningful only when status is Ok
};
PressedInputs pressedInputs(const ReportLayout& layout, std::span<const std::uint8_t> report);

} // namespace hid
