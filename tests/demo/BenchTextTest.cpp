// What the bench reads from its form and writes into its wire log.
#include "Bench.h"

#include <gtest/gtest.h>

namespace {

using demo::parseVersion;
using hid::sim::Call;
using hid::sim::InterfaceSpec;
using hid::sim::Op;

TEST(BenchVersionTest, ReadsTheShownFormAndReleaseNumbers) {
    EXPECT_EQ(parseVersion(QStringLiteral("1.3")), 0x0103);
    EXPECT_EQ(parseVersion(QStringLiteral(" 2.1a ")), 0x021A) << "the minor number is hex";
    EXPECT_EQ(parseVersion(QStringLiteral("259")), 0x0103);
    EXPECT_EQ(parseVersion(QStringLiteral("0x0102")), 0x0102);
    for (const char* bad : {"", "one", "1.", ".3", "1.2.3", "256.0", "1.100", "65536", "-1"})
        EXPECT_EQ(parseVersion(QString::fromLatin1(bad)), std::nullopt) << bad;
}

TEST(BenchVersionTest, ShowsVersionsAsTheUtilityDoes) {
    EXPECT_EQ(demo::versionText(0x0103), QStringLiteral("1.3"));
    EXPECT_EQ(demo::versionText(0x021A), QStringLiteral("2.1a"));
    for (const std::uint16_t version : {0x0000, 0x0101, 0x0A0F, 0xFFFF})
        EXPECT_EQ(parseVersion(demo::versionText(version)), version);
}

Call featureCall(Op op, std::vector<std::uint8_t> bytes, hid::Bool32 result = 1) {
    return Call{op, 0, 0x100, 65, std::move(bytes), result};
}

TEST(BenchWireLogTest, ShowsTheBytesUpToTheLastNonZeroOne) {
    InterfaceSpec board;
    board.serial = u"S1";
    std::vector<std::uint8_t> report(65, 0);
    report[1] = 0xEE;
    report[2] = 0x24;
    report[3] = 0x04;
    EXPECT_EQ(demo::wireLogLine(featureCall(Op::HidD_SetFeature, report), board),
              QStringLiteral("S1  → 00 EE 24 04 …"));
    report[1] = 0x40;
    report[16] = 0xFF;
    EXPECT_EQ(demo::wireLogLine(featureCall(Op::HidD_GetFeature, report), board),
              QStringLiteral("S1  ← 00 40 24 04 00 00 00 00 00 00 00 00 00 00 00 00 FF …"));
    report.back() = 0x01;
    EXPECT_FALSE(demo::wireLogLine(featureCall(Op::HidD_GetFeature, report), board).endsWith("…"))
        << "nothing left out";
    EXPECT_EQ(demo::wireLogLine(featureCall(Op::HidD_GetFeature, {0, 0}), board),
              QStringLiteral("S1  ← 00 00"));
}

TEST(BenchWireLogTest, MarksFailedCallsAndBoardsWithoutSerial) {
    InterfaceSpec board;
    board.serial = std::nullopt;
    EXPECT_EQ(demo::wireLogLine(featureCall(Op::HidD_GetFeature, {}, 0), board),
              QStringLiteral("(no serial)  ← (failed)"));
    EXPECT_EQ(demo::wireLogLine(featureCall(Op::HidD_SetFeature, {0, 0xE1, 0, 0, 0}, 0), board),
              QStringLiteral("(no serial)  → 00 E1 00 00 …  (failed)"));
}

} // namespace
