// A sysfs tree and a /dev directory built in a temporary directory, shaped like the kernel's:
// real directories, attribute files ending in a newline, and the symlinks of class/hidraw,
// hidrawN/device and dev/char. The device nodes are plain files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace test {

namespace fs = std::filesystem;

struct UsbDeviceFiles {
    std::string idVendor = "1209";
    std::string idProduct = "0001";
    std::optional<std::string> bcdDevice = "0103";
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
};

struct HidUevent {
    std::string hidId = "0003:00001209:00000001";
    std::string name;
    std::string uniq;
};

class SysfsTree {
public:
    SysfsTree();
    ~SysfsTree();
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    fs::path base() const { return base_; }
    fs::path sys() const { return base_ / "sys"; }
    fs::path dev() const { return base_ / "dev"; }

    // Writes text into path, making its directories.
    void write(const fs::path& path, const std::string& text) const;

    // A USB device on a root-hub port with one interface; returns the interface's directory.
    fs::path addUsbDevice(int port, const UsbDeviceFiles& files) const;
    // Where the kernel puts devices made from user space through /dev/uhid.
    fs::path uhidParent() const;
    // A HID device below parent with its hidraw node (character device 243:minor) and the
    // node's stand-in in dev(); returns the HID device's directory.
    fs::path addHidDevice(const fs::path& parent, const std::string& hidName,
                          const HidUevent& uevent, int minor) const;
    // The HID device's input child inputK with its id/version.
    void addInputChild(const fs::path& hidDir, int k, const std::string& version) const;
    // What an unplug leaves: the node's class and dev/char links and its device go away.
    void removeNode(int minor) const;
    // The node's sysfs entries go as real sysfs lets them go, raising no inotify event: the
    // class directory is swapped for a copy without the node, so that a watch on the one before
    // sees nothing. /dev is left as it is.
    void removeSysfsEntriesUnseen(int minor) const;

private:
    void link(const fs::path& linkPath, const fs::path& target) const;
    fs::path base_;
};

std::string nodeName(int minor);

} // namespace test
