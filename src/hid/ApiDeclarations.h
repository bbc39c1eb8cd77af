// The device operations the utility needs from the operating system, as one interface.
//
// The operations and their conventions are those of the Windows HID stack (SetupAPI, hid.dll,
// kernel32): every call returns the platform's success value (non-zero on success), byte 0 of
// every report buffer is the report ID, report lengths include the report-ID byte, and strings
// come back as UTF-16LE code units ending with a zero unit when there is room. On Windows the
// implementation passes the calls straight through; elsewhere it gives the same observable
// behaviour on top of the native device interfaces.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hid {

// An open device, event or information-set handle. kInvalidHandle is what a failed open returns.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

using Bool32 = std::int32_t; // the platform's BOOL: non-zero means success

struct Guid {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

struct SecurityAttributes {
    std::uint32_t nLength = 0;
    void* lpSecurityDescriptor = nullptr;
    Bool32 bInheritHandle = 0;
};

// SP_DEVICE_INTERFACE_DATA
struct DeviceInterfaceData {
    std::uint32_t cbSize = 0;
    Guid InterfaceClassGuid;
    std::uint32_t Flags = 0;
    std::uintptr_t Reserved = 0;
};

// SP_DEVINFO_DATA
struct DeviceInfoData {
    std::uint32_t cbSize = 0;
    Guid ClassGuid;
    std::uint32_t DevInst = 0;
    std::uintptr_t Reserved = 0;
};

// HIDD_ATTRIBUTES
struct HiddAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// HIDP_CAPS
struct HidpCaps {
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    std::array<std::uint16_t, 17> Reserved{};
    std::uint16_t NumberLinkCollectionNodes = 0;
    std::uint16_t NumberInputButtonCaps = 0;
    std::uint16_t NumberInputValueCaps = 0;
    std::uint16_t NumberInputDataIndices = 0;
    std::uint16_t NumberOutputButtonCaps = 0;
    std::uint16_t NumberOutputValueCaps = 0;
    std::uint16_t NumberOutputDataIndices = 0;
    std::uint16_t NumberFeatureButtonCaps = 0;
    std::uint16_t NumberFeatureValueCaps = 0;
    std::uint16_t NumberFeatureDataIndices = 0;
};

// OVERLAPPED
struct Overlapped {
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    Handle hEvent = 0;
};

using PreparsedData = std::intptr_t; // PHIDP_PREPARSED_DATA, opaque

// Flags and values the callers pass, with their Windows values.
inline constexpr std::uint32_t DIGCF_PRESENT = 0x02;
inline constexpr std::uint32_t DIGCF_DEVICEINTERFACE = 0x10;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t FILE_FLAG_OVERLAPPED = 0x40000000u;
inline constexpr std::uint32_t SPDRP_HARDWAREID = 0x1;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr Bool32 HIDP_STATUS_SUCCESS = 0x00110000;
inline constexpr auto HIDP_STATUS_INVALID_PREPARSED_DATA = static_cast<Bool32>(0xC0110001u);
inline constexpr auto HIDP_STATUS_INVALID_REPORT_LENGTH = static_cast<Bool32>(0xC0110003u);
inline constexpr auto HIDP_STATUS_USAGE_NOT_FOUND = static_cast<Bool32>(0xC0110004u);
inline constexpr auto HIDP_STATUS_BUFFER_TOO_SMALL = static_cast<Bool32>(0xC0110007u);
inline constexpr auto HIDP_STATUS_INCOMPATIBLE_REPORT_ID = static_cast<Bool32>(0xC011000Au);
inline constexpr auto HIDP_STATUS_REPORT_DOES_NOT_EXIST = static_cast<Bool32>(0xC0110010u);

// HIDP_REPORT_TYPE
enum class HidpReportType : std::int32_t { Input = 0, Output = 1, Feature = 2 };

// What waiting for an input report came to. Failed is 0, as a failed call's result is.
enum class InputWait : std::int32_t { Failed = 0, Report = 1, Timeout = 2 };

// cbSize of SP_DEVICE_INTERFACE_DETAIL_DATA_A: a DWORD followed by the path's first character,
// padded to the structure's alignment (8 in a 64-bit process, 5 in a 32-bit one). The path
// itself starts at byte 4 of the detail buffer.
inline constexpr std::uint32_t kDetailDataCbSize = sizeof(void*) == 8 ? 8 : 5;
inline constexpr std::uint32_t kDetailPathOffset = 4;
inline constexpr std::uint32_t kInterfaceDataCbSize = sizeof(void*) == 8 ? 32 : 28;
inline constexpr std::uint32_t kDeviceInfoDataCbSize = sizeof(void*) == 8 ? 32 : 28;

// The GetLastError codes of overlapped reads, kept in PlatformError::code on every platform.
// (Named apart from the Windows macros, which would replace ERROR_IO_PENDING and its kin.)
inline constexpr int kErrorOperationAborted = 995;    // ERROR_OPERATION_ABORTED: cancelled
inline constexpr int kErrorIoIncomplete = 996;        // ERROR_IO_INCOMPLETE: still in flight
inline constexpr int kErrorIoPending = 997;           // ERROR_IO_PENDING: started, not completed
inline constexpr int kErrorDeviceNotConnected = 1167; // ERROR_DEVICE_NOT_CONNECTED

// Why the last call that failed did fail, so that a caller can tell the user: the kind, the
// platform's own error number (errno on Linux, GetLastError on Windows) and the device path it
// concerned, when there is one. Like GetLastError, a call that succeeds leaves it as it was.
struct PlatformError {
    enum class Kind {
        None,
        NotFound,         // no such device
        PermissionDenied, // the device is there, but this user may not open it
        Gone,             // the device was unplugged
        Refused,          // the device is there and refused the request
        Other,
    };
    Kind kind = Kind::None;
    int code = 0;
    std::string device;
};

class ApiDeclarations {
public:
    virtual ~ApiDeclarations() = default;

    const PlatformError& lastError() const { return lastError_; }

    // SetupAPI: the set of present HID interfaces and their device paths.
    virtual void HidD_GetHidGuid(Guid& hidGuid) = 0;
    virtual Handle SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) = 0;
    virtual Bool32 SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                               std::uint32_t memberIndex,
                                               DeviceInterfaceData& interfaceData) = 0;
    // With detail == nullptr and detailSize 0 it reports the size needed; otherwise it fills
    // detail (its first 4 bytes must hold kDetailDataCbSize) with the path from byte 4 on.
    // deviceInfoData, when given (its cbSize kDeviceInfoDataCbSize), receives the device that
    // has the interface, for SetupDiGetDeviceRegistryPropertyA.
    virtual Bool32 SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                                    const DeviceInterfaceData& interfaceData,
                                                    std::uint8_t* detail, std::uint32_t detailSize,
                                                    std::uint32_t* requiredSize,
                                                    DeviceInfoData* deviceInfoData) = 0;
    // A property of a device of the set, read from what the system already knows of it, with
    // no device I/O. SPDRP_HARDWAREID gives REG_MULTI_SZ: zero-terminated single-byte strings
    // such as "HID\VID_1209&PID_0001&REV_0103", then one more zero byte. With a buffer too
    // small it fails and reports the size needed.
    virtual Bool32 SetupDiGetDeviceRegistryPropertyA(
        Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
        std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
        std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) = 0;
    virtual Bool32 SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) = 0;

    // kernel32
    virtual Handle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                               std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                               std::uint32_t creationDisposition, std::uint32_t flags) = 0;
    virtual Bool32 CloseHandle(Handle handle) = 0;
    virtual Handle CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                                Bool32 initialState, const char* name) = 0;
    // Non-zero only when the read completed at once. On a handle opened for overlapped reads
    // a read that has to wait fails with kErrorIoPending in lastError().code and stays in
    // flight: until GetOverlappedResult says it has completed, the buffer and the overlapped
    // record belong to the system, and neither may be given to another ReadFile.
    virtual Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                            std::uint32_t* bytesRead, Overlapped* overlapped) = 0;
    // How the read in flight on overlapped came out: non-zero once it has completed with data
    // (bytesTransferred set). Zero with kErrorIoIncomplete while it is still in flight and
    // wait is zero; with wait non-zero it blocks until the read completes, so wait only for a
    // read that was cancelled. Zero with another code when the read completed with an error:
    // kErrorOperationAborted after CancelIoEx, the removal's error when the board was pulled.
    // A check without wait makes no system call: it reads the overlapped record.
    virtual Bool32 GetOverlappedResult(Handle handle, Overlapped* overlapped,
                                       std::uint32_t* bytesTransferred, Bool32 wait) = 0;
    // Asks the system to end the read in flight on overlapped (every read on the handle when
    // overlapped is null). It returns before the read has ended: wait for it with
    // GetOverlappedResult before the buffer or the handle go. Zero when nothing was in flight.
    virtual Bool32 CancelIoEx(Handle handle, Overlapped* overlapped) = 0;

    // hid.dll
    virtual Bool32 HidD_GetAttributes(Handle device, HiddAttributes& attributes) = 0;
    // The three string queries fill at most bufferLength bytes with UTF-16LE code units.
    virtual Bool32 HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                              std::uint32_t bufferLength) = 0;
    virtual Bool32 HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                              std::uint32_t bufferLength) = 0;
    virtual Bool32 HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                         std::uint32_t bufferLength) = 0;
    virtual Bool32 HidD_GetPreparsedData(Handle device, PreparsedData& preparsedData) = 0;
    // Returns HIDP_STATUS_SUCCESS on success.
    virtual Bool32 HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) = 0;
    virtual Bool32 HidD_FreePreparsedData(PreparsedData preparsedData) = 0;
    virtual Bool32 HidD_SetFeature(Handle device, std::uint8_t* report,
                                   std::uint32_t reportLength) = 0;
    virtual Bool32 HidD_GetFeature(Handle device, std::uint8_t* report,
                                   std::uint32_t reportLength) = 0;

    // The usages of usagePage that a report turns on. On entry *usageLength is the room in
    // usageList, on return the number of usages written, or the room needed with
    // HIDP_STATUS_BUFFER_TOO_SMALL. Returns HIDP_STATUS_SUCCESS; HIDP_STATUS_USAGE_NOT_FOUND
    // when no report of the type has usages on the page; HIDP_STATUS_INCOMPATIBLE_REPORT_ID
    // when they are in reports with another ID; HIDP_STATUS_REPORT_DOES_NOT_EXIST for an ID
    // the device does not have; HIDP_STATUS_INVALID_REPORT_LENGTH for a report of another
    // length. linkCollection 0 stands for all collections, the only choice off Windows.
    virtual Bool32 HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                                  std::uint16_t linkCollection, std::uint16_t* usageList,
                                  std::uint32_t* usageLength, PreparsedData preparsedData,
                                  std::uint8_t* report, std::uint32_t reportLength) = 0;
    // The most usages of usagePage one report can turn on; 0 when the device declares none.
    virtual std::uint32_t HidP_MaxUsageListLength(HidpReportType reportType,
                                                  std::uint16_t usagePage,
                                                  PreparsedData preparsedData) = 0;

    // Waits at most timeoutMs for the next input report on a handle opened for overlapped
    // reads, and takes that one report into buffer, byte 0 its report ID. Unlike the presence
    // read it takes the reports one by one, oldest first, so that none is lost. Failed leaves
    // the reason in lastError: Gone when the board was unplugged.
    virtual InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer,
                                         std::uint32_t bufferLength, std::uint32_t& bytesRead,
                                         std::uint32_t timeoutMs) = 0;

    // The report descriptor of an open device as the device gave it; nothing where the
    // platform keeps it to itself (Windows hands out only the preparsed data).
    virtual std::optional<std::vector<std::uint8_t>> GetReportDescriptor(Handle) {
        return std::nullopt;
    }

    // A number that changes whenever a HID interface may have arrived or left since the last
    // call, so that a caller holding a board open can tell when to list the boards again
    // without walking them on every tick. A platform that cannot tell gives a new number on
    // every call.
    virtual std::uint64_t InterfaceGeneration() { return ++uncertainGeneration_; }

protected:
    void setLastError(PlatformError error) { lastError_ = std::move(error); }

private:
    PlatformError lastError_;
    std::uint64_t uncertainGeneration_ = 0;
};

} // namespace hid
