#include "ReportDescriptor.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using hid::DescriptorError;
using hid::parseReportDescriptor;
using hid::ReportLengths;
using Bytes = std::vector<std::uint8_t>;

// A game controller with 32 one-bit buttons and a 64-byte vendor feature report, no report IDs.
const Bytes kJoystick{
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
    0x06, 0x00, 0xFF, //   Usage Page (Vendor 0xFF00)
    0x09, 0x01,       //   Usage (1)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x40,       //   Report Count (64)
    0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
    0xC0,             // End Collection
};

ReportLengths lengthsOf(const Bytes& descriptor) {
    const hid::DescriptorParse parse = parseReportDescriptor(descriptor);
    EXPECT_EQ(parse.error, DescriptorError::None);
    return parse.lengths.value_or(ReportLengths{0xDEAD, 0xDEAD, 0xDEAD, true});
}

TEST(ReportDescriptor, JoystickWithoutReportIdsCountsTheZeroIdByte) {
    EXPECT_EQ(lengthsOf(kJoystick), (ReportLengths{5, 0, 65, false}));
}

TEST(ReportDescriptor, LongestReportOfEachTypeWinsAcrossReportIds) {
    const Bytes descriptor{
        0x05, 0x01, 0x09, 0x00, 0xA1, 0x01,             //
        0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, // input 1: 3 bytes
        0x85, 0x02, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02, // input 2: 7 bytes ...
        0x75, 0x01, 0x95, 0x05, 0x81, 0x02,             // ... and 5 bits: 61 bits, 8 bytes
        0x85, 0x03, 0x75, 0x08, 0x95, 0x10, 0x91, 0x02, // output 3: 16 bytes
        0x85, 0x04, 0x75, 0x08, 0x95, 0x20, 0xB1, 0x02, // feature 4: 32 bytes
        0x85, 0x05, 0x75, 0x08, 0x95, 0x02, 0xB1, 0x02, // feature 5: 2 bytes
        0xC0,
    };
    EXPECT_EQ(lengthsOf(descriptor), (ReportLengths{9, 17, 33, true}));
}

TEST(ReportDescriptor, FieldsOfOneReportAddUpWhereverTheyStand) {
    const Bytes descriptor{
        0x75, 0x08,                         // Report Size (8)
        0x85, 0x01, 0x95, 0x02, 0x81, 0x02, // input 1: 2 bytes
        0x85, 0x02, 0x95, 0x05, 0x81, 0x02, // input 2: 5 bytes
        0x85, 0x01, 0x95, 0x04, 0x81, 0x02, // input 1 again: 2 + 4 bytes
    };
    EXPECT_EQ(lengthsOf(descriptor).input, 7);
}

TEST(ReportDescriptor, PopRestoresSizeCountAndReportId) {
    const Bytes descriptor{
        0x85, 0x01, 0x75, 0x08, 0x95, 0x01, // ID 1, 8 bits, 1 field
        0xA4,                               // Push
        0x85, 0x02, 0x75, 0x10, 0x95, 0x05, // ID 2, 16 bits, 5 fields
        0x81, 0x02,                         // input 2: 10 bytes
        0xB4,                               // Pop
        0x81, 0x02,                         // input 1: 1 byte
        0xB1, 0x02,                         // feature 1: 1 byte
    };
    EXPECT_EQ(lengthsOf(descriptor), (ReportLengths{11, 0, 2, true}));
}

TEST(ReportDescriptor, LongItemsAndLocalItemsAreSkipped) {
    const Bytes descriptor{
        0xFE, 0x03, 0xF1, 0x75, 0x20, 0x81, // long item whose data looks like short items
        0x0B, 0x01, 0x00, 0x01, 0x00,       // Usage with 4 bytes of data
        0x75, 0x08, 0x95, 0x02, 0x81, 0x02, // input: 2 bytes
        0xFE, 0x00, 0x10,                   // long item without data
    };
    EXPECT_EQ(lengthsOf(descriptor), (ReportLengths{3, 0, 0, false}));
}

TEST(ReportDescriptor, ItemDataIsUnsigned) {
    const Bytes descriptor{0x75, 0x08, 0x95, 0x80, 0x81, 0x02}; // Report Count (128)
    EXPECT_EQ(lengthsOf(descriptor).input, 129);
}

TEST(ReportDescriptor, BitsAreRoundedUpToWholeBytes) {
    const Bytes descriptor{0x75, 0x01, 0x95, 0x09, 0xB1, 0x02}; // 9 bits
    EXPECT_EQ(lengthsOf(descriptor).feature, 3);
}

TEST(ReportDescriptor, EmptyDescriptorHasNoReports) {
    EXPECT_EQ(lengthsOf({}), (ReportLengths{0, 0, 0, false}));
}

TEST(ReportDescriptor, LongestReportThatFitsSixteenBits) {
    // 0xFFFE bytes of data plus the ID byte is the largest length the record can hold.
    EXPECT_EQ(lengthsOf({0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02}).input, 0xFFFF);
    EXPECT_EQ(parseReportDescriptor(Bytes{0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02}).error,
              DescriptorError::ReportTooLong);
}

// Only the cuts after a whole Usage Page or Usage item, before the collection opens, leave a
// well-formed descriptor (one without reports); every other cut is rejected.
TEST(ReportDescriptor, CutsOfAWellFormedDescriptorAreRejected) {
    for (std::size_t length = 1; length < kJoystick.size(); ++length) {
        const Bytes cut(kJoystick.begin(), kJoystick.begin() + static_cast<long>(length));
        const hid::DescriptorParse parse = parseReportDescriptor(cut);
        const bool wellFormed = length == 2 || length == 4;
        EXPECT_EQ(parse.lengths.has_value(), wellFormed) << "cut at " << length;
        EXPECT_EQ(parse.error == DescriptorError::None, wellFormed) << "cut at " << length;
    }
}

struct Malformed {
    const char* name;
    Bytes descriptor;
    DescriptorError error;
};

void PrintTo(const Malformed& malformed, std::ostream* out) {
    *out << malformed.name;
}

class MalformedDescriptor : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedDescriptor, IsRejectedWithItsReason) {
    // An exactly sized copy, so that a read past the end is caught by the sanitizer build.
    const Bytes descriptor = GetParam().descriptor;
    const hid::DescriptorParse parse = parseReportDescriptor(descriptor);
    EXPECT_FALSE(parse.lengths.has_value());
    EXPECT_EQ(parse.error, GetParam().error);
}

Bytes pushes(std::size_t count) {
    return Bytes(count, 0xA4);
}

Bytes repeated(Bytes item, std::size_t count) {
    Bytes all;
    for (std::size_t i = 0; i < count; ++i)
        all.insert(all.end(), item.begin(), item.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptor, MalformedDescriptor,
    ::testing::Values(
        Malformed{"ItemWithoutItsDataByte", {0x75, 0x08, 0x75}, DescriptorError::TruncatedItem},
        Malformed{"FourByteItemCut", {0x97, 0x01, 0x02}, DescriptorError::TruncatedItem},
        Malformed{"LongItemHeaderCut", {0xFE, 0x05}, DescriptorError::TruncatedItem},
        Malformed{"LongItemRunningPastTheEnd",
                  {0xFE, 0x10, 0x00, 0x01, 0x02},
                  DescriptorError::TruncatedItem},
        Malformed{"LongItemDeclaringAllTheRest",
                  {0x75, 0x08, 0xFE, 0xFF, 0x00, 0x81, 0x02},
                  DescriptorError::TruncatedItem},
        Malformed{"HugeReportCount",
                  {0x75, 0x08, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
                  DescriptorError::ReportTooLong},
        Malformed{"SizeTimesCountBeyond32Bits",
                  {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02},
                  DescriptorError::ReportTooLong},
        Malformed{"FieldsAddingUpBeyondTheLimit",
                  {0x75, 0x08, 0x96, 0x00, 0x80, 0x91, 0x02, 0x91, 0x02},
                  DescriptorError::ReportTooLong},
        Malformed{"PopWithoutPush", {0xA4, 0xB4, 0xB4}, DescriptorError::PopWithoutPush},
        Malformed{"EndlessPushes", pushes(1000), DescriptorError::PushTooDeep},
        Malformed{"EndlessUsages", repeated({0x09, 0x01}, 5000), DescriptorError::TooManyItems},
        Malformed{"EndlessFields", repeated({0x81, 0x02}, 5000), DescriptorError::TooManyItems},
        Malformed{"EndCollectionWithoutCollection", {0xC0}, DescriptorError::UnbalancedCollection},
        Malformed{"CollectionLeftOpen",
                  {0xA1, 0x01, 0xA1, 0x00, 0xC0},
                  DescriptorError::UnbalancedCollection},
        Malformed{"ReportIdZero", {0x85, 0x00}, DescriptorError::BadReportId},
        Malformed{"ReportIdAboveAByte", {0x86, 0x00, 0x01}, DescriptorError::BadReportId}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
