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
#include <sys/types.h>
#include <vector>

namespace hid {

inline constexpr std::uint16_t kBusUsb = 0x0003;

struct HidId {
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    friend bool operator==(const HidId&, const HidId&) = default;
};

// True for the vendor and product of the board family.
bool isFamily(const HidId& id);
// "0003:00001209:00000001", the form of HID_ID; nothing when malformed or out of range.
std::optional<HidId> parseHidId(std::string_view text);
// The value of KEY=value in a uevent file's text.
std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key);
// A hexadecimal sysfs number such as bcdDevice ("0103") or id/version.
std::optional<std::uint16_t> parseHex16(std::string_view text);
// True for a name of the form hidrawN.
bool isHidrawNode(std::string_view name);

// What sysfs says about one appearance of a node, read in one go.
struct NodeFacts {
    std::string node;
    // Where /sys/class/hidraw/hidrawN leads. It names the HID device, whose name ends in a
    // number the kernel never hands out twice, so it changes whenever the node is another
    // device's, even under the same name and device number.
    std::string link;
    std::string classLink; // the path of that link
    dev_t number = 0;      // the node's device number
    std::filesystem::path hidDir;
    std::optional<HidId> id;
    std::uint16_t versionNumber = 0;
    std::optional<std::filesystem::path> usbDir; // the USB device, for a device on the USB bus
    // Without a USB parent the strings are in the uevent, fixed for the device's life.
    std::optional<std::string> uevent;
};

enum class HidText { Serial, Manufacturer, Product };

class SysfsHidraw {
public:
    explicit SysfsHidraw(std::filesystem::path sysfsRoot);

    // The hidrawN names present, in the order of N (hidraw10 after hidraw2).
    std::vector<std::string> nodes() const;
    // The hidraw node behind a character device number, via /sys/dev/char/MAJOR:MINOR.
    std::optional<std::string> nodeOfCharDevice(unsigned major, unsigned minor) const;

    // Where the node's class link leads, read with one readlink; nothing when it is no link.
    std::optional<std::string> nodeLink(const std::string& node) const;
    // Everything the search needs to know of a node, for the appearance its link names.
    std::optional<NodeFacts> facts(const std::string& node, const std::string& link) const;
    // True while the node is still the device the facts were read from: one readlink, nothing
    // allocated.
    static bool stillLeadsTo(const NodeFacts& facts);

    // The HID device directory of a node, resolved from its class link within the tree.
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
    std::optional<std::string> text(const std::string& node, HidText which) const;
    // The same from a node's facts while the node is still theirs: one readlink instead of
    // resolving the class link and finding the USB parent again, and for a device without a
    // USB parent nothing more.
    std::optional<std::string> text(const NodeFacts& facts, HidText which) const;
    // The report descriptor as the kernel keeps it, whole (up to 4096 bytes).
    std::optional<std::vector<std::uint8_t>> reportDescriptor(const std::string& node) const;

private:
    std::optional<std::filesystem::path> hidDeviceOf(const std::string& node,
                                                     const std::string& link) const;
    std::optional<std::filesystem::path> usbDevice(const std::filesystem::path& hidDir,
                                                   const std::optional<HidId>& id) const;
    std::uint16_t versionOf(const std::filesystem::path& hidDir,
                            const std::optional<std::filesystem::path>& usbDir) const;
    std::optional<std::uint16_t> inputVersion(const std::filesystem::path& hidDir) const;
    static std::optional<std::string>
    usbOrUevent(const std::optional<std::filesystem::path>& usbDir,
                const std::optional<std::string>& uevent, HidText which);

    std::filesystem::path root_;
};

} // namespace hid
