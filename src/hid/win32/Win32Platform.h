// The platform interface on Windows: every operation goes straight to SetupAPI, hid.dll or
// kernel32 with the caller's arguments, and comes back with the platform's own success value.
// A device call that fails keeps GetLastError and the device's path as lastError().
//
// This header does not include <windows.h>, so that the portable code that includes it keeps
// its own names (GENERIC_READ, DIGCF_PRESENT, ...) free of the Windows macros.
#pragma once

#include "ApiDeclarations.h"

#include <map>
#include <string>

namespace hid {

class Win32Platform : public ApiDeclarations {
public:
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
    // Windows keeps the address of overlapped and completes a pending read into it after this
    // returns; the record is handed over as it is, not copied.
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

private:
    Bool32 noted(Bool32 result, Handle device);
    void noteFailure(std::string device);
    std::string pathOf(Handle device) const;
    InputWait readFailed(unsigned long error);

    std::map<Handle, std::string> paths_; // the open device handles and their paths
};

} // namespace hid
