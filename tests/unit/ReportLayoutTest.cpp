#include "ReportDescriptor.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using hid::InputSet;
using hid::ReportKind;
using hid::UsageStatus;
using Bytes = std::vector<std::uint8_t>;

constexpr InputSet B(int n) {
    return InputSet{1} << (n - 1);
}

// The board's own descriptor: 32 one-bit buttons as a 4-byte input report, then 64
// vendor-defined bytes as the feature report. No report IDs.
const Bytes kBoard{
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01,                         // Joystick, Application
    0x05, 0x09, 0x19, 0x01, 0x29, 0x20,                         //   Button 1 to 32
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x20, 0x81, 0x02, //   32 x 1 bit, Input
    0x06, 0x00, 0xFF, 0x09, 0x01, 0x26, 0xFF, 0x00,             //   Vendor 0xFF00, usage 1
    0x75, 0x08, 0x95, 0x40, 0xB1, 0x02,                         //   64 x 8 bits, Feature
    0xC0,
};

// A game pad numbering its reports: report 1 holds 16 buttons and two signed axes, report 2
// two consumer controls and six bits of padding.
const Bytes kNumbered{
    0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x85, 0x01,             // Game Pad, report 1
    0x05, 0x09, 0x19, 0x01, 0x29, 0x10,                         //   Button 1 to 16
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x10, 0x81, 0x02, //   16 x 1 bit
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31,                         //   X, Y
    0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, //   2 x 8 bits, signed
    0x85, 0x02, 0x05, 0x0C, 0x09, 0xE9, 0x09, 0xEA,             // report 2: volume up, down
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02, //   2 x 1 bit
    0x95, 0x06, 0x81, 0x03,                                     //   6 bits of padding
    0xC0,
};

// A 3-bit hat switch first, so that the 32 buttons start at bit 3 and end in the fifth byte.
const Bytes kOddOffset{
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01,                         // Joystick
    0x09, 0x39, 0x15, 0x00, 0x25, 0x07, 0x75, 0x03, 0x95, 0x01, //   Hat switch, 3 bits
    0x81, 0x42,                                                 //   Input with a null state
    0x05, 0x09, 0x19, 0x01, 0x29, 0x20, 0x25, 0x01,             //   Button 1 to 32
    0x75, 0x01, 0x95, 0x20, 0x81, 0x02,                         //   32 x 1 bit from bit 3
    0x75, 0x05, 0x95, 0x01, 0x81, 0x03,                         //   5 bits of padding
    0xC0,
};

// Buttons named one by one out of order, padding between the groups of buttons.
const Bytes kPadded{
    0x05, 0x09, 0x09, 0x03, 0x09, 0x01, 0x09, 0x02,             // Button 3, 1, 2
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, // bits 0 to 2
    0x95, 0x05, 0x81, 0x01,                                     // bits 3 to 7: padding
    0x19, 0x04, 0x29, 0x05, 0x95, 0x02, 0x81, 0x02,             // bits 8, 9: Button 4, 5
    0x95, 0x06, 0x81, 0x03,                                     // bits 10 to 15: padding
};

// Four array slots of a byte, each naming the pressed button by its number; 0 names none.
const Bytes kArray{
    0x05, 0x09, 0x19, 0x01, 0x29, 0x40, 0x15, 0x01, 0x25, 0x40, 0x75, 0x08, 0x95, 0x04, 0x81, 0x00,
};

// Usage Page Button is pushed and popped again, so the second usage is on Generic Desktop;
// the first names Button 7 with its page in its own four bytes.
const Bytes kPushedPage{
    0x05, 0x01, 0xA4, 0x05, 0x09, 0xB4,                         // Generic Desktop, Push/Pop
    0x0B, 0x07, 0x00, 0x09, 0x00, 0x09, 0x02,                   // Button 7, Pointer
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02, // 2 x 1 bit
    0x95, 0x06, 0x81, 0x03,                                     // padding
};

// The page follows the usage; the page in force at the Input item counts.
const Bytes kPageAfterUsage{
    0x09, 0x04, 0x05, 0x09,                                     // Usage 4, then Button page
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, // 1 bit
    0x95, 0x07, 0x81, 0x03,                                     // padding
};

// Buttons only in a feature report and as constant input bits: no input report has any.
const Bytes kNoInputButtons{
    0x05, 0x09, 0x19, 0x01, 0x29, 0x08, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0xB1, 0x02,                         // Feature: Button 1 to 8
    0x19, 0x01, 0x29, 0x08, 0x81, 0x03,                         // Input, constant
    0x05, 0x01, 0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, // X
};

struct Decoding {
    const char* name;
    const Bytes* descriptor;
    Bytes report;
    UsageStatus status;
    InputSet inputs;
};

void PrintTo(const Decoding& decoding, std::ostream* out) {
    *out << decoding.name;
}

class ReportDecoding : public ::testing::TestWithParam<Decoding> {};

TEST_P(ReportDecoding, GivesThePressedInputsOrWhyNot) {
    const hid::DescriptorParse parse = hid::parseReportDescriptor(*GetParam().descriptor);
    ASSERT_TRUE(parse.layout.has_value());
    // An exactly sized copy, so that a read past the end is caught by the sanitizer build.
    const Bytes report = GetParam().report;
    const hid::PressedInputs pressed = hid::pressedInputs(*parse.layout, report);
    EXPECT_EQ(pressed.status, GetParam().status);
    EXPECT_EQ(pressed.inputs, GetParam().inputs);
}

INSTANTIATE_TEST_SUITE_P(
    ReportLayout, ReportDecoding,
    ::testing::Values(
        Decoding{
            "BoardFirstAndLast", &kBoard, {0, 0x01, 0, 0, 0x80}, UsageStatus::Ok, B(1) | B(32)},
        Decoding{"BoardPairAndNextByte",
                 &kBoard,
                 {0, 0x30, 0x10, 0, 0},
                 UsageStatus::Ok,
                 B(5) | B(6) | B(13)},
        Decoding{"BoardReportCut", &kBoard, {0, 0, 0, 0}, UsageStatus::WrongLength, 0},
        Decoding{"BoardReportTooLong", &kBoard, {0, 0, 0, 0, 0, 0}, UsageStatus::WrongLength, 0},
        Decoding{"BoardEmptyReport", &kBoard, {}, UsageStatus::WrongLength, 0},
        Decoding{"BoardReportWithAnId", &kBoard, {1, 0, 0, 0, 0}, UsageStatus::UnknownReportId, 0},
        Decoding{"NumberedButtonsBesideAxes",
                 &kNumbered,
                 {1, 0x05, 0x80, 0x7F, 0x81},
                 UsageStatus::Ok,
                 B(1) | B(3) | B(16)},
        Decoding{
            "NumberedReportWithoutButtons", &kNumbered, {2, 0x03}, UsageStatus::NotInThisReport, 0},
        Decoding{"NumberedShortReportPaddedToTheLongest",
                 &kNumbered,
                 {2, 0x03, 0, 0, 0},
                 UsageStatus::NotInThisReport,
                 0},
        Decoding{"NumberedReportOfTheWrongLength",
                 &kNumbered,
                 {1, 0x05, 0x80, 0x7F},
                 UsageStatus::WrongLength,
                 0},
        Decoding{"NumberedUnknownId", &kNumbered, {3, 0, 0, 0, 0}, UsageStatus::UnknownReportId, 0},
        Decoding{
            "NumberedIdZero", &kNumbered, {0, 0xFF, 0xFF, 0, 0}, UsageStatus::UnknownReportId, 0},
        Decoding{"OddOffsetAcrossBytes",
                 &kOddOffset,
                 {0, 0x08 | 0x07, 0x01, 0, 0, 0x04 | 0xF8},
                 UsageStatus::Ok,
                 B(1) | B(6) | B(32)},
        Decoding{"PaddingBitsAreNoInputs",
                 &kPadded,
                 {0, 0x01 | 0xF8, 0x02 | 0xFC},
                 UsageStatus::Ok,
                 B(3) | B(5)},
        Decoding{"ExplicitUsagesInTheirOrder",
                 &kPadded,
                 {0, 0x06, 0x01},
                 UsageStatus::Ok,
                 B(1) | B(2) | B(4)},
        Decoding{
            "ArraySlotsNameButtons", &kArray, {0, 5, 32, 0, 33}, UsageStatus::Ok, B(5) | B(32)},
        Decoding{
            "ArrayValuesOutsideTheLogicalRange", &kArray, {0, 0, 65, 0xFF, 0}, UsageStatus::Ok, 0},
        Decoding{"PopRestoresTheUsagePage", &kPushedPage, {0, 0x03}, UsageStatus::Ok, B(7)},
        Decoding{"PageInForceAtTheMainItem", &kPageAfterUsage, {0, 0x01}, UsageStatus::Ok, B(4)},
        Decoding{"NoButtonsInAnyInputReport",
                 &kNoInputButtons,
                 {0, 0xFF, 0xFF},
                 UsageStatus::PageNotDeclared,
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportLayout, BoardDescriptorGivesItsFieldsAndReportLengths) {
    const hid::DescriptorParse parse = hid::parseReportDescriptor(kBoard);
    ASSERT_TRUE(parse.layout.has_value());
    const hid::ReportLayout& layout = *parse.layout;
    ASSERT_EQ(layout.fields.size(), 2u);
    const hid::ReportField& buttons = layout.fields[0];
    EXPECT_EQ(buttons.kind, ReportKind::Input);
    EXPECT_EQ(buttons.reportId, 0);
    EXPECT_EQ(buttons.bitOffset, 0u);
    EXPECT_EQ(buttons.bitSize, 1u);
    EXPECT_EQ(buttons.count, 32u);
    EXPECT_TRUE(buttons.variable);
    EXPECT_FALSE(buttons.constant);
    EXPECT_EQ(buttons.usages, (std::vector<hid::UsageRange>{{0x09, 1, 32}}));
    const hid::ReportField& vendor = layout.fields[1];
    EXPECT_EQ(vendor.kind, ReportKind::Feature);
    EXPECT_EQ(vendor.usages, (std::vector<hid::UsageRange>{{0xFF00, 1, 1}}));
    EXPECT_EQ(vendor.logicalMaximum, 255);
    EXPECT_EQ(layout.reportLength(ReportKind::Input, 0), 5);
    EXPECT_EQ(layout.reportLength(ReportKind::Feature, 0), 65);
    EXPECT_EQ(hid::maxUsageListLength(layout, ReportKind::Input, hid::kButtonPage), 32u);
    EXPECT_EQ(hid::maxUsageListLength(layout, ReportKind::Output, hid::kButtonPage), 0u);
}

TEST(ReportLayout, FieldsOfNumberedReportsStartAfterTheirOwnIdByte) {
    const hid::DescriptorParse parse = hid::parseReportDescriptor(kNumbered);
    ASSERT_TRUE(parse.layout.has_value());
    const std::vector<hid::ReportField>& fields = parse.layout->fields;
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[1].bitOffset, 16u);
    EXPECT_EQ(fields[1].logicalMinimum, -127);
    EXPECT_EQ(fields[2].reportId, 2);
    EXPECT_EQ(fields[2].bitOffset, 0u) << "report 2 starts its own count";
    EXPECT_EQ(fields[3].bitOffset, 2u);
    EXPECT_TRUE(fields[3].constant);
    EXPECT_EQ(parse.layout->reportLength(ReportKind::Input, 2), 2);
    EXPECT_EQ(parse.layout->longestReport(ReportKind::Input), 5);
}

} // namespace
