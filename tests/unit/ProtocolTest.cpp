// The configuration protocol: reports built for the board, value codes, read-back decoding,
// the version text and gates.
#include "Protocol.h"

#include <gtest/gtest.h>

namespace {

using config::Report;

Report head(const Report& report) {
    return Report(report.begin(), report.begin() + 4);
}

bool zeroFrom(const Report& report, std::size_t first) {
    for (std::size_t i = first; i < report.size(); ++i)
        if (report[i] != 0)
            return false;
    return true;
}

TEST(ProtocolReports, WriteSettingIsFourBytesOfHeadThenZerosToTheReportLength) {
    const Report report = config::writeSettingReport(65, config::encoderAddress(16), 8);
    ASSERT_EQ(report.size(), 65u);
    EXPECT_EQ(head(report), (Report{0x00, 0xEE, 0x3E, 0x08}));
    EXPECT_TRUE(zeroFrom(report, 4));
    EXPECT_EQ(config::writeSettingReport(4, 0x40, 0x19), (Report{0x00, 0xEE, 0x40, 0x19}));
}

TEST(ProtocolReports, RequestsCarryTheirFixedBytes) {
    const Report readBack = config::readBackRequest(40);
    ASSERT_EQ(readBack.size(), 40u);
    EXPECT_EQ(head(readBack), (Report{0x00, 0xE0, 0x00, 0x05}));
    EXPECT_TRUE(zeroFrom(readBack, 4));

    const Report selfTest = config::selfTestRequest(9);
    ASSERT_EQ(selfTest.size(), 65u) << "the self test's buffer holds a whole 65-byte report";
    EXPECT_EQ(selfTest[1], 0xE1);
    EXPECT_TRUE(zeroFrom(selfTest, 2));
    EXPECT_EQ(config::selfTestRequest(100).size(), 100u) << "never shorter than the report";
}

TEST(ProtocolReports, ReportsThatDoNotFitAreNotMade) {
    EXPECT_TRUE(config::writeSettingReport(3, 0x40, 1).empty());
    EXPECT_TRUE(config::writeSettingReport(0, 0x40, 1).empty());
    EXPECT_TRUE(config::readBackRequest(3).empty());
    EXPECT_TRUE(config::selfTestRequest(1).empty());
}

TEST(ProtocolValues, EncoderModesAreSingleBitsAtEvenAddresses) {
    EXPECT_EQ(config::encoderModeValue(0), 0);
    EXPECT_EQ(config::encoderModeValue(1), 2);
    EXPECT_EQ(config::encoderModeValue(2), 4);
    EXPECT_EQ(config::encoderModeValue(3), 8);
    EXPECT_EQ(config::encoderModeValue(-1), 0);
    EXPECT_EQ(config::encoderAddress(1), 0x20);
    EXPECT_EQ(config::encoderAddress(3), 0x24);
    EXPECT_EQ(config::encoderAddress(16), 0x3E);
}

TEST(ProtocolValues, PulseWidthCountsStepsAndStartPositionIsOneBelowTheNumberShown) {
    const std::vector<std::string> widths = config::pulseWidthItems();
    ASSERT_EQ(widths.size(), 25u);
    EXPECT_EQ(widths.front(), "8 ms");
    EXPECT_EQ(widths[5], "48 ms");
    EXPECT_EQ(widths[11], "96 ms");
    EXPECT_EQ(widths.back(), "200 ms");
    EXPECT_EQ(config::pulseWidthValue(0), 1);
    EXPECT_EQ(config::pulseWidthValue(11), 12);
    EXPECT_EQ(config::pulseWidthValue(24), 25);

    const std::vector<std::string> positions = config::rotStartItems();
    ASSERT_EQ(positions.size(), 33u);
    EXPECT_EQ(positions[0], "Auto");
    EXPECT_EQ(positions[1], "2");
    EXPECT_EQ(positions[32], "33");
    EXPECT_EQ(config::rotStartValue(0), 0xFF);
    EXPECT_EQ(config::rotStartValue(1), 1);
    EXPECT_EQ(config::rotStartValue(32), 0x20);
    EXPECT_EQ(config::encoderModeItems(), (std::vector<std::string>{"off", "1:1", "1:2", "1:4"}));
}

TEST(ProtocolDecoding, HighestOfBitsOneToThreeDecidesTheEncoderMode) {
    EXPECT_EQ(config::encoderModeIndex(0x0E), 3);
    EXPECT_EQ(config::encoderModeIndex(0x06), 2);
    EXPECT_EQ(config::encoderModeIndex(0x02), 1);
    EXPECT_EQ(config::encoderModeIndex(0x01), 0);
    EXPECT_EQ(config::encoderModeIndex(0xF0), 0);
    EXPECT_EQ(config::encoderModeIndex(0xFA), 3);
}

TEST(ProtocolDecoding, CodesThatMatchNoItemSelectNothing) {
    EXPECT_EQ(config::pulseWidthIndex(1), 0);
    EXPECT_EQ(config::pulseWidthIndex(6), 5);
    EXPECT_EQ(config::pulseWidthIndex(25), 24);
    EXPECT_EQ(config::pulseWidthIndex(0), -1);
    EXPECT_EQ(config::pulseWidthIndex(26), -1);
    EXPECT_EQ(config::pulseWidthIndex(255), -1);
    EXPECT_EQ(config::rotStartIndex(0xFF), 0);
    EXPECT_EQ(config::rotStartIndex(0x00), 0);
    EXPECT_EQ(config::rotStartIndex(1), 1);
    EXPECT_EQ(config::rotStartIndex(32), 32);
    EXPECT_EQ(config::rotStartIndex(33), -1);
    EXPECT_EQ(config::rotStartIndex(254), -1);
}

Report block(std::uint8_t base) {
    Report report(65, 0);
    report[1] = base;
    return report;
}

TEST(ProtocolDecoding, PulseWidthBlockSetsPulseWidthAndStartPositionOnly) {
    Report report = block(0x40);
    report[2] = 6;
    report[16] = 0x20;
    const config::ReadBackBlock decoded = config::decodeReadBack(report);
    EXPECT_EQ(decoded.pulseWidthIndex, 5);
    EXPECT_EQ(decoded.rotStartIndex, 32);
    EXPECT_FALSE(decoded.encoderModeIndex);
}

TEST(ProtocolDecoding, EncoderBlockSetsTheSixteenModesFromTheEvenBytes) {
    Report report = block(0x20);
    report[2] = 0x02;  // channel 1
    report[3] = 0x08;  // an odd address: not a channel
    report[8] = 0x0E;  // channel 4
    report[32] = 0x04; // channel 16
    const config::ReadBackBlock decoded = config::decodeReadBack(report);
    ASSERT_TRUE(decoded.encoderModeIndex);
    const std::array<int, 16> expected{1, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(*decoded.encoderModeIndex, expected);
    EXPECT_FALSE(decoded.pulseWidthIndex);
    EXPECT_FALSE(decoded.rotStartIndex);
}

TEST(ProtocolDecoding, OtherBlocksAndShortReportsSetNothing) {
    for (const std::uint8_t base : {0x00, 0x60, 0x21, 0xE0}) {
        const config::ReadBackBlock decoded = config::decodeReadBack(block(base));
        EXPECT_FALSE(decoded.pulseWidthIndex || decoded.rotStartIndex || decoded.encoderModeIndex)
            << "base " << int(base);
    }
    Report shortReport(32, 0);
    shortReport[1] = 0x20;
    EXPECT_FALSE(config::decodeReadBack(shortReport).encoderModeIndex);
}

TEST(ProtocolVersion, TextShowsTheMinorInHexadecimalAndGatesCompareNumbers) {
    struct Case {
        std::uint16_t release;
        const char* text;
        bool rotStart;
        bool selfTest;
    };
    const Case cases[]{
        {0x0101, "1.1", false, false}, {0x0102, "1.2", true, false},
        {0x0103, "1.3", true, true},   {0x0110, "1.10", true, true},
        {0x010A, "1.A", true, true},   {0x0200, "2.0", true, true},
        {0x0009, "0.9", false, false}, {0xFFFF, "255.FF", true, true},
    };
    for (const Case& c : cases) {
        const auto version = config::BoardVersion::fromReleaseNumber(c.release);
        EXPECT_EQ(version.text(), c.text);
        EXPECT_EQ(version.offersRotStart(), c.rotStart) << c.text;
        EXPECT_EQ(version.offersSelfTest(), c.selfTest) << c.text;
    }
}

TEST(ProtocolSelfTest, ResultTextNamesTheFailedInputUnchanged) {
    EXPECT_EQ(config::selfTestResultText(0), "Passed");
    EXPECT_EQ(config::selfTestResultText(5), "Failed on B5");
    EXPECT_EQ(config::selfTestResultText(12), "Failed on B12");
    EXPECT_EQ(config::selfTestResultText(255), "Failed on B255");
}

} // namespace
