// Text from sysfs is UTF-8; the HID string queries hand out UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace hid {

// Characters outside the Basic Multilingual Plane become surrogate pairs. Each malformed
// sequence (stray continuation byte, cut sequence, overlong form, encoded surrogate, value
// above U+10FFFF) becomes one U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);

} // namespace hid
