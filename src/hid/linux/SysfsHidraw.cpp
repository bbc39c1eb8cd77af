#include "SysfsHidraw.h"

#include "BoardIdentity.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <span>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

namespace hid {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHidrawPrefix = "hidraw";
constexpr std::string_view kInputPrefix = "input";
constexpr std::size_t kMaxAttributeBytes = 4096; // a sysfs attribute is at most one page
constexpr int kMaxParentSteps = 16;
constexpr std::size_t kMaxDescriptorBytes = 4096; // HID_MAX_DESCRIPTOR_SIZE

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

struct OpenFile {
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

// Up to buffer.size() bytes of a regular file. A sysfs attribute comes whole in one read, so a
// read that returns less than was asked for ends it. Nothing for a missing file, a directory or
// a FIFO, which O_NONBLOCK keeps from blocking the open.
std::optional<std::size_t> readFile(const fs::path& path, std::span<char> buffer) {
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::size_t used = 0;
    while (used < buffer.size()) {
        const std::size_t wanted = buffer.size() - used;
        const ssize_t got = ::read(file.fd, buffer.data() + used, wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        used += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < wanted)
            break;
    }
    return used;
}

// The text of a sysfs attribute without its final newline, at most one page of it.
std::optional<std::string> readAttribute(const fs::path& path) {
    std::string text(kMaxAttributeBytes, '\0');
    const auto length = readFile(path, text);
    if (!length)
        return std::nullopt;
    text.resize(*length);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

template <typename Number>
std::optional<Number> parseHex(std::string_view text, std::size_t maxDigits) {
    Number value{};
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The N of a name prefixN, for sorting; nothing when the rest is not all digits.
std::optional<unsigned long> numberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size() ||
        name.size() > prefix.size() + 9)
        return std::nullopt;
    const std::string_view digits = name.substr(prefix.size());
    unsigned long number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

// The names prefixN in a directory, in the order of N.
// readdir, not std::filesystem: the search lists the nodes twice a tick, and a path object for
// each entry would cost an allocation or more.
std::vector<std::string> numberedEntries(const fs::path& directory, std::string_view prefix) {
    std::vector<std::pair<unsigned long, std::string>> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir)
        return {};
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (const auto number = numberAfter(name, prefix))
            found.emplace_back(*number, std::string(name));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& entry : found)
        names.push_back(std::move(entry.second));
    return names;
}

bool isWithin(const fs::path& path, const fs::path& root) {
    const auto [rootEnd, pathEnd] =
        std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return rootEnd == root.end();
}

// One readlink, where std::filesystem::canonical would issue one for every component.
std::optional<std::string> readLink(const fs::path& link) {
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
        return std::nullopt;
    return std::string(target.data(), static_cast<std::size_t>(length));
}

// Where a link of a sysfs directory leads. The kernel's links are relative and lead through
// real directories only, so joining and normalising the text finds the same place.
std::optional<fs::path> linkedPath(const fs::path& directory, const std::string& target,
                                   const fs::path& root) {
    fs::path resolved = (directory / target).lexically_normal();
    if (!isWithin(resolved, root))
        return std::nullopt;
    return resolved;
}

// A device number as sysfs writes it: "243:3".
std::optional<dev_t> deviceNumber(const fs::path& attribute) {
    const auto text = readAttribute(attribute);
    const std::size_t colon = text ? text->find(':') : std::string::npos;
    if (colon == std::string::npos)
        return std::nullopt;
    unsigned major = 0;
    unsigned minor = 0;
    const char* end = text->data() + text->size();
    const auto [majorEnd, majorError] = std::from_chars(text->data(), text->data() + colon, major);
    const auto [minorEnd, minorError] = std::from_chars(text->data() + colon + 1, end, minor);
    if (majorError != std::errc{} || minorError != std::errc{} ||
        majorEnd != text->data() + colon || minorEnd != end)
        return std::nullopt;
    return makedev(major, minor);
}

std::optional<HidId> ueventHidId(const std::optional<std::string>& uevent) {
    const auto id = uevent ? ueventValue(*uevent, "HID_ID") : std::nullopt;
    return id ? parseHidId(*id) : std::nullopt;
}

} // namespace

bool isFamily(const HidId& id) {
    HiddAttributes attributes;
    attributes.VendorID = id.vendorId;
    attributes.ProductID = id.productId;
    return isBoard(attributes);
}

std::optional<HidId> parseHidId(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto bus = parseHex<std::uint32_t>(text.substr(0, first), 8);
    const auto vendor = parseHex<std::uint32_t>(text.substr(first + 1, second - first - 1), 8);
    const auto product = parseHex<std::uint32_t>(text.substr(second + 1), 8);
    if (!bus || !vendor || !product || *bus > 0xFFFF || *vendor > 0xFFFF || *product > 0xFFFF)
        return std::nullopt;
    return HidId{static_cast<std::uint16_t>(*bus), static_cast<std::uint16_t>(*vendor),
                 static_cast<std::uint16_t>(*product)};
}

std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key) {
    while (!uevent.empty()) {
        const std::size_t end = std::min(uevent.find('\n'), uevent.size());
        const std::string_view line = uevent.substr(0, end);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        uevent.remove_prefix(std::min(end + 1, uevent.size()));
    }
    return std::nullopt;
}

std::optional<std::uint16_t> parseHex16(std::string_view text) {
    return parseHex<std::uint16_t>(text, 4);
}

bool isHidrawNode(std::string_view name) {
    return numberAfter(name, kHidrawPrefix).has_value();
}

SysfsHidraw::SysfsHidraw(fs::path sysfsRoot) {
    std::error_code error;
    root_ = fs::weakly_canonical(sysfsRoot, error);
    if (error)
        root_ = std::move(sysfsRoot);
}

std::vector<std::string> SysfsHidraw::nodes() const {
    return numberedEntries(root_ / "class" / "hidraw", kHidrawPrefix);
}

std::optional<std::string> SysfsHidraw::nodeOfCharDevice(unsigned major, unsigned minor) const {
    const fs::path directory = root_ / "dev" / "char";
    const std::string number = std::to_string(major) + ":" + std::to_string(minor);
    const auto target = readLink(directory / number);
    const auto device = target ? linkedPath(directory, *target, root_) : std::nullopt;
    if (!device || device->parent_path().filename() != "hidraw")
        return std::nullopt;
    std::string node = device->filename().string();
    if (!isHidrawNode(node))
        return std::nullopt;
    return node;
}

std::optional<std::string> SysfsHidraw::nodeLink(const std::string& node) const {
    if (!isHidrawNode(node))
        return std::nullopt;
    return readLink(root_ / "class" / "hidraw" / node);
}

// The link leads to …/<HID device>/hidraw/hidrawN.
std::optional<fs::path> SysfsHidraw::hidDeviceOf(const std::string& node,
                                                 const std::string& link) const {
    const auto nodeDir = linkedPath(root_ / "class" / "hidraw", link, root_);
    if (!nodeDir || nodeDir->filename() != node || nodeDir->parent_path().filename() != "hidraw")
        return std::nullopt;
    fs::path hidDir = nodeDir->parent_path().parent_path();
    if (hidDir == root_ || !isWithin(hidDir, root_))
        return std::nullopt;
    return hidDir;
}

std::optional<fs::path> SysfsHidraw::hidDevice(const std::string& node) const {
    const auto link = nodeLink(node);
    return link ? hidDeviceOf(node, *link) : std::nullopt;
}

std::optional<NodeFacts> SysfsHidraw::facts(const std::string& node,
                                            const std::string& link) const {
    auto hidDir = hidDeviceOf(node, link);
    if (!hidDir)
        return std::nullopt;
    const auto number = deviceNumber(*hidDir / "hidraw" / node / "dev");
    if (!number)
        return std::nullopt;
    const fs::path classLink = root_ / "class" / "hidraw" / node;
    NodeFacts facts;
    facts.node = node;
    facts.link = link;
    facts.classLink = classLink.string();
    facts.number = *number;
    facts.hidDir = std::move(*hidDir);
    auto uevent = readAttribute(facts.hidDir / "uevent");
    facts.id = ueventHidId(uevent);
    facts.usbDir = usbDevice(facts.hidDir, facts.id);
    facts.versionNumber = versionOf(facts.hidDir, facts.usbDir);
    if (!facts.usbDir)
        facts.uevent = std::move(uevent);
    return facts;
}

bool SysfsHidraw::stillLeadsTo(const NodeFacts& facts) {
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(facts.classLink.c_str(), target.data(), target.size());
    return length > 0 &&
           std::string_view(target.data(), static_cast<std::size_t>(length)) == facts.link;
}

std::optional<HidId> SysfsHidraw::hidId(const std::string& node) const {
    const auto hidDir = hidDevice(node);
    return hidDir ? ueventHidId(readAttribute(*hidDir / "uevent")) : std::nullopt;
}

// Only for a device on the USB bus: any other (a Bluetooth keyboard, say) may still sit below
// a USB device, its adapter, whose strings are not the keyboard's.
std::optional<fs::path> SysfsHidraw::usbDevice(const fs::path& hidDir,
                                               const std::optional<HidId>& id) const {
    if (!id || id->bus != kBusUsb || isWithin(hidDir, root_ / "devices" / "virtual"))
        return std::nullopt; // made from user space (uhid), whatever bus it claims
    fs::path dir = hidDir.parent_path();
    for (int step = 0; step < kMaxParentSteps && dir != root_ && isWithin(dir, root_); ++step) {
        if (isFile(dir / "idVendor") && isFile(dir / "idProduct"))
            return dir;
        dir = dir.parent_path();
    }
    return std::nullopt;
}

std::optional<std::uint16_t> SysfsHidraw::inputVersion(const fs::path& hidDir) const {
    for (const std::string& input : numberedEntries(hidDir / "input", kInputPrefix)) {
        const auto text = readAttribute(hidDir / "input" / input / "id" / "version");
        if (const auto version = text ? parseHex16(*text) : std::nullopt)
            return version;
    }
    return std::nullopt;
}

std::uint16_t SysfsHidraw::versionOf(const fs::path& hidDir,
                                     const std::optional<fs::path>& usbDir) const {
    if (usbDir) {
        const auto bcd = readAttribute(*usbDir / "bcdDevice");
        if (const auto version = bcd ? parseHex16(*bcd) : std::nullopt)
            return *version;
    }
    return inputVersion(hidDir).value_or(0);
}

std::uint16_t SysfsHidraw::versionNumber(const std::string& node) const {
    const auto hidDir = hidDevice(node);
    return hidDir ? versionOf(*hidDir,
                              usbDevice(*hidDir, ueventHidId(readAttribute(*hidDir / "uevent"))))
                  : 0;
}

std::optional<std::string> SysfsHidraw::usbOrUevent(const std::optional<fs::path>& usbDir,
                                                    const std::optional<std::string>& uevent,
                                                    HidText which) {
    static constexpr std::array<const char*, 3> usbAttributes{"serial", "manufacturer", "product"};
    static constexpr std::array<const char*, 3> ueventKeys{"HID_UNIQ", nullptr, "HID_NAME"};
    const auto index = static_cast<std::size_t>(which);
    if (usbDir)
        return readAttribute(*usbDir / usbAttributes[index]);
    if (ueventKeys[index] == nullptr || !uevent)
        return std::nullopt;
    auto value = ueventValue(*uevent, ueventKeys[index]);
    if (!value || value->empty())
        return std::nullopt;
    return value;
}

std::optional<std::string> SysfsHidraw::text(const std::string& node, HidText which) const {
    const auto hidDir = hidDevice(node);
    if (!hidDir)
        return std::nullopt;
    const auto uevent = readAttribute(*hidDir / "uevent");
    return usbOrUevent(usbDevice(*hidDir, ueventHidId(uevent)), uevent, which);
}

std::optional<std::string> SysfsHidraw::text(const NodeFacts& facts, HidText which) const {
    if (!stillLeadsTo(facts))
        return std::nullopt;
    return usbOrUevent(facts.usbDir, facts.uevent, which);
}

std::optional<std::string> SysfsHidraw::serialNumber(const std::string& node) const {
    return text(node, HidText::Serial);
}

std::optional<std::string> SysfsHidraw::manufacturer(const std::string& node) const {
    return text(node, HidText::Manufacturer);
}

std::optional<std::string> SysfsHidraw::product(const std::string& node) const {
    return text(node, HidText::Product);
}

std::optional<std::vector<std::uint8_t>>
SysfsHidraw::reportDescriptor(const std::string& node) const {
    const auto hidDir = hidDevice(node);
    if (!hidDir)
        return std::nullopt;
    std::array<char, kMaxDescriptorBytes> bytes{};
    const auto length = readFile(*hidDir / "report_descriptor", bytes);
    if (!length)
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes.data(), bytes.data() + *length);
}

} // namespace hid
