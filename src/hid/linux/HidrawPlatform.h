// The platform interface on Linux: boards through the kernel's hidraw device nodes, their
// identity and strings through sysfs.
//
// Handles are this class's own numbers, not file descriptors, so a stale or repeated
// CloseHandle never closes a descriptor that is not ours. Boards are told apart by the open
// descriptor, never by the node name: the kernel gives /dev/hidrawN to the next device after an
// unplug.
#pragma once

#include "ApiDeclarations.h"
#include "DeviceInfoSets.h"
#include "PermissionNotice.h"
#include "ReportDescriptor.h"
#include "SysfsHidraw.h"

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace hid {

class HidrawPlatform : public ApiDeclarations {
public:
    explicit HidrawPlatform(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
    ~HidrawPlatform() override;
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;

    // Where the one line about a board that may not be opened goes: standard error unless
    // set here; nullptr keeps quiet.
    void setPermissionNoticeStream(std::ostream* stream) { notice_.setStream(stream); }
    // Who else hears of such a board, once per plug-in: the window's desktop notification.
    void setPermissionListener(PermissionNotice::Listener listener) {
        notice_.setListener(std::move(listener));
    }
    const SysfsHidraw& sysfs() const { return sysfs_; }
    int openDeviceHandles() const { return static_cast<int>(devices_.size()); }

    void HidD_GetHidGuid(Guid& hidGuid) override;
    Handle SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) override;
    Bool32 SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                       std::uint32_t memberIndex,
                                       DeviceInterfaceData& interfaceData) override;
    Bool32 SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                            const DeviceInterfaceData& interfaceData,
                                            std::uint8_t* detail, std::uint32_t detailSize,
                                            std::uint32_t* requiredSize) override;
    Bool32 SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) override;
    Handle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                       std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                       std::uint32_t creationDisposition, std::uint32_t flags) override;
    Bool32 CloseHandle(Handle handle) override;
    Handle CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                        Bool32 initialState, const char* name) override;
    Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                    std::uint32_t* bytesRead, Overlapped* overlapped) override;
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

private:
    struct OpenDevice {
        int fd = -1;
        std::string path;        // as opened
        std::string node;        // hidrawN, empty when unknown
        bool charDevice = false; // false only for a test tree's stand-in file
        std::optional<bool> numberedReports;
    };
    using SysfsString = std::optional<std::string> (SysfsHidraw::*)(const std::string&) const;

    OpenDevice* find(Handle handle);
    // The device behind handle while it is still plugged in.
    OpenDevice* live(Handle handle);
    // Keeps errorNumber as the reason the call on path failed.
    void keepError(int errorNumber, const std::string& path);
    std::string nodeOf(int fd, const std::string& path, bool& charDevice) const;
    std::optional<ReportLengths> reportLengths(const OpenDevice& device) const;
    bool numberedReports(OpenDevice& device) const;
    Bool32 stringQuery(Handle handle, SysfsString text, std::uint8_t* buffer,
                       std::uint32_t bufferLength);
    Bool32 featureRequest(Handle handle, bool set, std::uint8_t* report,
                          std::uint32_t reportLength);

    std::string devRoot_;
    SysfsHidraw sysfs_;
    PermissionNotice notice_;
    DeviceInfoSets infoSets_;
    std::map<Handle, OpenDevice> devices_;
    std::set<Handle> events_;
    std::map<PreparsedData, ReportLengths> preparsed_;
    Handle nextHandle_ = 0x100;
};

} // namespace hid
