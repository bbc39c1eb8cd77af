#include "SysfsTree.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>

namespace test {

namespace {
constexpr int kHidrawMajor = 243;

std::string charDevice(int minor) {
    return std::to_string(kHidrawMajor) + ":" + std::to_string(minor);
}
} // namespace

std::string nodeName(int minor) {
    return "hidraw" + std::to_string(minor);
}

SysfsTree::SysfsTree() {
    std::string pattern = (fs::temp_directory_path() / "tessary-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    fs::create_directories(sys() / "class" / "hidraw");
    fs::create_directories(sys() / "dev" / "char");
    fs::create_directories(dev());
}

SysfsTree::~SysfsTree() {
    std::error_code error;
    fs::remove_all(base_, error);
}

void SysfsTree::write(const fs::path& path, const std::string& text) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void SysfsTree::link(const fs::path& linkPath, const fs::path& target) const {
    fs::create_directories(linkPath.parent_path());
    fs::create_directory_symlink(target, linkPath);
}

fs::path SysfsTree::addUsbDevice(int port, const UsbDeviceFiles& files) const {
    const std::string name = "1-" + std::to_string(port);
    const fs::path device = sys() / "devices/pci0000:00/0000:00:14.0/usb1" / name;
    write(device / "idVendor", files.idVendor + "\n");
    write(device / "idProduct", files.idProduct + "\n");
    const std::pair<const char*, const std::optional<std::string>*> optional[] = {
        {"bcdDevice", &files.bcdDevice},
        {"serial", &files.serial},
        {"manufacturer", &files.manufacturer},
        {"product", &files.product}};
    for (const auto& [file, value] : optional)
        if (*value)
            write(device / file, **value + "\n");
    const fs::path interface = device / (name + ":1.0");
    write(interface / "bInterfaceNumber", "00\n");
    return interface;
}

fs::path SysfsTree::uhidParent() const {
    return sys() / "devices/virtual/misc/uhid";
}

fs::path SysfsTree::addHidDevice(const fs::path& parent, const std::string& hidName,
                                 const HidUevent& uevent, int minor) const {
    const fs::path hidDir = parent / hidName;
    write(hidDir / "uevent", "DRIVER=hid-generic\nHID_ID=" + uevent.hidId +
                                 "\nHID_NAME=" + uevent.name +
                                 "\nHID_PHYS=usb-0000:00:14.0-1/"
                                 "input0\nHID_UNIQ=" +
                                 uevent.uniq + "\nMODALIAS=hid:b0003\n");
    const std::string node = nodeName(minor);
    const fs::path nodeDir = hidDir / "hidraw" / node;
    write(nodeDir / "dev", charDevice(minor) + "\n");
    link(nodeDir / "device", fs::path("../../..") / hidName);
    link(sys() / "class" / "hidraw" / node, fs::path("../..") / fs::relative(nodeDir, sys()));
    link(sys() / "dev" / "char" / charDevice(minor),
         fs::path("../..") / fs::relative(nodeDir, sys()));
    write(dev() / node, "");
    return hidDir;
}

void SysfsTree::addInputChild(const fs::path& hidDir, int k, const std::string& version) const {
    write(hidDir / "input" / ("input" + std::to_string(k)) / "id" / "version", version + "\n");
}

void SysfsTree::removeNode(int minor) const {
    const fs::path classLink = sys() / "class" / "hidraw" / nodeName(minor);
    fs::remove_all(fs::canonical(classLink).parent_path().parent_path());
    fs::remove(classLink);
    fs::remove(sys() / "dev" / "char" / charDevice(minor));
    fs::remove(dev() / nodeName(minor));
}

void SysfsTree::removeSysfsEntriesUnseen(int minor) const {
    const fs::path classDir = sys() / "class";
    const fs::path watched = fs::canonical(classDir);
    const fs::path fresh = sys() / ("class-without-" + nodeName(minor));
    fs::copy(watched, fresh, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove(fresh / "hidraw" / nodeName(minor));
    fs::remove_all(fs::canonical(watched / "hidraw" / nodeName(minor)).parent_path().parent_path());
    fs::remove(sys() / "dev" / "char" / charDevice(minor));
    fs::rename(classDir, sys() / ("class-before-" + nodeName(minor)));
    fs::create_directory_symlink(fresh.filename(), classDir);
}

} // namespace test
