// Strings on their way from a board or sysfs to the screen: UTF-8 from sysfs to UTF-16, UTF-16
// into a caller's buffer of any length, and the single-byte text of a string query's buffer.
#include "FuzzCheck.h"
#include "HidStrings.h"
#include "Utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Malformed input becomes U+FFFD, so the output is always well-formed UTF-16.
void checkUtf16FromUtf8(std::string_view text) {
    const std::u16string units = hid::utf16FromUtf8(text);
    FUZZ_CHECK(units.size() <= text.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (isHighSurrogate(units[i])) {
            FUZZ_CHECK(i + 1 < units.size() && isLowSurrogate(units[i + 1]));
            ++i;
        } else {
            FUZZ_CHECK(!isLowSurrogate(units[i]));
        }
    }
}

// The first two bytes choose the buffer's length; the rest is the text. The buffer is exactly
// that long, so a write past it is an AddressSanitizer report.
void checkPutUtf16(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return;
    const std::uint32_t length = data[0] | (std::uint32_t{data[1]} << 8);
    std::u16string text;
    for (std::size_t i = 2; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const auto buffer = std::make_unique<std::uint8_t[]>(length);
    hid::putUtf16(text, buffer.get(), length);
    for (std::size_t unit = 0; unit < text.size() && unit < length / 2; ++unit)
        FUZZ_CHECK((buffer[2 * unit] | (buffer[2 * unit + 1] << 8)) == text[unit]);
}

void checkLowByteText(const std::uint8_t* data, std::size_t size) {
    const auto buffer = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, buffer.get());
    const std::string text = hid::lowByteText(buffer.get(), size);
    FUZZ_CHECK(text.size() <= (size + 1) / 2);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkUtf16FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    checkPutUtf16(data, size);
    checkLowByteText(data, size);
    return 0;
}
