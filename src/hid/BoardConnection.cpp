#include "BoardConnection.h"

#include "BoardIdentity.h"
#include "HidStrings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace hid {

namespace {
constexpr std::uint32_t kAttributesSize = 12; // HIDD_ATTRIBUTES, the same in every process
// SECURITY_ATTRIBUTES holds a pointer: 12 bytes in a 32-bit process, 24 in a 64-bit one.
constexpr auto kSecurityAttributesSize = static_cast<std::uint32_t>(sizeof(SecurityAttributes));
// The presence read never gets less than 65 bytes, whatever length the board gives.
constexpr std::size_t kPresenceReportLength = 65;
constexpr std::uint32_t kHardwareIdsRoom = 512;

int hexDigit(char c) {
    const int upper = std::toupper(static_cast<unsigned char>(c));
    if (!std::isxdigit(upper))
        return -1;
    return upper <= '9' ? upper - '0' : upper - 'A' + 10;
}

// The four hex digits after the first key in id, upper or lower case.
std::optional<std::uint16_t> hex4After(std::string_view id, std::string_view key) {
    for (std::size_t at = 0; at + key.size() + 4 <= id.size(); ++at) {
        const bool match = std::equal(
            key.begin(), key.end(), id.begin() + static_cast<std::ptrdiff_t>(at),
            [](char k, char c) { return std::toupper(static_cast<unsigned char>(c)) == k; });
        if (!match)
            continue;
        unsigned value = 0;
        for (std::size_t i = at + key.size(); i < at + key.size() + 4; ++i) {
            const int digit = hexDigit(id[i]);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return static_cast<std::uint16_t>(value);
    }
    return std::nullopt;
}

// The vendor and product that the first hardware ID of the form ...VID_vvvv&PID_pppp... names.
std::optional<HiddAttributes> identityIn(const std::vector<std::uint8_t>& multiSz) {
    const auto* begin = reinterpret_cast<const char*>(multiSz.data());
    std::string_view rest(begin, multiSz.size());
    while (!rest.empty() && rest.front() != '\0') {
        const std::string_view id = rest.substr(0, rest.find('\0'));
        const auto vendor = hex4After(id, "VID_");
        const auto product = hex4After(id, "PID_");
        if (vendor && product) {
            HiddAttributes identity;
            identity.VendorID = *vendor;
            identity.ProductID = *product;
            return identity;
        }
        rest.remove_prefix(std::min(rest.size(), id.size() + 1));
    }
    return std::nullopt;
}

bool stillInFlight(const PlatformError& error) {
    return error.code == kErrorIoPending || error.code == kErrorIoIncomplete;
}
} // namespace

BoardConnection::BoardConnection(ApiDeclarations& api) : api(api) {}

BoardConnection::~BoardConnection() {
    endPresenceRead();
}

void BoardConnection::walkInterfaces(const PerBoardAction& perBoard) {
    walkInterfaces(perBoard, [](const std::string&) { return false; });
}

void BoardConnection::walkInterfaces(
    const PerBoardAction& perBoard,
    const std::function<bool(const std::string& devicePath)>& passOver) {
    securityAttributes = {kSecurityAttributesSize, nullptr, 1};
    serialBuffer_.fill(0);
    deniedOpens.clear();
    Guid hidGuid;
    api.HidD_GetHidGuid(hidGuid);
    const Handle deviceInfoSet =
        api.SetupDiGetClassDevsA(hidGuid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);

    for (std::uint32_t index = 0;; ++index) {
        if (!enumerateNext(deviceInfoSet, hidGuid, index)) {
            enumerationDone = true;
            break;
        }
        if (passOver(devicePath) || !mayBeBoard(deviceInfoSet))
            continue;
        openFeatureHandle();
        readAttributes();
        const bool board = lastResult != 0 && isBoard(deviceAttributes);
        if (board && perBoard() == AfterBoard::KeepOpenAndStop)
            break;
        lastResult = api.CloseHandle(featureHandle);
        featureHandle = kInvalidHandle;
    }
    lastResult = api.SetupDiDestroyDeviceInfoList(deviceInfoSet);
}

// Finds the interface at index and takes its device path from the detail record.
bool BoardConnection::enumerateNext(Handle deviceInfoSet, const Guid& hidGuid,
                                    std::uint32_t index) {
    DeviceInterfaceData interfaceData;
    interfaceData.cbSize = kInterfaceDataCbSize;
    lastResult = api.SetupDiEnumDeviceInterfaces(deviceInfoSet, hidGuid, index, interfaceData);
    if (lastResult == 0)
        return false;

    std::uint32_t detailLength = 0;
    lastResult = api.SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, nullptr, 0,
                                                      &detailLength, nullptr);
    // One byte more than asked for, so the path always ends in a zero byte.
    std::vector<std::uint8_t> detail(std::size_t{detailLength} + 1, 0);
    if (detail.size() >= kDetailPathOffset + 1)
        std::memcpy(detail.data(), &kDetailDataCbSize, sizeof kDetailDataCbSize);
    std::uint32_t required = 0;
    deviceInfo_ = DeviceInfoData{};
    deviceInfo_.cbSize = kDeviceInfoDataCbSize;
    lastResult = api.SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, detail.data(),
                                                      detailLength, &required, &deviceInfo_);
    devicePath.clear();
    for (std::size_t i = kDetailPathOffset; i < detail.size() && detail[i] != 0; ++i)
        devicePath.push_back(static_cast<char>(detail[i]));
    return true;
}

// False only when the interface's hardware IDs name a vendor and product outside the family;
// an interface whose IDs cannot be read or name none is opened and judged by its attributes.
bool BoardConnection::mayBeBoard(Handle deviceInfoSet) {
    hardwareIds_.assign(kHardwareIdsRoom, 0);
    std::uint32_t type = 0;
    std::uint32_t required = 0;
    lastResult =
        api.SetupDiGetDeviceRegistryPropertyA(deviceInfoSet, deviceInfo_, SPDRP_HARDWAREID, &type,
                                              hardwareIds_.data(), kHardwareIdsRoom - 1, &required);
    if (lastResult == 0 && required >= kHardwareIdsRoom && required < kHardwareIdsRoom * 64) {
        hardwareIds_.assign(std::size_t{required} + 1, 0);
        lastResult =
            api.SetupDiGetDeviceRegistryPropertyA(deviceInfoSet, deviceInfo_, SPDRP_HARDWAREID,
                                                  &type, hardwareIds_.data(), required, &required);
    }
    if (lastResult == 0 || type != REG_MULTI_SZ)
        return true;
    const std::optional<HiddAttributes> identity = identityIn(hardwareIds_);
    return !identity || isBoard(*identity);
}

Handle BoardConnection::openDevicePath(std::uint32_t flags) {
    return api.CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &securityAttributes, OPEN_EXISTING,
                           flags);
}

void BoardConnection::openFeatureHandle() {
    featureHandle = openDevicePath(0);
    const PlatformError& error = api.lastError();
    if (featureHandle == kInvalidHandle && error.kind == PlatformError::Kind::PermissionDenied &&
        error.device == devicePath)
        deniedOpens.push_back(error);
}

// Clears the record first, so that an interface whose query fails is never judged by the
// attributes of the interface before it.
void BoardConnection::readAttributes() {
    deviceAttributes = HiddAttributes{};
    deviceAttributes.Size = kAttributesSize;
    lastResult = api.HidD_GetAttributes(featureHandle, deviceAttributes);
}

std::optional<std::string> BoardConnection::serialText() {
    lastResult =
        api.HidD_GetSerialNumberString(featureHandle, serialBuffer_.data(), kSerialQueryLength);
    if (lastResult == 0)
        return std::nullopt;
    return lowByteText(serialBuffer_.data(), serialBuffer_.size());
}

bool BoardConnection::FindTheHid(const std::string& wantedSerial) {
    return FindTheHid([&](const std::string& serial) { return serial == wantedSerial; });
}

bool BoardConnection::FindTheHid(const std::function<bool(const std::string& serial)>& wanted) {
    enumerationDone = false;
    deviceAttached = false;
    walkInterfaces([&] {
        const std::optional<std::string> serial = serialText();
        if (serial && wanted(*serial)) {
            deviceAttached = true;
            return AfterBoard::KeepOpenAndStop;
        }
        return AfterBoard::CloseAndContinue;
    });
    if (deviceAttached && !QueryCapabilities()) {
        lastResult = api.CloseHandle(featureHandle);
        featureHandle = kInvalidHandle;
        deviceAttached = false;
    }
    if (deviceAttached) {
        readHandle = openDevicePath(FILE_FLAG_OVERLAPPED);
        CreateReadEvent();
    }
    return deviceAttached;
}

bool BoardConnection::QueryCapabilities() {
    capabilities = HidpCaps{};
    PreparsedData preparsedData = 0;
    lastResult = api.HidD_GetPreparsedData(featureHandle, preparsedData);
    if (lastResult == 0)
        return false;
    lastResult = api.HidP_GetCaps(preparsedData, capabilities);
    const bool read = lastResult == HIDP_STATUS_SUCCESS;
    if (!read)
        capabilities = HidpCaps{};
    lastResult = api.HidD_FreePreparsedData(preparsedData);
    return read;
}

void BoardConnection::CreateReadEvent() {
    if (readEvent == 0)
        readEvent = api.CreateEventA(&securityAttributes, 1, 1, "");
    readOverlapped.Offset = 0;
    readOverlapped.OffsetHigh = 0;
    readOverlapped.hEvent = readEvent;
}

bool BoardConnection::checkPresence() {
    if (presenceReadInFlight_) {
        std::uint32_t bytesRead = 0;
        lastResult = api.GetOverlappedResult(readHandle, &readOverlapped, &bytesRead, 0);
        if (lastResult == 0 && stillInFlight(api.lastError()))
            return true;
        presenceReadInFlight_ = false;
        if (lastResult == 0)
            return false;
    }
    return startPresenceRead();
}

// The buffer is the system's while a read is in flight, so it is sized and cleared only here.
bool BoardConnection::startPresenceRead() {
    const std::size_t length = capabilities.InputReportByteLength;
    presenceBuffer_.assign(std::max(length, kPresenceReportLength), 0);
    std::uint32_t bytesRead = 0;
    lastResult = api.ReadFile(readHandle, presenceBuffer_.data(),
                              static_cast<std::uint32_t>(length), &bytesRead, &readOverlapped);
    if (lastResult != 0)
        return true;
    presenceReadInFlight_ = api.lastError().code == kErrorIoPending;
    return presenceReadInFlight_;
}

void BoardConnection::endPresenceRead() {
    if (!presenceReadInFlight_)
        return;
    lastResult = api.CancelIoEx(readHandle, &readOverlapped);
    std::uint32_t bytesRead = 0;
    lastResult = api.GetOverlappedResult(readHandle, &readOverlapped, &bytesRead, 1);
    presenceReadInFlight_ = false;
}

void BoardConnection::closeBoard() {
    endPresenceRead();
    lastResult = api.CloseHandle(featureHandle);
    lastResult = api.CloseHandle(readHandle);
    featureHandle = kInvalidHandle;
    readHandle = kInvalidHandle;
}

} // namespace hid
