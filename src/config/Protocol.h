// The board's configuration protocol over HID feature reports: the reports sent, the
// configuration addresses, the value codes of every selector, the decoding of the read-back
// blocks, and the board version.
//
// Every report starts with the report ID 0; byte 1 is the command in a report sent and the
// base address in a report read back. Bytes that carry nothing are 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace config {

using Report = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kReportId = 0x00;
inline constexpr std::uint8_t kWriteSetting = 0xEE;
inline constexpr std::uint8_t kReadBackRequest = 0xE0;
inline constexpr std::uint8_t kSelfTest = 0xE1;

// The 32 inputs are 16 pairs, each of which can be one encoder: the encoder channels.
inline constexpr int kEncoderChannels = 16;
inline constexpr int kReadBackReads = 8;
inline constexpr std::uint8_t kEncoderBlock = 0x20;
inline constexpr std::uint8_t kPulseWidthAddress = 0x40;
inline constexpr std::uint8_t kRotStartAddress = 0x4E;
inline constexpr std::uint8_t kRotStartAuto = 0xFF;

// The encoder mode of channel 1 to 16 lives at an even address from 0x20 to 0x3E.
constexpr std::uint8_t encoderAddress(int channel) {
    return static_cast<std::uint8_t>(30 + 2 * channel);
}

// Shortest reports each exchange can be carried in: the write-setting report uses bytes 0 to
// 3, a read-back block ends at byte 32, a self-test answer carries its result in byte 1.
inline constexpr std::size_t kWriteSettingMinLength = 4;
inline constexpr std::size_t kReadBackMinLength = 33;
inline constexpr std::size_t kSelfTestMinLength = 2;
// The self test's buffers hold one report-ID byte and 64 data bytes, or more for a board
// whose feature reports are longer.
inline constexpr std::size_t kSelfTestBufferLength = 65;

// A report of reportLength zero bytes with the given head; empty when the head does not fit.
Report writeSettingReport(std::size_t reportLength, std::uint8_t address, std::uint8_t value);
Report readBackRequest(std::size_t reportLength);
// The self-test request is made in a buffer of at least kSelfTestBufferLength bytes, of which
// the board is sent its own report length.
Report selfTestRequest(std::size_t reportLength);

// Values written for a selector's index, and the items the selectors show.
std::uint8_t encoderModeValue(int index);
std::uint8_t pulseWidthValue(int index);
std::uint8_t rotStartValue(int index);
std::vector<std::string> encoderModeItems();
std::vector<std::string> pulseWidthItems();
std::vector<std::string> rotStartItems();
inline constexpr int kDefaultPulseWidthIndex = 5; // "48 ms"
// The pulse widths are the multiples of this from "8 ms" to "200 ms".
inline constexpr int kPulseWidthStepMs = 8;

// What one read-back report sets; a report of another block sets nothing. Indices that match
// no item (a pulse-width code of 0 or above 25, a starting position from 33 to 254) are -1.
struct ReadBackBlock {
    std::optional<int> pulseWidthIndex;
    std::optional<int> rotStartIndex;
    std::optional<std::array<int, kEncoderChannels>> encoderModeIndex;
};
ReadBackBlock decodeReadBack(std::span<const std::uint8_t> report);
int encoderModeIndex(std::uint8_t code);
int pulseWidthIndex(std::uint8_t code);
// The pulse width that item index of the list stands for, in ms: "8 ms" is index 0.
int pulseWidthMs(int index);
int rotStartIndex(std::uint8_t code);

// The board version is its release number: high byte major, low byte minor.
struct BoardVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    static BoardVersion fromReleaseNumber(std::uint16_t versionNumber);
    bool offersRotStart() const; // 1.2 or later
    bool offersSelfTest() const; // 1.3 or later
    std::string text() const;    // "1.3", minor in hexadecimal: "1.A", "1.10"
};

// "Passed", or "Failed on B" and the input number.
std::string selfTestResultText(std::uint8_t result);

} // namespace config
