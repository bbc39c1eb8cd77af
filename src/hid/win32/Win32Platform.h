// The platform interface on Windows: every device operation goes straight to hid.dll or
// kernel32 with the caller's arguments, and comes back with the platform's own success value.
// A device call that fails keeps GetLastError and the device's path as lastError().
//
// The SetupAPI listing is the exception: SetupAPI is walked once, each interface's path and
// hardware IDs kept, and while the system reports no HID interface arriving or leaving
// (RegisterDeviceNotification on a window of its own thread) the next listings are answered
// from what that walk found. Where the notifications cannot be had, every listing walks.
//
// This header does not include <windows.h>, so that the portable code that includes it keeps
// its own names (GENERIC_READ, DIGCF_PRESENT, ...) free of the Windows macros.
#pragma once

#include "ApiDeclarations.h"
#include "DeviceInfoSets.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hid {

class InterfaceWatch;

class Win32Platform : public ApiDeclarations {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // What the system was asked, for the tests under Wine: how often SetupAPI was walked, and
    // how often each device path was opened.
    std::size_t interfaceWalks() const { return interfaceWalks_; }
    const std::map<std::string, std::size_t>& opensByPath() const { return opensByPath_; }
    bool hearsOfInterfaces() const;

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
    // Windows keeps the address of overlapped and completes a pending read into it after this
    // returns; the record is handed over as it is, not copied.
    Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                    std::uint32_t* bytesRead, Overlapped* overlapped) override;
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
    // An overlapped ReadFile and WaitForSingleObject on its event; a read still pending at
    // the timeout is cancelled, and the HID class driver keeps the reports for the next call.
    InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer, std::uint32_t bufferLength,
                                 std::uint32_t& bytesRead, std::uint32_t timeoutMs) override;
    // Changes when the system reports a HID interface arriving or leaving; a new number on
    // every call where it cannot report them.
    std::uint64_t InterfaceGeneration() override;

private:
    struct Listed {
        std::string path;
        std::string hardwareIds; // REG_MULTI_SZ; empty when SetupAPI had none
    };
    bool walkInterfaces(const Guid& classGuid, std::uint32_t flags);
    Bool32 noted(Bool32 result, Handle device);
    void noteFailure(std::string device);
    std::string pathOf(Handle device) const;
    InputWait readFailed(unsigned long error);

    std::map<Handle, std::string> paths_; // the open device handles and their paths
    std::unique_ptr<InterfaceWatch> watch_;
    DeviceInfoSets infoSets_;
    std::vector<Listed> listed_;
    std::uint64_t listedAt_ = 0;
    bool listedOnce_ = false;
    Guid listedGuid_;
    std::uint32_t listedFlags_ = 0;
    std::size_t interfaceWalks_ = 0;
    std::map<std::string, std::size_t> opensByPath_;
};

} // namespace hid
