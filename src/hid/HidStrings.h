// Strings as the HID string queries hand them over: UTF-16LE code units in a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hid {

// Writes text as UTF-16LE into buffer, never past bufferLength bytes, ending it with a zero
// unit when there is room. A text longer than the buffer is cut at a whole code unit.
void putUtf16(const std::u16string& text, std::uint8_t* buffer, std::uint32_t bufferLength);

// The single-byte text of a string query's buffer: the low byte of each code unit, up to the
// first unit whose low byte is 0 or the end of the buffer. High bytes are dropped.
std::string lowByteText(const std::uint8_t* buffer, std::size_t bufferLength);

// A vendor or product ID as the messages and listings show it: four lowercase hexadecimal
// digits.
std::string hex4(std::uint16_t value);

} // namespace hid
