// The platform interface on Linux: boards through the kernel's hidraw device nodes, their
// identity and strings through sysfs.
//
// Handles are this class's own numbers, not file descriptors, so a stale or repeated
// CloseHandle never closes a descriptor that is not ours. Boards are told apart by the open
// descriptor, never by the node name: the kernel gives /dev/hidrawN to the next device after an
// unplug.
//
// Opening a node wakes its device and starts the USB host polling it, and usbhid waits 50 ms in
// the first open of a USB device, so a node whose sysfs identity is known is not opened for the
// search: its handle's attributes and strings are answered from sysfs, and the node is opened
// only when a call needs the device itself. What sysfs says of a node is read once per
// appearance of that node; while no node comes or goes, the list of nodes and their facts are
// taken as they were, without asking sysfs again.
#pragma once

#include "ApiDeclarations.h"
#include "DeviceInfoSets.h"
#include "NodeWatch.h"
#include "PermissionNotice.h"
#include "ReportDescriptor.h"
#include "SysfsHidraw.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace hid {

// What a failed call's errno says about the device.
PlatformError::Kind errorKind(int errorNumber);

class HidrawPlatform : public ApiDeclarations {
public:
    explicit HidrawPlatform(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
    ~HidrawPlatform() override;
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;

    // Who hears of a board that may not be opened, once per plug-in: the window, which tells
    // the user. Without a listener nobody does.
    void setPermissionListener(PermissionNotice::Listener listener) {
        notice_.setListener(std::move(listener));
    }
    const SysfsHidraw& sysfs() const { return sysfs_; }
    int openDeviceHandles() const { return static_cast<int>(devices_.size()); }
    // The nodes whose sysfs facts are known.
    std::size_t knownNodes() const { return known_.size(); }

    void HidD_GetHidGuid(Guid& hidGuid) override;
    Handle SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) override;
    Bool32 SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                       std::uint32_t memberIndex,
                                       DeviceInterfaceData& interfaceData) override;
    Bool32 SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                            const DeviceInterfaceData& interfaceData,
                                            std::uint8_t* detail, std::uint32_t detailSize,
                                            std::uint32_t* requiredSize,
                                            DeviceInfoData* deviceInfoData) override;
    // From the node's sysfs facts (HID_ID and the version), with no open.
    Bool32 SetupDiGetDeviceRegistryPropertyA(
        Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
        std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
        std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) override;
    Bool32 SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) override;
    Handle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                       std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                       std::uint32_t creationDisposition, std::uint32_t flags) override;
    Bool32 CloseHandle(Handle handle) override;
    Handle CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                        Bool32 initialState, const char* name) override;
    Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                    std::uint32_t* bytesRead, Overlapped* overlapped) override;
    // A read on hidraw never pends (ReadFile completes, or fails, at once), so there is never
    // a read in flight to ask about or to cancel.
    Bool32 GetOverlappedResult(Handle handle, Overlapped* overlapped,
                               std::uint32_t* bytesTransferred, Bool32 wait) override;
    Bool32 CancelIoEx(Handle handle, Overlapped* overlapped) override;
    Bool32 HidD_GetAttributes(Handle device, HiddAttributes& attributes) override;
    Bool32 HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                      std::uint32_t bufferLength) override;
    Bool32 HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                      std::uint32_t bufferLength) override;
    Bool32 HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                 std::uint32_t bufferLength) override;
    Bool32 HidD_GetPreparsedData(Handle device, PreparsedData& preparsedData) override;
    Bool32 HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) override;
    Bool32 HidD_FreePreparsedData(PreparsedData preparsedData) override;
    Bool32 HidD_SetFeature(Handle device, std::uint8_t* report,
                           std::uint32_t reportLength) override;
    Bool32 HidD_GetFeature(Handle device, std::uint8_t* report,
                           std::uint32_t reportLength) override;
    Bool32 HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                          std::uint16_t linkCollection, std::uint16_t* usageList,
                          std::uint32_t* usageLength, PreparsedData preparsedData,
                          std::uint8_t* report, std::uint32_t reportLength) override;
    std::uint32_t HidP_MaxUsageListLength(HidpReportType reportType, std::uint16_t usagePage,
                                          PreparsedData preparsedData) override;
    // poll() on the node, then one read().
    InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer, std::uint32_t bufferLength,
                                 std::uint32_t& bytesRead, std::uint32_t timeoutMs) override;
    // The node watch's generation: one read of the inotify descriptor, which does not block. The
    // search compares the same numbers, so a look taken here still makes it list afresh.
    std::uint64_t InterfaceGeneration() override { return watch_.look(); }
    // HIDIOCGRDESC, or sysfs for a descriptor of the kernel's maximum size.
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor(Handle handle) override;

protected:
    // Every ioctl goes through here: the result, or -errno. Tests stand in for the kernel.
    virtual int control(int fd, unsigned long request, void* argument);

private:
    struct OpenDevice {
        std::string path;
        int openFlags = 0;
        int fd = -1;             // -1 until a call needs the device
        std::string node;        // hidrawN, empty when unknown
        bool charDevice = false; // false only for a test tree's stand-in file
        bool deferred = false;   // made from sysfs facts, before its node was opened
        std::shared_ptr<const NodeFacts> facts;
        std::optional<bool> numberedReports;
    };
    // A node's device number, and the watch's generation when its class link was last seen
    // leading where its facts say.
    struct NodeNumber {
        dev_t number = 0;
        std::uint64_t checkedAt = 0;
    };

    void fail(int errorNumber, const std::string& path);
    std::shared_ptr<const NodeFacts> factsOf(const std::string& node);
    void listNodes();
    std::string_view nodeNamed(std::string_view path) const;
    static bool opensLater(const OpenDevice& device, std::uint32_t flags);
    bool mayOpen(const OpenDevice& device);
    bool openNode(OpenDevice& device);
    void openFailed(const OpenDevice& device, int error);
    OpenDevice* find(Handle handle);
    // The device behind handle, opened if it was not yet.
    OpenDevice* opened(Handle handle);
    // The device behind handle for a question sysfs answers: not opened for it.
    const OpenDevice* described(Handle handle);
    // The device behind handle while it is still plugged in.
    OpenDevice* live(Handle handle);
    bool stillThere(const OpenDevice& device);
    std::optional<std::vector<std::uint8_t>> reportDescriptor(const OpenDevice& device);
    std::optional<ReportLengths> reportLengths(const OpenDevice& device);
    bool numberedReports(OpenDevice& device);
    Bool32 stringQuery(Handle handle, HidText which, std::uint8_t* buffer,
                       std::uint32_t bufferLength);
    Bool32 featureRequest(Handle handle, bool set, std::uint8_t* report,
                          std::uint32_t reportLength);
    InputWait readFailed(const OpenDevice& device, int error);

    std::string devRoot_;
    SysfsHidraw sysfs_;
    PermissionNotice notice_;
    DeviceInfoSets infoSets_;
    std::map<Handle, OpenDevice> devices_;
    std::map<dev_t, std::shared_ptr<const NodeFacts>> known_;
    std::map<std::string, NodeNumber, std::less<>> numberOf_;
    NodeWatch watch_;
    std::vector<std::string> nodePaths_; // /dev/hidrawN of every node sysfs lists
    std::uint64_t listedAt_ = 0;         // the watch's generation when they were listed
    std::set<Handle> events_;
    std::map<PreparsedData, ReportLengths> preparsed_;
    std::map<PreparsedData, ReportLayout> preparsedLayouts_;
    Handle nextHandle_ = 0x100;
};

} // namespace hid
