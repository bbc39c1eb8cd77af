#include "FunctionFsGadget.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/mount.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace hil {

namespace {

constexpr const char* kConfigfs = "/sys/kernel/config";
constexpr const char* kGadgets = "/sys/kernel/config/usb_gadget";
constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kHidDescriptorType = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;
constexpr std::uint8_t kInputEndpoint = 0x81;
constexpr std::uint8_t kInterruptTransfer = 0x03;
constexpr std::uint16_t kMaxPacket = 64;
// Polling every 1 ms: bInterval counts frames at full speed, 2^(n-1) microframes at high speed.
constexpr std::uint8_t kFullSpeedInterval = 1;
constexpr std::uint8_t kHighSpeedInterval = 4;
constexpr std::string_view kInterfaceName = "Tessary-32 configuration";

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void writeText(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open " + path);
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int error = errno;
    ::close(fd);
    errno = error;
    if (written != static_cast<ssize_t>(text.size()))
        fail("write " + path);
}

void makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        fail("mkdir " + path);
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

void putLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void setLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Interface, HID descriptor, endpoint: the HID descriptor must sit between the other two, where
// usbhid looks for it.
void putInterface(std::vector<std::uint8_t>& out, std::uint16_t reportLength,
                  std::uint8_t interval) {
    const std::uint8_t interface[] = {9, 0x04, 0, 0, 1, kHidClass, 0, 0, 1};
    out.insert(out.end(), std::begin(interface), std::end(interface));
    const std::uint8_t hid[] = {9, kHidDescriptorType, 0x11, 0x01, 0, 1, kReportDescriptorType};
    out.insert(out.end(), std::begin(hid), std::end(hid));
    putLe16(out, reportLength);
    const std::uint8_t endpoint[] = {7, 0x05, kInputEndpoint, kInterruptTransfer};
    out.insert(out.end(), std::begin(endpoint), std::end(endpoint));
    putLe16(out, kMaxPacket);
    out.push_back(interval);
}

// dummy_hcd runs at high speed, so both speeds need their descriptors.
std::vector<std::uint8_t> descriptorBlock(std::uint16_t reportLength) {
    std::vector<std::uint8_t> out;
    putLe32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    putLe32(out, 0); // length, set below
    putLe32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    putLe32(out, 3); // full-speed descriptors
    putLe32(out, 3); // high-speed descriptors
    putInterface(out, reportLength, kFullSpeedInterval);
    putInterface(out, reportLength, kHighSpeedInterval);
    setLe32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> stringBlock() {
    std::vector<std::uint8_t> out;
    putLe32(out, FUNCTIONFS_STRINGS_MAGIC);
    putLe32(out, 0); // length, set below
    putLe32(out, 1); // strings per language
    putLe32(out, 1); // languages
    putLe16(out, 0x0409);
    out.insert(out.end(), kInterfaceName.begin(), kInterfaceName.end());
    out.push_back(0);
    setLe32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::string> udcNames() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir("/sys/class/udc")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

FunctionFsGadget::FunctionFsGadget(const DeviceIdentity& identity,
                                   std::span<const std::uint8_t> reportDescriptor)
    : name_("tessary" + std::to_string(::getpid())),
      gadgetDir_(std::string(kGadgets) + "/" + name_), mountDir_("/tmp/ffs-" + name_) {
    try {
        build(identity);
        writeDescriptors(reportDescriptor);
    } catch (...) {
        teardown();
        throw;
    }
}

FunctionFsGadget::~FunctionFsGadget() {
    teardown();
}

void FunctionFsGadget::build(const DeviceIdentity& identity) {
    if (::access(kGadgets, F_OK) != 0 && ::mount("none", kConfigfs, "configfs", 0, nullptr) != 0)
        fail("mount configfs");
    makeDir(gadgetDir_);
    writeText(gadgetDir_ + "/idVendor", hex4(identity.vendor));
    writeText(gadgetDir_ + "/idProduct", hex4(identity.product));
    writeText(gadgetDir_ + "/bcdDevice", hex4(identity.version));
    writeText(gadgetDir_ + "/bcdUSB", hex4(0x0200));
    const std::string strings = gadgetDir_ + "/strings/0x409";
    makeDir(strings);
    writeText(strings + "/manufacturer", identity.manufacturer);
    writeText(strings + "/product", identity.name);
    writeText(strings + "/serialnumber", identity.uniq);
    makeDir(gadgetDir_ + "/configs/c.1");
    const std::string function = gadgetDir_ + "/functions/ffs." + name_;
    makeDir(function);
    if (::symlink(function.c_str(), (gadgetDir_ + "/configs/c.1/ffs." + name_).c_str()) != 0)
        fail("link the function into the configuration");
    linked_ = true;
    makeDir(mountDir_);
    if (::mount(name_.c_str(), mountDir_.c_str(), "functionfs", 0, nullptr) != 0)
        fail("mount functionfs");
    mounted_ = true;
}

// Descriptors and strings go to ep0 before the UDC is bound; only then does ep1 exist.
void FunctionFsGadget::writeDescriptors(std::span<const std::uint8_t> reportDescriptor) {
    ep0_ = ::open((mountDir_ + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0)
        fail("open ep0");
    const auto descriptors = descriptorBlock(static_cast<std::uint16_t>(reportDescriptor.size()));
    if (::write(ep0_, descriptors.data(), descriptors.size()) !=
        static_cast<ssize_t>(descriptors.size()))
        fail("write the descriptors to ep0");
    const auto strings = stringBlock();
    if (::write(ep0_, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size()))
        fail("write the strings to ep0");
    ep1_ = ::open((mountDir_ + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    if (ep1_ < 0)
        fail("open ep1");
    const int flags = ::fcntl(ep0_, F_GETFL);
    ::fcntl(ep0_, F_SETFL, flags | O_NONBLOCK);
}

void FunctionFsGadget::plug() {
    for (const std::string& udc : udcNames()) {
        try {
            writeText(gadgetDir_ + "/UDC", udc);
            udc_ = udc;
            return;
        } catch (const std::system_error& error) {
            if (error.code().value() != EBUSY)
                throw;
        }
    }
    errno = EBUSY;
    fail("no free UDC (load dummy_hcd with num=N for N boards)");
}

void FunctionFsGadget::unplug() {
    if (udc_.empty())
        return;
    writeText(gadgetDir_ + "/UDC", "\n");
    udc_.clear();
}

std::optional<usb_functionfs_event> FunctionFsGadget::readEvent() {
    usb_functionfs_event event{};
    const ssize_t got = ::read(ep0_, &event, sizeof event);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return std::nullopt;
    if (got != static_cast<ssize_t>(sizeof event))
        fail("read an event from ep0");
    return event;
}

bool FunctionFsGadget::answer(const usb_ctrlrequest& setup, std::span<const std::uint8_t> data) {
    const std::size_t length = std::min<std::size_t>(data.size(), setup.wLength);
    return ::write(ep0_, data.data(), length) == static_cast<ssize_t>(length);
}

std::optional<std::vector<std::uint8_t>> FunctionFsGadget::receive(const usb_ctrlrequest& setup) {
    std::vector<std::uint8_t> data(setup.wLength);
    const ssize_t got = ::read(ep0_, data.data(), data.size());
    if (got < 0)
        return std::nullopt;
    data.resize(static_cast<std::size_t>(got));
    return data;
}

// The kernel stalls and fails the call with EL2HLT, which is the outcome wanted.
void FunctionFsGadget::stall(const usb_ctrlrequest& setup) {
    [[maybe_unused]] const ssize_t failed =
        (setup.bRequestType & USB_DIR_IN) ? ::read(ep0_, nullptr, 0) : ::write(ep0_, nullptr, 0);
}

bool FunctionFsGadget::sendInput(std::span<const std::uint8_t> report) {
    return ::write(ep1_, report.data(), report.size()) == static_cast<ssize_t>(report.size());
}

// Best effort in the order the kernel wants: unbind, close the endpoints, unmount, then remove
// the configfs entries innermost first.
void FunctionFsGadget::teardown() {
    try {
        unplug();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "tessary-hil-usb-board: %s\n", error.what());
    }
    for (int* fd : {&ep1_, &ep0_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (mounted_ && ::umount(mountDir_.c_str()) == 0)
        mounted_ = false;
    ::rmdir(mountDir_.c_str());
    if (linked_)
        ::unlink((gadgetDir_ + "/configs/c.1/ffs." + name_).c_str());
    linked_ = false;
    const std::string inner[] = {"/configs/c.1", "/functions/ffs." + name_, "/strings/0x409", ""};
    for (const std::string& dir : inner)
        ::rmdir((gadgetDir_ + dir).c_str());
}

} // namespace hil
