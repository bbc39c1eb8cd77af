#include "Win32Platform.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <iterator>
#include <type_traits>

// What our callers pass, taken before the Windows headers redefine these names as macros, so
// that they can be checked against the Windows values below.
namespace portable {
constexpr std::uint32_t kDigcfPresent = hid::DIGCF_PRESENT;
constexpr std::uint32_t kDigcfDeviceInterface = hid::DIGCF_DEVICEINTERFACE;
constexpr std::uint32_t kGenericRead = hid::GENERIC_READ;
constexpr std::uint32_t kGenericWrite = hid::GENERIC_WRITE;
constexpr std::uint32_t kFileShareRead = hid::FILE_SHARE_READ;
constexpr std::uint32_t kFileShareWrite = hid::FILE_SHARE_WRITE;
constexpr std::uint32_t kOpenExisting = hid::OPEN_EXISTING;
constexpr std::uint32_t kFileFlagOverlapped = hid::FILE_FLAG_OVERLAPPED;
constexpr std::uint32_t kSpdrpHardwareId = hid::SPDRP_HARDWAREID;
constexpr std::uint32_t kRegMultiSz = hid::REG_MULTI_SZ;
constexpr hid::Bool32 kHidpStatusSuccess = hid::HIDP_STATUS_SUCCESS;
constexpr hid::Bool32 kHidpStatusInvalidPreparsedData = hid::HIDP_STATUS_INVALID_PREPARSED_DATA;
constexpr hid::Bool32 kHidpStatusInvalidReportLength = hid::HIDP_STATUS_INVALID_REPORT_LENGTH;
constexpr hid::Bool32 kHidpStatusUsageNotFound = hid::HIDP_STATUS_USAGE_NOT_FOUND;
constexpr hid::Bool32 kHidpStatusBufferTooSmall = hid::HIDP_STATUS_BUFFER_TOO_SMALL;
constexpr hid::Bool32 kHidpStatusIncompatibleReportId = hid::HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
constexpr hid::Bool32 kHidpStatusReportDoesNotExist = hid::HIDP_STATUS_REPORT_DOES_NOT_EXIST;
} // namespace portable

// clang-format off
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

namespace hid {

namespace {

static_assert(portable::kDigcfPresent == DIGCF_PRESENT);
static_assert(portable::kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(portable::kGenericRead == GENERIC_READ);
static_assert(portable::kGenericWrite == GENERIC_WRITE);
static_assert(portable::kFileShareRead == FILE_SHARE_READ);
static_assert(portable::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(portable::kOpenExisting == OPEN_EXISTING);
static_assert(portable::kFileFlagOverlapped == FILE_FLAG_OVERLAPPED);
static_assert(portable::kSpdrpHardwareId == SPDRP_HARDWAREID);
static_assert(portable::kRegMultiSz == REG_MULTI_SZ);
static_assert(hid::kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(hid::kErrorIoIncomplete == ERROR_IO_INCOMPLETE);
static_assert(hid::kErrorIoPending == ERROR_IO_PENDING);
static_assert(hid::kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED);
static_assert(portable::kHidpStatusSuccess == HIDP_STATUS_SUCCESS);
static_assert(portable::kHidpStatusInvalidPreparsedData == HIDP_STATUS_INVALID_PREPARSED_DATA);
static_assert(portable::kHidpStatusInvalidReportLength == HIDP_STATUS_INVALID_REPORT_LENGTH);
static_assert(portable::kHidpStatusUsageNotFound == HIDP_STATUS_USAGE_NOT_FOUND);
static_assert(portable::kHidpStatusBufferTooSmall == HIDP_STATUS_BUFFER_TOO_SMALL);
static_assert(portable::kHidpStatusIncompatibleReportId == HIDP_STATUS_INCOMPATIBLE_REPORT_ID);
static_assert(portable::kHidpStatusReportDoesNotExist == HIDP_STATUS_REPORT_DOES_NOT_EXIST);
static_assert(static_cast<int>(hid::HidpReportType::Input) == HidP_Input);
static_assert(static_cast<int>(hid::HidpReportType::Output) == HidP_Output);
static_assert(static_cast<int>(hid::HidpReportType::Feature) == HidP_Feature);
static_assert(sizeof(USAGE) == sizeof(std::uint16_t));
static_assert(sizeof(ULONG) == sizeof(std::uint32_t));

static_assert(std::is_same_v<Bool32, BOOL>);
static_assert(sizeof(Handle) == sizeof(HANDLE));
static_assert(sizeof(PreparsedData) == sizeof(PHIDP_PREPARSED_DATA));

// The records are copied field by field; their sizes must still agree, because the callers
// put these sizes into the records' size fields.
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(sizeof(DeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(kInterfaceDataCbSize == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(sizeof(DeviceInfoData) == sizeof(SP_DEVINFO_DATA));
static_assert(kDeviceInfoDataCbSize == sizeof(SP_DEVINFO_DATA));
static_assert(sizeof(HiddAttributes) == sizeof(HIDD_ATTRIBUTES));
static_assert(sizeof(HidpCaps) == sizeof(HIDP_CAPS));
static_assert(sizeof(HidpCaps::Reserved) == sizeof(HIDP_CAPS::Reserved));
static_assert(sizeof(SecurityAttributes) == sizeof(SECURITY_ATTRIBUTES));

// The detail buffer is the caller's own, handed over unchanged.
static_assert(kDetailDataCbSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(kDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));

// The overlapped record is handed over unchanged too: Windows writes its result into it when
// a pending read completes, long after ReadFile has returned.
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(alignof(Overlapped) == alignof(OVERLAPPED));
static_assert(offsetof(Overlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(Overlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(Overlapped::Internal) == sizeof(OVERLAPPED::Internal));
static_assert(sizeof(Overlapped::InternalHigh) == sizeof(OVERLAPPED::InternalHigh));
static_assert(sizeof(Overlapped::hEvent) == sizeof(OVERLAPPED::hEvent));

// kInvalidHandle (-1) and INVALID_HANDLE_VALUE ((HANDLE)-1) map onto each other.
HANDLE native(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
Handle portableHandle(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

PHIDP_PREPARSED_DATA nativePreparsed(PreparsedData data) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(data);
}

// Our records and the Windows ones share their field names, so one copy serves both ways.
template <typename From, typename To> void copyGuid(const From& from, To& to) {
    to.Data1 = from.Data1;
    to.Data2 = from.Data2;
    to.Data3 = from.Data3;
    std::copy(std::begin(from.Data4), std::end(from.Data4), std::begin(to.Data4));
}

template <typename From, typename To> void copyAttributes(const From& from, To& to) {
    to.Size = from.Size;
    to.VendorID = from.VendorID;
    to.ProductID = from.ProductID;
    to.VersionNumber = from.VersionNumber;
}

template <typename From, typename To> void copyCaps(const From& from, To& to) {
    to.Usage = from.Usage;
    to.UsagePage = from.UsagePage;
    to.InputReportByteLength = from.InputReportByteLength;
    to.OutputReportByteLength = from.OutputReportByteLength;
    to.FeatureReportByteLength = from.FeatureReportByteLength;
    std::copy(std::begin(from.Reserved), std::end(from.Reserved), std::begin(to.Reserved));
    to.NumberLinkCollectionNodes = from.NumberLinkCollectionNodes;
    to.NumberInputButtonCaps = from.NumberInputButtonCaps;
    to.NumberInputValueCaps = from.NumberInputValueCaps;
    to.NumberInputDataIndices = from.NumberInputDataIndices;
    to.NumberOutputButtonCaps = from.NumberOutputButtonCaps;
    to.NumberOutputValueCaps = from.NumberOutputValueCaps;
    to.NumberOutputDataIndices = from.NumberOutputDataIndices;
    to.NumberFeatureButtonCaps = from.NumberFeatureButtonCaps;
    to.NumberFeatureValueCaps = from.NumberFeatureValueCaps;
    to.NumberFeatureDataIndices = from.NumberFeatureDataIndices;
}

GUID native(const Guid& guid) {
    GUID result{};
    copyGuid(guid, result);
    return result;
}

// The caller's security attributes in storage, or none when the caller gives none.
LPSECURITY_ATTRIBUTES native(const SecurityAttributes* attributes, SECURITY_ATTRIBUTES& storage) {
    if (attributes == nullptr)
        return nullptr;
    storage.nLength = attributes->nLength;
    storage.lpSecurityDescriptor = attributes->lpSecurityDescriptor;
    storage.bInheritHandle = attributes->bInheritHandle;
    return &storage;
}

// Windows writes a DWORD; ours is a std::uint32_t of the same size but another type.
class DwordOut {
public:
    explicit DwordOut(std::uint32_t* target) : target_(target), value_(target ? *target : 0) {}
    ~DwordOut() {
        if (target_ != nullptr)
            *target_ = value_;
    }
    DwordOut(const DwordOut&) = delete;
    DwordOut& operator=(const DwordOut&) = delete;
    DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

private:
    std::uint32_t* target_;
    DWORD value_;
};

// Opens without access rights, which even an interface held exclusively allows.
bool canOpen(const std::string& path) {
    const HANDLE device = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(device);
    return true;
}

// What a failed call's GetLastError means for the caller. Windows gives no user a permission
// on a HID board: ERROR_ACCESS_DENIED and ERROR_SHARING_VIOLATION come from interfaces that the
// system or another program holds exclusively (keyboards and mice always are), so they are not
// "permission denied".
PlatformError::Kind kindOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PlatformError::Kind::NotFound;
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return PlatformError::Kind::Gone;
    case ERROR_GEN_FAILURE:
    case ERROR_CRC:
    case ERROR_SEM_TIMEOUT:
    case ERROR_INVALID_FUNCTION:
        return PlatformError::Kind::Refused;
    default:
        return PlatformError::Kind::Other;
    }
}

// The multi-string as SetupAPI gave it, cut at its end (two zero bytes) and ended properly.
std::string multiString(const std::vector<BYTE>& bytes, DWORD size) {
    std::string value(reinterpret_cast<const char*>(bytes.data()),
                      std::min<std::size_t>(size, bytes.size()));
    const std::size_t end = value.find(std::string(2, '\0'));
    if (end != std::string::npos)
        value.resize(end);
    while (!value.empty() && value.back() == '\0')
        value.pop_back();
    return value.empty() ? value : value + std::string(2, '\0');
}

std::string hardwareIdsOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &size);
    if (size == 0 || size > 0x10000)
        return {};
    std::vector<BYTE> ids(std::size_t{size} + 2, 0);
    if (!::SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, ids.data(),
                                             size, nullptr) ||
        type != REG_MULTI_SZ)
        return {};
    return multiString(ids, size);
}

constexpr char kWatchClass[] = "Tessary32InterfaceWatch";

} // namespace

// Hears of HID interfaces arriving and leaving: a message-only window on a thread of its own,
// registered for the HID interface class, so that the notifications come whatever the thread
// that uses the platform does (the command line runs no message loop).
class InterfaceWatch {
public:
    InterfaceWatch() {
        ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (ready_ == nullptr)
            return;
        thread_ = ::CreateThread(nullptr, 0, &InterfaceWatch::run, this, 0, nullptr);
        if (thread_ != nullptr)
            ::WaitForSingleObject(ready_, INFINITE);
    }
    ~InterfaceWatch() {
        if (window_ != nullptr)
            ::PostMessageA(window_, WM_CLOSE, 0, 0);
        if (thread_ != nullptr) {
            ::WaitForSingleObject(thread_, INFINITE);
            ::CloseHandle(thread_);
        }
        if (ready_ != nullptr)
            ::CloseHandle(ready_);
    }
    InterfaceWatch(const InterfaceWatch&) = delete;
    InterfaceWatch& operator=(const InterfaceWatch&) = delete;

    bool listening() const { return window_ != nullptr; }
    std::uint64_t generation() const { return generation_.load(); }

private:
    static DWORD WINAPI run(void* self) {
        static_cast<InterfaceWatch*>(self)->listen();
        return 0;
    }

    void listen() {
        const HINSTANCE instance = ::GetModuleHandleA(nullptr);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &InterfaceWatch::windowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWatchClass;
        ::RegisterClassA(&windowClass); // fails harmlessly when another watch registered it
        HWND window = ::CreateWindowExA(0, kWatchClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance, nullptr);
        HDEVNOTIFY notification = nullptr;
        if (window != nullptr) {
            ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_A filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            ::HidD_GetHidGuid(&filter.dbcc_classguid);
            notification =
                ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            if (notification == nullptr) {
                ::DestroyWindow(window);
                window = nullptr;
            }
        }
        window_ = window;
        ::SetEvent(ready_);
        if (window == nullptr)
            return;
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&message);
        ::UnregisterDeviceNotification(notification);
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) {
                auto* watch =
                    reinterpret_cast<InterfaceWatch*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
                if (watch != nullptr)
                    ++watch->generation_;
            }
            return TRUE;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
        }
    }

    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr; // written by the watch's thread before ready_ is set
    std::atomic<std::uint64_t> generation_{0};
};

Win32Platform::Win32Platform() = default;
Win32Platform::~Win32Platform() = default;

bool Win32Platform::hearsOfInterfaces() const {
    return watch_ != nullptr && watch_->listening();
}

std::uint64_t Win32Platform::InterfaceGeneration() {
    if (watch_ == nullptr)
        watch_ = std::make_unique<InterfaceWatch>();
    if (!watch_->listening())
        return ApiDeclarations::InterfaceGeneration();
    return watch_->generation();
}

// Keeps the reason of a failed call, with the device it concerned.
Bool32 Win32Platform::noted(Bool32 result, Handle device) {
    if (result == 0)
        noteFailure(pathOf(device));
    return result;
}

// A board that refuses a request and one that was pulled out can give the same code
// (ERROR_GEN_FAILURE; under Wine also ERROR_ACCESS_DENIED while the removal is under way): only
// the one pulled out can no longer be opened.
void Win32Platform::noteFailure(std::string device) {
    const DWORD code = ::GetLastError();
    PlatformError::Kind kind = kindOf(code);
    const bool unclear = kind == PlatformError::Kind::Refused || kind == PlatformError::Kind::Other;
    const bool readInFlight =
        code == ERROR_IO_PENDING || code == ERROR_IO_INCOMPLETE || code == ERROR_OPERATION_ABORTED;
    if (unclear && !readInFlight && !device.empty() && !canOpen(device))
        kind = PlatformError::Kind::Gone;
    setLastError({kind, static_cast<int>(code), std::move(device)});
}

std::string Win32Platform::pathOf(Handle device) const {
    const auto found = paths_.find(device);
    return found == paths_.end() ? std::string() : found->second;
}

void Win32Platform::HidD_GetHidGuid(Guid& hidGuid) {
    GUID guid{};
    ::HidD_GetHidGuid(&guid);
    copyGuid(guid, hidGuid);
}

// The generation is taken before the walk, so that an interface that arrives during it makes
// the next listing walk again.
Handle Win32Platform::SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) {
    const std::uint64_t generation = InterfaceGeneration();
    const bool sameQuestion = classGuid == listedGuid_ && flags == listedFlags_;
    if (!listedOnce_ || !sameQuestion || generation != listedAt_) {
        if (!walkInterfaces(classGuid, flags))
            return kInvalidHandle;
        listedOnce_ = true;
        listedAt_ = generation;
        listedGuid_ = classGuid;
        listedFlags_ = flags;
    }
    std::vector<std::string> paths;
    paths.reserve(listed_.size());
    for (const Listed& interface : listed_)
        paths.push_back(interface.path);
    return infoSets_.create(std::move(paths));
}

bool Win32Platform::walkInterfaces(const Guid& classGuid, std::uint32_t flags) {
    const GUID guid = native(classGuid);
    const HDEVINFO set = ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    ++interfaceWalks_;
    listed_.clear();
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data);
         ++index) {
        DWORD needed = 0;
        ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || needed > 0x10000)
            continue;
        std::vector<BYTE> storage(std::size_t{needed} + 1, 0);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, &device))
            continue;
        listed_.push_back(Listed{detail->DevicePath, hardwareIdsOf(set, device)});
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return true;
}

Bool32 Win32Platform::SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                                  std::uint32_t memberIndex,
                                                  DeviceInterfaceData& interfaceData) {
    return infoSets_.enumerate(deviceInfoSet, memberIndex, interfaceData, classGuid);
}

Bool32 Win32Platform::SetupDiGetDeviceInterfaceDetailA(
    Handle deviceInfoSet, const DeviceInterfaceData& interfaceData, std::uint8_t* detail,
    std::uint32_t detailSize, std::uint32_t* requiredSize, DeviceInfoData* deviceInfoData) {
    return infoSets_.detail(deviceInfoSet, interfaceData, detail, detailSize, requiredSize,
                            deviceInfoData);
}

Bool32 Win32Platform::SetupDiGetDeviceRegistryPropertyA(
    Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
    std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
    std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) {
    const std::string* path = infoSets_.pathOf(deviceInfoSet, deviceInfoData);
    if (path == nullptr || property != SPDRP_HARDWAREID)
        return 0;
    const auto found = std::find_if(listed_.begin(), listed_.end(),
                                    [&](const Listed& listed) { return listed.path == *path; });
    if (found == listed_.end() || found->hardwareIds.empty())
        return 0;
    return putRegistryProperty(found->hardwareIds, propertyRegDataType, propertyBuffer,
                               propertyBufferSize, requiredSize);
}

Bool32 Win32Platform::SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) {
    return infoSets_.destroy(deviceInfoSet);
}

Handle Win32Platform::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                                  std::uint32_t creationDisposition, std::uint32_t flags) {
    SECURITY_ATTRIBUTES storage{};
    const Handle device = portableHandle(::CreateFileA(path.c_str(), desiredAccess, shareMode,
                                                       native(securityAttributes, storage),
                                                       creationDisposition, flags, nullptr));
    ++opensByPath_[path];
    if (device == kInvalidHandle)
        noteFailure(path);
    else
        paths_[device] = path;
    return device;
}

Bool32 Win32Platform::CloseHandle(Handle handle) {
    const Bool32 result = noted(::CloseHandle(native(handle)), handle);
    paths_.erase(handle);
    return result;
}

Handle Win32Platform::CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                                   Bool32 initialState, const char* name) {
    SECURITY_ATTRIBUTES storage{};
    return portableHandle(
        ::CreateEventA(native(securityAttributes, storage), manualReset, initialState, name));
}

Bool32 Win32Platform::ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                               std::uint32_t* bytesRead, Overlapped* overlapped) {
    DwordOut read(bytesRead);
    return noted(::ReadFile(native(handle), buffer, bytesToRead, read.get(),
                            reinterpret_cast<LPOVERLAPPED>(overlapped)),
                 handle);
}

Bool32 Win32Platform::GetOverlappedResult(Handle handle, Overlapped* overlapped,
                                          std::uint32_t* bytesTransferred, Bool32 wait) {
    DWORD transferred = 0; // the call wants somewhere to write it
    const BOOL done = ::GetOverlappedResult(
        native(handle), reinterpret_cast<LPOVERLAPPED>(overlapped), &transferred, wait);
    if (bytesTransferred != nullptr)
        *bytesTransferred = transferred;
    return noted(done, handle);
}

// A cancel that finds nothing in flight is no failure of the device: not noted.
Bool32 Win32Platform::CancelIoEx(Handle handle, Overlapped* overlapped) {
    return ::CancelIoEx(native(handle), reinterpret_cast<LPOVERLAPPED>(overlapped));
}

Bool32 Win32Platform::HidD_GetAttributes(Handle device, HiddAttributes& attributes) {
    HIDD_ATTRIBUTES record{};
    copyAttributes(attributes, record);
    const Bool32 result = noted(::HidD_GetAttributes(native(device), &record), device);
    copyAttributes(record, attributes);
    return result;
}

Bool32 Win32Platform::HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                                 std::uint32_t bufferLength) {
    return noted(::HidD_GetSerialNumberString(native(device), buffer, bufferLength), device);
}

Bool32 Win32Platform::HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                                 std::uint32_t bufferLength) {
    return noted(::HidD_GetManufacturerString(native(device), buffer, bufferLength), device);
}

Bool32 Win32Platform::HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                            std::uint32_t bufferLength) {
    return noted(::HidD_GetProductString(native(device), buffer, bufferLength), device);
}

Bool32 Win32Platform::HidD_GetPreparsedData(Handle device, PreparsedData& preparsedData) {
    PHIDP_PREPARSED_DATA data = nativePreparsed(preparsedData);
    const Bool32 result = noted(::HidD_GetPreparsedData(native(device), &data), device);
    preparsedData = reinterpret_cast<PreparsedData>(data);
    return result;
}

Bool32 Win32Platform::HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) {
    HIDP_CAPS caps{};
    copyCaps(capabilities, caps);
    const NTSTATUS status = ::HidP_GetCaps(nativePreparsed(preparsedData), &caps);
    copyCaps(caps, capabilities);
    return status;
}

Bool32 Win32Platform::HidD_FreePreparsedData(PreparsedData preparsedData) {
    return ::HidD_FreePreparsedData(nativePreparsed(preparsedData));
}

Bool32 Win32Platform::HidD_SetFeature(Handle device, std::uint8_t* report,
                                      std::uint32_t reportLength) {
    return noted(::HidD_SetFeature(native(device), report, reportLength), device);
}

Bool32 Win32Platform::HidD_GetFeature(Handle device, std::uint8_t* report,
                                      std::uint32_t reportLength) {
    return noted(::HidD_GetFeature(native(device), report, reportLength), device);
}

Bool32 Win32Platform::HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                                     std::uint16_t linkCollection, std::uint16_t* usageList,
                                     std::uint32_t* usageLength, PreparsedData preparsedData,
                                     std::uint8_t* report, std::uint32_t reportLength) {
    ULONG length = usageLength != nullptr ? *usageLength : 0;
    const NTSTATUS status = ::HidP_GetUsages(
        static_cast<HIDP_REPORT_TYPE>(reportType), usagePage, linkCollection, usageList, &length,
        nativePreparsed(preparsedData), reinterpret_cast<PCHAR>(report), reportLength);
    if (usageLength != nullptr)
        *usageLength = length;
    return status;
}

std::uint32_t Win32Platform::HidP_MaxUsageListLength(HidpReportType reportType,
                                                     std::uint16_t usagePage,
                                                     PreparsedData preparsedData) {
    return ::HidP_MaxUsageListLength(static_cast<HIDP_REPORT_TYPE>(reportType), usagePage,
                                     nativePreparsed(preparsedData));
}

InputWait Win32Platform::readFailed(unsigned long error) {
    const bool gone = error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE ||
                      error == ERROR_BAD_COMMAND || error == ERROR_FILE_NOT_FOUND ||
                      error == ERROR_OPERATION_ABORTED;
    setLastError({gone ? PlatformError::Kind::Gone : PlatformError::Kind::Other,
                  static_cast<int>(error),
                  {}});
    return InputWait::Failed;
}

InputWait Win32Platform::WaitForInputReport(Handle handle, std::uint8_t* buffer,
                                            std::uint32_t bufferLength, std::uint32_t& bytesRead,
                                            std::uint32_t timeoutMs) {
    bytesRead = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return readFailed(::GetLastError());
    DWORD read = 0;
    bool done = ::ReadFile(native(handle), buffer, bufferLength, &read, &overlapped) != 0;
    unsigned long error = done ? ERROR_SUCCESS : ::GetLastError();
    bool timedOut = false;
    if (!done && error == ERROR_IO_PENDING) {
        if (::WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0) {
            timedOut = true;
            ::CancelIoEx(native(handle), &overlapped);
        }
        // Waits for the cancel to finish; a report that came in meanwhile is still taken.
        done = ::GetOverlappedResult(native(handle), &overlapped, &read, TRUE) != 0;
        error = done ? ERROR_SUCCESS : ::GetLastError();
    }
    ::CloseHandle(overlapped.hEvent);
    if (done) {
        bytesRead = read;
        return InputWait::Report;
    }
    if (timedOut && error == ERROR_OPERATION_ABORTED)
        return InputWait::Timeout;
    return readFailed(error);
}

} // namespace hid
