#include "HidrawPlatform.h"

#include "HidStrings.h"
#include "Utf8.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <linux/hidraw.h>
#include <memory>
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

std::optional<std::vector<std::uint8_t>> readDescriptor(int fd) {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size < 0)
        return std::nullopt;
    // The kernel refuses a request for all of value[]: one byte less is the most it gives.
    auto descriptor = std::make_unique<hidraw_report_descriptor>();
    descriptor->size =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(size), HID_MAX_DESCRIPTOR_SIZE - 1);
    if (::ioctl(fd, HIDIOCGRDESC, descriptor.get()) < 0)
        return std::nullopt;
    return std::vector<std::uint8_t>(descriptor->value, descriptor->value + descriptor->size);
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

} // namespace

HidrawPlatform::HidrawPlatform(std::string sysfsRoot, std::string devRoot)
    : devRoot_(std::move(devRoot)), sysfs_(std::move(sysfsRoot)), notice_(sysfs_, &std::cerr) {}

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
    std::vector<std::string> paths;
    for (const std::string& node : sysfs_.nodes())
        paths.push_back(devRoot_ + "/" + node);
    return infoSets_.create(std::move(paths));
}

Bool32 HidrawPlatform::SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                                   std::uint32_t memberIndex,
                                                   DeviceInterfaceData& interfaceData) {
    return infoSets_.enumerate(deviceInfoSet, memberIndex, interfaceData, classGuid);
}

Bool32 HidrawPlatform::SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                                        const DeviceInterfaceData& interfaceData,
                                                        std::uint8_t* detail,
                                                        std::uint32_t detailSize,
                                                        std::uint32_t* requiredSize) {
    return infoSets_.detail(deviceInfoSet, interfaceData, detail, detailSize, requiredSize);
}

Bool32 HidrawPlatform::SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) {
    return infoSets_.destroy(deviceInfoSet);
}

// ---- handles ----

// A real node is named by its device number, so the name is that of the device the descriptor
// belongs to. A file that is no device node (a test tree's stand-in) goes by its file name.
std::string HidrawPlatform::nodeOf(int fd, const std::string& path, bool& charDevice) const {
    struct stat status {};
    charDevice = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode);
    if (charDevice)
        return sysfs_.nodeOfCharDevice(major(status.st_rdev), minor(status.st_rdev)).value_or("");
    const std::string name = fileName(path);
    return isHidrawNode(name) ? name : std::string();
}

Handle HidrawPlatform::CreateFileA(const std::string& path, std::uint32_t, std::uint32_t,
                                   SecurityAttributes*, std::uint32_t creationDisposition,
                                   std::uint32_t flags) {
    if (creationDisposition != OPEN_EXISTING)
        return kInvalidHandle;
    const int nonBlocking = (flags & FILE_FLAG_OVERLAPPED) != 0 ? O_NONBLOCK : 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | nonBlocking);
    if (fd < 0) {
        const int error = errno;
        notice_.openFailed(path, fileName(path), error);
        keepError(error, path);
        return kInvalidHandle;
    }
    OpenDevice device;
    device.fd = fd;
    device.path = path;
    device.node = nodeOf(fd, path, device.charDevice);
    const Handle handle = nextHandle_++;
    devices_.emplace(handle, std::move(device));
    return handle;
}

// Only a board's node counts as permission denied: other devices' nodes are root's by design.
void HidrawPlatform::keepError(int errorNumber, const std::string& path) {
    PlatformError::Kind kind = PlatformError::Kind::Other;
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        if (notice_.isBoard(fileName(path)))
            kind = PlatformError::Kind::PermissionDenied;
        break;
    case ENOENT:
    case ENXIO:
        kind = PlatformError::Kind::NotFound;
        break;
    case ENODEV:
    case EIO:
    case ESHUTDOWN:
        kind = PlatformError::Kind::Gone;
        break;
    default:
        kind = PlatformError::Kind::Refused;
        break;
    }
    setLastError({kind, errorNumber, path});
}

Bool32 HidrawPlatform::CloseHandle(Handle handle) {
    if (events_.erase(handle) == 1)
        return 1;
    const auto found = devices_.find(handle);
    if (found == devices_.end())
        return 0;
    const int result = ::close(found->second.fd);
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
    return found == devices_.end() ? nullptr : &found->second;
}

// After an unplug every ioctl on the descriptor fails with ENODEV.
HidrawPlatform::OpenDevice* HidrawPlatform::live(Handle handle) {
    OpenDevice* device = find(handle);
    if (device == nullptr || !device->charDevice)
        return device;
    hidraw_devinfo info{};
    return ::ioctl(device->fd, HIDIOCGRAWINFO, &info) < 0 ? nullptr : device;
}

// ---- reports ----

std::optional<ReportLengths> HidrawPlatform::reportLengths(const OpenDevice& device) const {
    const auto descriptor = readDescriptor(device.fd);
    return descriptor ? parseReportDescriptor(*descriptor).lengths : std::nullopt;
}

// Unknown (no descriptor to be had) counts as numbered: the bytes then pass unchanged.
bool HidrawPlatform::numberedReports(OpenDevice& device) const {
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
// later, and a board that is there has sent at least one report since the last tick.
Bool32 HidrawPlatform::ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                                std::uint32_t* bytesRead, Overlapped*) {
    if (bytesRead != nullptr)
        *bytesRead = 0;
    OpenDevice* device = find(handle);
    if (device == nullptr || buffer == nullptr || bytesToRead == 0)
        return 0;
    const std::uint32_t idByte = numberedReports(*device) ? 0 : 1;
    if (bytesToRead <= idByte)
        return 0;
    ssize_t newest = 0;
    for (int report = 0; report < kMaxReportsPerRead; ++report) {
        const ssize_t received = ::read(device->fd, buffer + idByte, bytesToRead - idByte);
        if (received > 0) {
            newest = received;
            continue;
        }
        if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            keepError(errno, device->path);
            return 0; // gone: whatever was queued before does not count
        }
        break;
    }
    if (newest == 0)
        return 0;
    if (idByte == 1)
        buffer[0] = 0;
    if (bytesRead != nullptr)
        *bytesRead = static_cast<std::uint32_t>(newest) + idByte;
    return 1;
}

Bool32 HidrawPlatform::featureRequest(Handle handle, bool set, std::uint8_t* report,
                                      std::uint32_t reportLength) {
    const OpenDevice* device = find(handle);
    if (device == nullptr || report == nullptr || reportLength == 0 ||
        reportLength > kMaxIoctlLength)
        return 0;
    const int result = ::ioctl(
        device->fd, set ? HIDIOCSFEATURE(reportLength) : HIDIOCGFEATURE(reportLength), report);
    if (result < 0) {
        keepError(errno, device->path);
        return 0;
    }
    // A shorter answer leaves no stale bytes of an earlier report behind.
    if (!set && static_cast<std::uint32_t>(result) < reportLength)
        std::fill(report + result, report + reportLength, std::uint8_t{0});
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

// ---- identity and capabilities ----

Bool32 HidrawPlatform::HidD_GetAttributes(Handle handle, HiddAttributes& attributes) {
    const OpenDevice* device = find(handle);
    hidraw_devinfo info{};
    if (device == nullptr || ::ioctl(device->fd, HIDIOCGRAWINFO, &info) < 0)
        return 0;
    attributes.VendorID = static_cast<std::uint16_t>(info.vendor);
    attributes.ProductID = static_cast<std::uint16_t>(info.product);
    attributes.VersionNumber = sysfs_.versionNumber(device->node);
    return 1;
}

Bool32 HidrawPlatform::stringQuery(Handle handle, SysfsString text, std::uint8_t* buffer,
                                   std::uint32_t bufferLength) {
    const OpenDevice* device = live(handle);
    if (device == nullptr || device->node.empty() || buffer == nullptr)
        return 0;
    const std::optional<std::string> utf8 = (sysfs_.*text)(device->node);
    if (!utf8)
        return 0;
    putUtf16(utf16FromUtf8(*utf8), buffer, bufferLength);
    return 1;
}

Bool32 HidrawPlatform::HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                                  std::uint32_t bufferLength) {
    return stringQuery(device, &SysfsHidraw::serialNumber, buffer, bufferLength);
}

Bool32 HidrawPlatform::HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                                  std::uint32_t bufferLength) {
    return stringQuery(device, &SysfsHidraw::manufacturer, buffer, bufferLength);
}

Bool32 HidrawPlatform::HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                             std::uint32_t bufferLength) {
    return stringQuery(device, &SysfsHidraw::product, buffer, bufferLength);
}

// The preparsed data is a number standing for the lengths parsed from the report descriptor.
Bool32 HidrawPlatform::HidD_GetPreparsedData(Handle handle, PreparsedData& preparsedData) {
    OpenDevice* device = find(handle);
    const auto lengths = device == nullptr ? std::nullopt : reportLengths(*device);
    if (!lengths)
        return 0;
    device->numberedReports = lengths->numberedReports;
    preparsedData = nextHandle_++;
    preparsed_.emplace(preparsedData, *lengths);
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
    return preparsed_.erase(preparsedData) == 1 ? 1 : 0;
}

} // namespace hid
