#include "HidrawPlatform.h"

#include "HidStrings.h"
#include "UsageQueries.h"
#include "Utf8.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <memory>
#include <poll.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace hid {

namespace {

constexpr Guid kHidGuid{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr auto kInvalidPreparsedData = static_cast<Bool32>(0xC0110001u);
// The feature ioctls carry the length in the request number's 14-bit size field.
constexpr std::uint32_t kMaxIoctlLength = (1u << 14) - 1;
// More than the kernel ever queues for one reader, so a read always reaches the queue's end.
constexpr int kMaxReportsPerRead = 256;

std::string_view fileName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A test tree's stand-in node is a plain file named hidrawN.
std::string_view standInNode(std::string_view path) {
    const std::string_view name = fileName(path);
    return isHidrawNode(name) ? name : std::string_view();
}

} // namespace

PlatformError::Kind errorKind(int errorNumber) {
    using Kind = PlatformError::Kind;
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return Kind::PermissionDenied;
    case ENOENT:
    case ENXIO:
        return Kind::NotFound;
    case ENODEV:
    case EIO:
    case ESHUTDOWN:
        return Kind::Gone;
    case EBADF:
        return Kind::Other; // not one of our handles: no device to blame
    default:
        return Kind::Refused;
    }
}

HidrawPlatform::HidrawPlatform(std::string sysfsRoot, std::string devRoot)
    : devRoot_(std::move(devRoot)), sysfs_(sysfsRoot), notice_(sysfs_),
      watch_(devRoot_, sysfsRoot + "/class/hidraw") {}

HidrawPlatform::~HidrawPlatform() {
    for (const auto& [handle, device] : devices_)
        ::close(device.fd);
}

// ---- enumeration ----

void HidrawPlatform::HidD_GetHidGuid(Guid& hidGuid) {
    hidGuid = kHidGuid;
}

Handle HidrawPlatform::SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) {
    if (classGuid != kHidGuid || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
        return kInvalidHandle;
    if (const std::uint64_t generation = watch_.look(); generation != listedAt_) {
        listNodes();
        listedAt_ = generation;
    }
    return infoSets_.create(nodePaths_);
}

// A node sysfs lists before its device node is there (it is being plugged in or out) leaves
// the listing for the next look to make afresh.
void HidrawPlatform::listNodes() {
    nodePaths_.clear();
    for (const std::string& node : sysfs_.nodes()) {
        nodePaths_.push_back(devRoot_ + "/" + node);
        if (::access(nodePaths_.back().c_str(), F_OK) != 0)
            watch_.distrust();
    }
}

Bool32 HidrawPlatform::SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                                   std::uint32_t memberIndex,
                                                   DeviceInterfaceData& interfaceData) {
    return infoSets_.enumerate(deviceInfoSet, memberIndex, interfaceData, classGuid);
}

Bool32 HidrawPlatform::SetupDiGetDeviceInterfaceDetailA(
    Handle deviceInfoSet, const DeviceInterfaceData& interfaceData, std::uint8_t* detail,
    std::uint32_t detailSize, std::uint32_t* requiredSize, DeviceInfoData* deviceInfoData) {
    return infoSets_.detail(deviceInfoSet, interfaceData, detail, detailSize, requiredSize,
                            deviceInfoData);
}

Bool32 HidrawPlatform::SetupDiGetDeviceRegistryPropertyA(
    Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
    std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
    std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) {
    const std::string* path = infoSets_.pathOf(deviceInfoSet, deviceInfoData);
    const std::string_view node = path == nullptr ? std::string_view() : nodeNamed(*path);
    if (node.empty() || property != SPDRP_HARDWAREID)
        return 0;
    const std::shared_ptr<const NodeFacts> facts = factsOf(std::string(node));
    if (facts == nullptr || !facts->id)
        return 0;
    return putRegistryProperty(
        hidHardwareIds(facts->id->vendorId, facts->id->productId, facts->versionNumber),
        propertyRegDataType, propertyBuffer, propertyBufferSize, requiredSize);
}

Bool32 HidrawPlatform::SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) {
    return infoSets_.destroy(deviceInfoSet);
}

// ---- handles ----

// Only a board's node counts as permission denied: other devices' nodes are root's by design,
// and a user who may not open a mouse has no udev rule to install.
void HidrawPlatform::fail(int errorNumber, const std::string& path) {
    PlatformError::Kind kind = errorKind(errorNumber);
    if (kind == PlatformError::Kind::PermissionDenied &&
        !notice_.isBoard(std::string(fileName(path))))
        kind = PlatformError::Kind::Other;
    setLastError({kind, errorNumber, path});
}

int HidrawPlatform::control(int fd, unsigned long request, void* argument) {
    const int result = ::ioctl(fd, request, argument);
    return result < 0 ? -errno : result;
}

// The facts of a node at its present appearance: kept by device number, and read afresh when
// the node's class link names another HID device than before. The link is looked at again
// only after the watch saw a node come or go.
std::shared_ptr<const NodeFacts> HidrawPlatform::factsOf(const std::string& node) {
    if (const auto number = numberOf_.find(node); number != numberOf_.end()) {
        const auto found = known_.find(number->second.number);
        if (found != known_.end() && found->second->node == node &&
            (number->second.checkedAt == watch_.generation() ||
             SysfsHidraw::stillLeadsTo(*found->second))) {
            number->second.checkedAt = watch_.generation();
            return found->second;
        }
        if (found != known_.end() && found->second->node == node)
            known_.erase(found);
        numberOf_.erase(number);
    }
    const auto link = sysfs_.nodeLink(node);
    auto facts = link ? sysfs_.facts(node, *link) : std::nullopt;
    if (!facts)
        return nullptr;
    auto shared = std::make_shared<const NodeFacts>(std::move(*facts));
    if (const auto earlier = known_.find(shared->number); earlier != known_.end())
        numberOf_.erase(earlier->second->node);
    known_.insert_or_assign(shared->number, shared);
    numberOf_[node] = NodeNumber{shared->number, watch_.generation()};
    return shared;
}

// /dev/hidrawN is the node sysfs calls hidrawN: udev and devtmpfs name them so. Whether it
// really is that device is checked by its device number when it is opened.
std::string_view HidrawPlatform::nodeNamed(std::string_view path) const {
    if (!path.starts_with(devRoot_) || path.size() <= devRoot_.size() ||
        path[devRoot_.size()] != '/')
        return {};
    const std::string_view name = path.substr(devRoot_.size() + 1);
    return isHidrawNode(name) ? name : std::string_view();
}

void HidrawPlatform::openFailed(const OpenDevice& device, int error) {
    notice_.openFailed(
        device.path, device.node.empty() ? std::string(fileName(device.path)) : device.node, error);
    fail(error, device.path);
}

bool HidrawPlatform::openNode(OpenDevice& device) {
    const int fd = ::open(device.path.c_str(), device.openFlags);
    if (fd < 0) {
        openFailed(device, errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        fail(errno, device.path);
        ::close(fd);
        return false;
    }
    // A real node is named by its device number; a file that is no device node (a test tree's
    // stand-in) goes by its file name.
    device.charDevice = S_ISCHR(status.st_mode);
    // A handle made before its node was opened belongs to the device sysfs named then: once
    // that one is gone, the node may already be the next device's.
    if (device.deferred && ((device.charDevice && device.facts->number != status.st_rdev) ||
                            !SysfsHidraw::stillLeadsTo(*device.facts))) {
        fail(ENODEV, device.path);
        ::close(fd);
        return false;
    }
    if (device.charDevice && (!device.facts || device.facts->number != status.st_rdev)) {
        const auto node = sysfs_.nodeOfCharDevice(major(status.st_rdev), minor(status.st_rdev));
        device.facts = node ? factsOf(*node) : nullptr;
        device.node = node.value_or("");
    }
    device.fd = fd;
    return true;
}

// Opening wakes the device, and usbhid waits 50 ms in a USB device's first open, so a node whose
// identity sysfs knows is opened only when a call needs the device itself. A board's handle for
// reading is opened at once: the kernel gives it the input reports that come after its open.
bool HidrawPlatform::opensLater(const OpenDevice& device, std::uint32_t flags) {
    if (!device.facts || !device.facts->id)
        return false;
    return !isFamily(*device.facts->id) || (flags & FILE_FLAG_OVERLAPPED) == 0;
}

// A board's node is checked here for the permission its later open needs, so that the caller
// learns of it from CreateFile as it would from an open.
bool HidrawPlatform::mayOpen(const OpenDevice& device) {
    if (!isFamily(*device.facts->id) || ::access(device.path.c_str(), R_OK | W_OK) == 0)
        return true;
    openFailed(device, errno);
    return false;
}

Handle HidrawPlatform::CreateFileA(const std::string& path, std::uint32_t, std::uint32_t,
                                   SecurityAttributes*, std::uint32_t creationDisposition,
                                   std::uint32_t flags) {
    if (creationDisposition != OPEN_EXISTING) {
        fail(EINVAL, path);
        return kInvalidHandle;
    }
    OpenDevice device;
    device.path = path;
    device.openFlags =
        O_RDWR | O_CLOEXEC | O_NOCTTY | ((flags & FILE_FLAG_OVERLAPPED) != 0 ? O_NONBLOCK : 0);
    const std::string_view node = nodeNamed(path);
    if (infoSets_.openSets() == 0)
        watch_.look(); // not within a search, which looked when it began
    device.facts = node.empty() ? nullptr : factsOf(std::string(node));
    device.node = device.facts ? device.facts->node : std::string(standInNode(path));
    device.deferred = opensLater(device, flags);
    if (device.deferred ? !mayOpen(device) : !openNode(device))
        return kInvalidHandle;
    const Handle handle = nextHandle_++;
    devices_.emplace(handle, std::move(device));
    return handle;
}

Bool32 HidrawPlatform::CloseHandle(Handle handle) {
    if (events_.erase(handle) == 1)
        return 1;
    const auto found = devices_.find(handle);
    if (found == devices_.end())
        return 0;
    const int result = found->second.fd < 0 ? 0 : ::close(found->second.fd);
    devices_.erase(found);
    return result == 0 ? 1 : 0;
}

// Nothing waits on the event: a presence read completes at once or not at all.
Handle HidrawPlatform::CreateEventA(SecurityAttributes*, Bool32, Bool32, const char*) {
    const Handle event = nextHandle_++;
    events_.insert(event);
    return event;
}

HidrawPlatform::OpenDevice* HidrawPlatform::find(Handle handle) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        fail(EBADF, std::string());
        return nullptr;
    }
    return &found->second;
}

HidrawPlatform::OpenDevice* HidrawPlatform::opened(Handle handle) {
    OpenDevice* device = find(handle);
    if (device == nullptr || device->fd >= 0)
        return device;
    return openNode(*device) ? device : nullptr;
}

// After an unplug every ioctl on the descriptor fails with ENODEV.
bool HidrawPlatform::stillThere(const OpenDevice& device) {
    if (!device.charDevice)
        return true;
    hidraw_devinfo info{};
    const int result = control(device.fd, HIDIOCGRAWINFO, &info);
    if (result < 0)
        fail(-result, device.path);
    return result >= 0;
}

HidrawPlatform::OpenDevice* HidrawPlatform::live(Handle handle) {
    OpenDevice* device = opened(handle);
    return device != nullptr && stillThere(*device) ? device : nullptr;
}

// A node not opened yet is answered by sysfs while its class link still names the device.
const HidrawPlatform::OpenDevice* HidrawPlatform::described(Handle handle) {
    const OpenDevice* device = find(handle);
    if (device == nullptr)
        return nullptr;
    if (device->fd >= 0 || !device->facts)
        return live(handle);
    if (SysfsHidraw::stillLeadsTo(*device->facts))
        return device;
    fail(ENODEV, device->path);
    return nullptr;
}

// ---- reports ----

// HIDIOCGRDESC refuses a request for all of value[], so a descriptor of the kernel's maximum
// size comes whole only from sysfs.
std::optional<std::vector<std::uint8_t>>
HidrawPlatform::reportDescriptor(const OpenDevice& device) {
    int size = 0;
    if (const int result = control(device.fd, HIDIOCGRDESCSIZE, &size); result < 0) {
        fail(-result, device.path);
        return std::nullopt;
    }
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        fail(EINVAL, device.path);
        return std::nullopt;
    }
    if (size == HID_MAX_DESCRIPTOR_SIZE) {
        auto whole = sysfs_.reportDescriptor(device.node);
        if (whole && whole->size() == static_cast<std::size_t>(size))
            return whole;
        fail(ENOENT, device.path);
        return std::nullopt;
    }
    auto descriptor = std::make_unique<hidraw_report_descriptor>();
    descriptor->size = static_cast<std::uint32_t>(size);
    if (const int result = control(device.fd, HIDIOCGRDESC, descriptor.get()); result < 0) {
        fail(-result, device.path);
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(descriptor->value, descriptor->value + descriptor->size);
}

std::optional<std::vector<std::uint8_t>> HidrawPlatform::GetReportDescriptor(Handle handle) {
    const OpenDevice* device = opened(handle);
    return device == nullptr ? std::nullopt : reportDescriptor(*device);
}

std::optional<ReportLengths> HidrawPlatform::reportLengths(const OpenDevice& device) {
    const auto descriptor = reportDescriptor(device);
    if (!descriptor)
        return std::nullopt;
    auto lengths = parseReportDescriptor(*descriptor).lengths;
    if (!lengths)
        fail(EINVAL, device.path);
    return lengths;
}

// Unknown (no descriptor to be had) counts as numbered: the bytes then pass unchanged.
bool HidrawPlatform::numberedReports(OpenDevice& device) {
    if (!device.numberedReports) {
        if (const auto lengths = reportLengths(device))
            device.numberedReports = lengths->numberedReports;
    }
    return device.numberedReports.value_or(true);
}

// hidraw hands over a report of a device without report IDs as its bare data; the buffer gets
// the 0 in front, so that byte 0 is the report ID as everywhere else.
//
// The kernel queues up to 64 reports for each open node and still hands them out after the
// board is gone; only then does read() fail. So the read takes everything queued and keeps the
// newest report: a board that was unplugged is seen lost at the next tick, not half a minute
// later.
//
// A board may send input reports only on change (the kernel asks every device for that with
// SET_IDLE(0)), so an empty queue on a device that is still there counts as present: the read
// completes with nothing read. The kernel answers EIO before EAGAIN once the device is gone.
Bool32 HidrawPlatform::ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                                std::uint32_t* bytesRead, Overlapped*) {
    if (bytesRead != nullptr)
        *bytesRead = 0;
    OpenDevice* device = opened(handle);
    if (device == nullptr || buffer == nullptr || bytesToRead == 0)
        return 0;
    const std::uint32_t idByte = numberedReports(*device) ? 0 : 1;
    if (bytesToRead <= idByte)
        return 0;
    ssize_t newest = 0;
    bool queueEmpty = false;
    for (int report = 0; report < kMaxReportsPerRead; ++report) {
        const ssize_t received = ::read(device->fd, buffer + idByte, bytesToRead - idByte);
        if (received > 0) {
            newest = received;
            continue;
        }
        if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(errno, device->path);
            return 0; // gone: whatever was queued before does not count
        }
        queueEmpty = received < 0;
        break;
    }
    if (newest == 0)
        return queueEmpty && stillThere(*device) ? 1 : 0;
    if (idByte == 1)
        buffer[0] = 0;
    if (bytesRead != nullptr)
        *bytesRead = static_cast<std::uint32_t>(newest) + idByte;
    return 1;
}

// A feature report the kernel takes only in part was not sent.
Bool32 HidrawPlatform::featureRequest(Handle handle, bool set, std::uint8_t* report,
                                      std::uint32_t reportLength) {
    const OpenDevice* device = opened(handle);
    if (device == nullptr)
        return 0;
    if (report == nullptr || reportLength == 0 || reportLength > kMaxIoctlLength) {
        fail(EINVAL, device->path);
        return 0;
    }
    const int result = control(
        device->fd, set ? HIDIOCSFEATURE(reportLength) : HIDIOCGFEATURE(reportLength), report);
    if (result < 0) {
        fail(-result, device->path);
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(result);
    if (set && length < reportLength) {
        setLastError({PlatformError::Kind::Refused, 0, device->path});
        return 0;
    }
    // A shorter answer leaves no stale bytes of an earlier report behind.
    if (!set && length < reportLength)
        std::fill(report + length, report + reportLength, std::uint8_t{0});
    return 1;
}

Bool32 HidrawPlatform::HidD_SetFeature(Handle device, std::uint8_t* report,
                                       std::uint32_t reportLength) {
    return featureRequest(device, true, report, reportLength);
}

Bool32 HidrawPlatform::HidD_GetFeature(Handle device, std::uint8_t* report,
                                       std::uint32_t reportLength) {
    return featureRequest(device, false, report, reportLength);
}

Bool32 HidrawPlatform::GetOverlappedResult(Handle, Overlapped*, std::uint32_t* bytesTransferred,
                                           Bool32) {
    if (bytesTransferred != nullptr)
        *bytesTransferred = 0;
    return 1;
}

Bool32 HidrawPlatform::CancelIoEx(Handle, Overlapped*) {
    return 0;
}

// ---- identity and capabilities ----

// A device that is not the family's is told from its sysfs identity, without waking it.
Bool32 HidrawPlatform::HidD_GetAttributes(Handle handle, HiddAttributes& attributes) {
    const OpenDevice* device = find(handle);
    if (device == nullptr)
        return 0;
    if (device->fd < 0 && device->facts && device->facts->id) {
        attributes.VendorID = device->facts->id->vendorId;
        attributes.ProductID = device->facts->id->productId;
        attributes.VersionNumber = device->facts->versionNumber;
        return 1;
    }
    hidraw_devinfo info{};
    if (const int result = control(device->fd, HIDIOCGRAWINFO, &info); result < 0) {
        fail(-result, device->path);
        return 0;
    }
    attributes.VendorID = static_cast<std::uint16_t>(info.vendor);
    attributes.ProductID = static_cast<std::uint16_t>(info.product);
    attributes.VersionNumber =
        device->facts ? device->facts->versionNumber : sysfs_.versionNumber(device->node);
    return 1;
}

Bool32 HidrawPlatform::stringQuery(Handle handle, HidText which, std::uint8_t* buffer,
                                   std::uint32_t bufferLength) {
    const OpenDevice* device = described(handle);
    if (device == nullptr)
        return 0;
    std::optional<std::string> utf8;
    if (buffer != nullptr && device->facts)
        utf8 = sysfs_.text(*device->facts, which);
    else if (buffer != nullptr && !device->node.empty())
        utf8 = sysfs_.text(device->node, which);
    if (!utf8) {
        setLastError({PlatformError::Kind::Refused, 0, device->path}); // the device has none
        return 0;
    }
    putUtf16(utf16FromUtf8(*utf8), buffer, bufferLength);
    return 1;
}

Bool32 HidrawPlatform::HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                                  std::uint32_t bufferLength) {
    return stringQuery(device, HidText::Serial, buffer, bufferLength);
}

Bool32 HidrawPlatform::HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                                  std::uint32_t bufferLength) {
    return stringQuery(device, HidText::Manufacturer, buffer, bufferLength);
}

Bool32 HidrawPlatform::HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                             std::uint32_t bufferLength) {
    return stringQuery(device, HidText::Product, buffer, bufferLength);
}

// The preparsed data is a number standing for the lengths and the layout parsed from the
// report descriptor.
Bool32 HidrawPlatform::HidD_GetPreparsedData(Handle handle, PreparsedData& preparsedData) {
    OpenDevice* device = opened(handle);
    const auto descriptor = device == nullptr ? std::nullopt : reportDescriptor(*device);
    DescriptorParse parse = descriptor ? parseReportDescriptor(*descriptor) : DescriptorParse{};
    if (!parse.lengths)
        return 0;
    device->numberedReports = parse.lengths->numberedReports;
    preparsedData = nextHandle_++;
    preparsed_.emplace(preparsedData, *parse.lengths);
    preparsedLayouts_.emplace(preparsedData, std::move(*parse.layout));
    return 1;
}

Bool32 HidrawPlatform::HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) {
    const auto found = preparsed_.find(preparsedData);
    if (found == preparsed_.end())
        return kInvalidPreparsedData;
    capabilities = HidpCaps{};
    capabilities.InputReportByteLength = found->second.input;
    capabilities.OutputReportByteLength = found->second.output;
    capabilities.FeatureReportByteLength = found->second.feature;
    return HIDP_STATUS_SUCCESS;
}

Bool32 HidrawPlatform::HidD_FreePreparsedData(PreparsedData preparsedData) {
    preparsedLayouts_.erase(preparsedData);
    return preparsed_.erase(preparsedData) == 1 ? 1 : 0;
}

Bool32 HidrawPlatform::HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                                      std::uint16_t, std::uint16_t* usageList,
                                      std::uint32_t* usageLength, PreparsedData preparsedData,
                                      std::uint8_t* report, std::uint32_t reportLength) {
    const auto found = preparsedLayouts_.find(preparsedData);
    if (found == preparsedLayouts_.end())
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return hidpGetUsages(found->second, reportType, usagePage, usageList, usageLength, report,
                         reportLength);
}

std::uint32_t HidrawPlatform::HidP_MaxUsageListLength(HidpReportType reportType,
                                                      std::uint16_t usagePage,
                                                      PreparsedData preparsedData) {
    const auto found = preparsedLayouts_.find(preparsedData);
    return found == preparsedLayouts_.end()
               ? 0
               : hidpMaxUsageListLength(found->second, reportType, usagePage);
}

// ---- waiting for input reports ----

InputWait HidrawPlatform::readFailed(const OpenDevice& device, int error) {
    const bool gone = error == EIO || error == ENODEV;
    setLastError({gone ? PlatformError::Kind::Gone : PlatformError::Kind::Other, error,
                  device.node.empty() ? std::string() : devRoot_ + "/" + device.node});
    return InputWait::Failed;
}

// After an unplug the kernel hands out what was still queued and then fails the read; a wait
// that times out asks the device whether it is still there, as a kernel that does not wake
// poll() at the unplug would leave the wait to time out for ever.
InputWait HidrawPlatform::WaitForInputReport(Handle handle, std::uint8_t* buffer,
                                             std::uint32_t bufferLength, std::uint32_t& bytesRead,
                                             std::uint32_t timeoutMs) {
    bytesRead = 0;
    OpenDevice* device = find(handle);
    if (device == nullptr || buffer == nullptr) {
        setLastError({PlatformError::Kind::Other, EBADF, {}});
        return InputWait::Failed;
    }
    const std::uint32_t idByte = numberedReports(*device) ? 0 : 1;
    if (bufferLength <= idByte)
        return readFailed(*device, EINVAL);
    pollfd watched{device->fd, POLLIN, 0};
    const int timeout = static_cast<int>(std::min<std::uint32_t>(timeoutMs, 1u << 30));
    const int ready = ::poll(&watched, 1, timeout);
    if (ready < 0)
        return errno == EINTR ? InputWait::Timeout : readFailed(*device, errno);
    if (ready == 0)
        return live(handle) != nullptr ? InputWait::Timeout : readFailed(*device, ENODEV);
    if ((watched.revents & POLLIN) == 0)
        return readFailed(*device, (watched.revents & POLLNVAL) != 0 ? EBADF : ENODEV);
    const ssize_t received = ::read(device->fd, buffer + idByte, bufferLength - idByte);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return InputWait::Timeout;
    if (received <= 0)
        return readFailed(*device, received < 0 ? errno : ENODEV);
    if (idByte == 1)
        buffer[0] = 0;
    bytesRead = static_cast<std::uint32_t>(received) + idByte;
    return InputWait::Report;
}

} // namespace hid
