// The text of sysfs files (uevent, HID_ID, hexadecimal attributes) and the names in
// /sys/class/hidraw. Whatever the text, a value found is one the text really holds.
#include "FuzzCheck.h"
#include "SysfsHidraw.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool allHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}
bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Each key line of a uevent file is KEY=value; a value found follows the key at a line start.
void checkUevent(std::string_view text, std::string_view key) {
    const std::optional<std::string> value = hid::ueventValue(text, key);
    if (!value)
        return;
    const std::string line = std::string(key) + "=" + *value;
    FUZZ_CHECK(text.starts_with(line) || text.find("\n" + line) != std::string_view::npos);
    FUZZ_CHECK(value->find('\n') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string copy(reinterpret_cast<const char*>(data), size);
    const std::string_view text = copy;

    checkUevent(text, "HID_ID");
    checkUevent(text, "HID_UNIQ");
    checkUevent(text, "HID_NAME");

    if (hid::parseHidId(text))
        FUZZ_CHECK(text.find(':') != std::string_view::npos);

    if (hid::parseHex16(text))
        FUZZ_CHECK(!text.empty() && text.size() <= 4 && allHex(text));

    if (hid::isHidrawNode(text))
        FUZZ_CHECK(text.starts_with("hidraw") && text.size() > 6 && allDigits(text.substr(6)));
    return 0;
}
