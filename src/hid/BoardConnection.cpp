#include "BoardConnection.h"

#include "BoardIdentity.h"
#include "HidStrings.h"

#include <cstring>
#include <vector>

namespace hid {

namespace {
constexpr std::uint32_t kAttributesSize = 12; // HIDD_ATTRIBUTES, the same in every process
// SECURITY_ATTRIBUTES holds a pointer: 12 bytes in a 32-bit process, 24 in a 64-bit one.
constexpr auto kSecurityAttributesSize = static_cast<std::uint32_t>(sizeof(SecurityAttributes));
} // namespace

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
        if (passOver(devicePath))
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
                                                      &detailLength);
    // One byte more than asked for, so the path always ends in a zero byte.
    std::vector<std::uint8_t> detail(std::size_t{detailLength} + 1, 0);
    if (detail.size() >= kDetailPathOffset + 1)
        std::memcpy(detail.data(), &kDetailDataCbSize, sizeof kDetailDataCbSize);
    std::uint32_t required = 0;
    lastResult = api.SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, detail.data(),
                                                      detailLength, &required);
    devicePath.clear();
    for (std::size_t i = kDetailPathOffset; i < detail.size() && detail[i] != 0; ++i)
        devicePath.push_back(static_cast<char>(detail[i]));
    return true;
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

void BoardConnection::closeBoard() {
    lastResult = api.CloseHandle(featureHandle);
    lastResult = api.CloseHandle(readHandle);
    featureHandle = kInvalidHandle;
    readHandle = kInvalidHandle;
}

} // namespace hid
