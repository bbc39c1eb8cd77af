#include "Utf8.h"

#include <cstdint>
#include <optional>

namespace hid {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t codePoint = kReplacement;
    std::size_t length = 1; // bytes consumed
};

// The sequence a lead byte starts: its length, the lead's value bits and the smallest code
// point that length may encode (anything below is an overlong form).
struct Lead {
    std::size_t length;
    char32_t value;
    char32_t smallest;
};

std::optional<Lead> leadByte(std::uint8_t byte) {
    if (byte < 0x80)
        return Lead{1, byte, 0};
    if ((byte & 0xE0) == 0xC0)
        return Lead{2, byte & 0x1Fu, 0x80};
    if ((byte & 0xF0) == 0xE0)
        return Lead{3, byte & 0x0Fu, 0x800};
    if ((byte & 0xF8) == 0xF0)
        return Lead{4, byte & 0x07u, 0x10000};
    return std::nullopt;
}

Decoded decodeOne(std::string_view text, std::size_t pos) {
    const std::optional<Lead> lead = leadByte(static_cast<std::uint8_t>(text[pos]));
    if (!lead)
        return {};
    char32_t value = lead->value;
    for (std::size_t i = 1; i < lead->length; ++i) {
        if (pos + i >= text.size())
            return {kReplacement, i};
        const auto byte = static_cast<std::uint8_t>(text[pos + i]);
        if ((byte & 0xC0) != 0x80)
            return {kReplacement, i};
        value = (value << 6) | (byte & 0x3Fu);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (value < lead->smallest || surrogate || value > 0x10FFFF)
        return {kReplacement, lead->length};
    return {value, lead->length};
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

} // namespace

std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const Decoded decoded = decodeOne(text, pos);
        appendUtf16(out, decoded.codePoint);
        pos += decoded.length;
    }
    return out;
}

} // namespace hid
