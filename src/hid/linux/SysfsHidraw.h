// What sysfs tells about the hidraw devices present, read from a sysfs tree given by its root
// (/sys on a running system). Every file read here is treated as untrusted text.
//
// /sys/class/hidraw/hidrawN/device leads to the HID device directory (…/0003:1209:0001.0004),
// whose uevent names the device (HID_ID, HID_NAME, HID_UNIQ) and which may have an
// input/inputK/id/version child. On USB its parents are the USB interface and then the USB
// device, which has idVendor, idProduct, bcdDevice and the serial, manufacturer and product
// strings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hid {

inline constexpr std::uint16_t kBusUsb = 0x0003;

struct HidId {
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    friend bool operator==(const HidId&, const HidId&) = default;
};

// "0003:00001209:00000001", the form of HID_ID; nothing when malformed or out of range.
std::optional<HidId> parseHidId(std::string_view text);
// The value of KEY=value in a uevent file's text.
std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key);
// A hexadecimal sysfs number such as bcdDevice ("0103") or id/version.
std::optional<std::uint16_t> parseHex16(std::string_view text);
// True for a name of the form hidrawN.
bool isHidrawNode(std::string_view name);

class SysfsHidraw {
public:
    explicit SysfsHidraw(std::filesystem::path sysfsRoot);

    // The hidrawN names present, in the order of N (hidraw10 after hidraw2).
    std::vector<std::string> nodes() const;
    // The hidraw node behind a character device number, via /sys/dev/char/MAJOR:MINOR.
    std::optional<std::string> nodeOfCharDevice(unsigned major, unsigned minor) const;

    // The canonical HID device directory of a node.
    std::optional<std::filesystem::path> hidDevice(const std::string& node) const;
    std::optional<HidId> hidId(const std::string& node) const;
    // bcdDevice of the USB parent, else the input child's id/version, else 0.
    std::uint16_t versionNumber(const std::string& node) const;

    // UTF-8 strings. From the USB parent when there is one; otherwise the serial is HID_UNIQ,
    // the product HID_NAME and there is no manufacturer. Missing or empty (outside a USB
    // parent's files) means the device has none.
    std::optional<std::string> serialNumber(const std::string& node) const;
    std::optional<std::string> manufacturer(const std::string& node) const;
    std::optional<std::string> product(const std::string& node) const;

private:
    std::optional<std::string> uevent(const std::filesystem::path& hidDir,
                                      std::string_view key) const;
    std::optional<std::filesystem::path> usbDevice(const std::filesystem::path& hidDir) const;
    std::optional<std::uint16_t> inputVersion(const std::filesystem::path& hidDir) const;
    std::optional<std::string> usbOrUevent(const std::string& node, const char* usbAttribute,
                                           const char* ueventKey) const;

    std::filesystem::path root_;
};

} // namespace hid
