#include "Protocol.h"

#include <algorithm>
#include <cstdio>

namespace config {

namespace {

constexpr int kPulseWidthItems = 25;
constexpr int kRotStartPositions = 32; // "2" to "33"
constexpr std::size_t kRotStartByte = 2 + (kRotStartAddress - kPulseWidthAddress);

Report reportWithHead(std::size_t reportLength, std::size_t minLength,
                      std::array<std::uint8_t, 4> head) {
    if (reportLength < minLength)
        return {};
    Report report(reportLength, 0);
    std::copy_n(head.begin(), std::min(head.size(), reportLength), report.begin());
    return report;
}

} // namespace

Report writeSettingReport(std::size_t reportLength, std::uint8_t address, std::uint8_t value) {
    return reportWithHead(reportLength, kWriteSettingMinLength,
                          {kReportId, kWriteSetting, address, value});
}

Report readBackRequest(std::size_t reportLength) {
    return reportWithHead(reportLength, kWriteSettingMinLength,
                          {kReportId, kReadBackRequest, 0x00, 0x05});
}

Report selfTestRequest(std::size_t reportLength) {
    if (reportLength < kSelfTestMinLength)
        return {};
    return reportWithHead(std::max(reportLength, kSelfTestBufferLength), kSelfTestMinLength,
                          {kReportId, kSelfTest, 0x00, 0x00});
}

std::uint8_t encoderModeValue(int index) {
    return index > 0 ? static_cast<std::uint8_t>(1u << index) : 0;
}

std::uint8_t pulseWidthValue(int index) {
    return static_cast<std::uint8_t>(index + 1);
}

std::uint8_t rotStartValue(int index) {
    return index == 0 ? kRotStartAuto : static_cast<std::uint8_t>(index);
}

std::vector<std::string> encoderModeItems() {
    return {"off", "1:1", "1:2", "1:4"};
}

int pulseWidthMs(int index) {
    return (index + 1) * kPulseWidthStepMs;
}

std::vector<std::string> pulseWidthItems() {
    std::vector<std::string> items;
    for (int index = 0; index < kPulseWidthItems; ++index)
        items.push_back(std::to_string(pulseWidthMs(index)) + " ms");
    return items;
}

std::vector<std::string> rotStartItems() {
    std::vector<std::string> items{"Auto"};
    for (int position = 2; position <= kRotStartPositions + 1; ++position)
        items.push_back(std::to_string(position));
    return items;
}

// The highest of bits 1 to 3 decides; bit 0 and bits 4 to 7 mean nothing.
int encoderModeIndex(std::uint8_t code) {
    int index = 0;
    if (code & 0x02)
        index = 1;
    if (code & 0x04)
        index = 2;
    if (code & 0x08)
        index = 3;
    return index;
}

int pulseWidthIndex(std::uint8_t code) {
    return code >= 1 && code <= kPulseWidthItems ? code - 1 : -1;
}

int rotStartIndex(std::uint8_t code) {
    if (code == kRotStartAuto)
        return 0;
    return code <= kRotStartPositions ? code : -1;
}

ReadBackBlock decodeReadBack(std::span<const std::uint8_t> report) {
    ReadBackBlock block;
    if (report.size() < kReadBackMinLength)
        return block;
    if (report[1] == kPulseWidthAddress) {
        block.pulseWidthIndex = pulseWidthIndex(report[2]);
        block.rotStartIndex = rotStartIndex(report[kRotStartByte]);
    }
    if (report[1] == kEncoderBlock) {
        std::array<int, kEncoderChannels> modes{};
        for (int channel = 1; channel <= kEncoderChannels; ++channel)
            modes[channel - 1] = encoderModeIndex(report[2 * channel]);
        block.encoderModeIndex = modes;
    }
    return block;
}

BoardVersion BoardVersion::fromReleaseNumber(std::uint16_t versionNumber) {
    return {static_cast<std::uint8_t>(versionNumber >> 8),
            static_cast<std::uint8_t>(versionNumber & 0xFF)};
}

bool BoardVersion::offersRotStart() const {
    return major > 1 || (major == 1 && minor >= 2);
}

bool BoardVersion::offersSelfTest() const {
    return major > 1 || (major == 1 && minor >= 3);
}

std::string BoardVersion::text() const {
    char minorHex[3];
    std::snprintf(minorHex, sizeof minorHex, "%X", minor);
    std::string text = std::to_string(major);
    text += '.';
    text += minorHex;
    return text;
}

std::string selfTestResultText(std::uint8_t result) {
    return result == 0 ? "Passed" : "Failed on B" + std::to_string(result);
}

} // namespace config
