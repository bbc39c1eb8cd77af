#include "HidStrings.h"

#include <cstdio>

namespace hid {

void putUtf16(const std::u16string& text, std::uint8_t* buffer, std::uint32_t bufferLength) {
    const std::size_t units = bufferLength / 2;
    std::size_t i = 0;
    for (; i < text.size() && i < units; ++i) {
        buffer[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    if (i < units) {
        buffer[2 * i] = 0;
        buffer[2 * i + 1] = 0;
    }
}

std::string lowByteText(const std::uint8_t* buffer, std::size_t bufferLength) {
    std::string text;
    for (std::size_t i = 0; i < bufferLength && buffer[i] != 0; i += 2)
        text.push_back(static_cast<char>(buffer[i]));
    return text;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

} // namespace hid
