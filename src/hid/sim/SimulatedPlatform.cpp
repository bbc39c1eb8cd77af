#include "SimulatedPlatform.h"

#include "HidStrings.h"
#include "UsageQueries.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace hid::sim {

namespace {

constexpr Guid kHidGuid{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr char kPathPrefix[] = "sim:hid#";
constexpr int kErrorInvalidParameter = 87; // ERROR_INVALID_PARAMETER: no such read

std::vector<std::uint8_t> bytesOf(const std::uint8_t* data, std::size_t length) {
    return {data, data + length};
}

} // namespace

const char* opName(Op op) {
    static constexpr const char* names[] = {
        "HidD_GetHidGuid",
        "SetupDiGetClassDevsA",
        "SetupDiEnumDeviceInterfaces",
        "SetupDiGetDeviceInterfaceDetailA",
        "SetupDiDestroyDeviceInfoList",
        "CreateFileA",
        "CloseHandle",
        "CreateEventA",
        "ReadFile",
        "HidD_GetAttributes",
        "HidD_GetSerialNumberString",
        "HidD_GetManufacturerString",
        "HidD_GetProductString",
        "HidD_GetPreparsedData",
        "HidP_GetCaps",
        "HidD_FreePreparsedData",
        "HidD_SetFeature",
        "HidD_GetFeature",
        "HidP_GetUsages",
        "HidP_MaxUsageListLength",
        "WaitForInputReport",
        "GetOverlappedResult",
        "CancelIoEx",
        "SetupDiGetDeviceRegistryPropertyA",
    };
    return names[static_cast<int>(op)];
}

// ---- The bench: interfaces, plugging, failures ----

DeviceId SimulatedPlatform::add(InterfaceSpec spec) {
    interfaces_.push_back(Interface{std::move(spec), {}, true, 1, true, 0, {}});
    ++interfaceGeneration_;
    return static_cast<DeviceId>(interfaces_.size() - 1);
}

void SimulatedPlatform::unplug(DeviceId device) {
    Interface& interface = interfaces_.at(device);
    if (interface.plugged)
        ++interfaceGeneration_;
    interface.plugged = false;
}

void SimulatedPlatform::plug(DeviceId device) {
    Interface& interface = interfaces_.at(device);
    if (!interface.plugged) {
        interface.plugged = true;
        ++interface.connection;
        ++interfaceGeneration_;
    }
}

bool SimulatedPlatform::isPlugged(DeviceId device) const {
    return interfaces_.at(device).plugged;
}

std::vector<DeviceId> SimulatedPlatform::devices() const {
    std::vector<DeviceId> all(interfaces_.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<DeviceId>(i);
    return all;
}

InterfaceSpec& SimulatedPlatform::spec(DeviceId device) {
    return interfaces_.at(device).spec;
}

SimulatedFirmware& SimulatedPlatform::firmware(DeviceId device) {
    return interfaces_.at(device).firmware;
}

std::string SimulatedPlatform::pathOf(DeviceId device) const {
    ++pathsBuilt_;
    return kPathPrefix + std::to_string(device);
}

// The number in the path names the device, so an open costs the same whatever their number.
DeviceId SimulatedPlatform::deviceAt(const std::string& path) const {
    const std::string_view prefix = kPathPrefix;
    if (!path.starts_with(prefix))
        return kNoDevice;
    DeviceId device = kNoDevice;
    const char* end = path.data() + path.size();
    const auto [last, error] = std::from_chars(path.data() + prefix.size(), end, device);
    if (error != std::errc{} || last != end || device < 0 ||
        static_cast<std::size_t>(device) >= interfaces_.size() || pathOf(device) != path)
        return kNoDevice;
    return device;
}

void SimulatedPlatform::setInputReports(DeviceId device, InputReports reports) {
    setInputReady(device, reports == InputReports::Streaming);
}

void SimulatedPlatform::setInputReady(DeviceId device, bool ready) {
    interfaces_.at(device).inputReady = ready;
}

namespace {

InputSet inputBit(int input) {
    if (input < 1 || input > kBoardInputs)
        throw std::out_of_range("no input B" + std::to_string(input));
    return InputSet{1} << (input - 1);
}

} // namespace

void SimulatedPlatform::press(DeviceId device, int input) {
    setPressed(device, interfaces_.at(device).pressed | inputBit(input));
}

void SimulatedPlatform::release(DeviceId device, int input) {
    setPressed(device, interfaces_.at(device).pressed & ~inputBit(input));
}

InputSet SimulatedPlatform::pressedInputs(DeviceId device) const {
    return interfaces_.at(device).pressed;
}

void SimulatedPlatform::setPressed(DeviceId device, InputSet pressed) {
    Interface& interface = interfaces_.at(device);
    if (!interface.plugged || interface.pressed == pressed)
        return;
    interface.pressed = pressed;
    sendInputReport(device, currentReport(interface));
}

// The input report for the inputs pressed now, made again only when they or the descriptor
// have changed: parsing the descriptor would otherwise be most of every read's work.
const std::vector<std::uint8_t>& SimulatedPlatform::currentReport(Interface& board) {
    auto& made = board.report;
    if (made.bytes.empty() || made.pressed != board.pressed ||
        made.descriptor != board.spec.reportDescriptor) {
        made.descriptor = board.spec.reportDescriptor;
        made.pressed = board.pressed;
        made.bytes = inputReport(made.descriptor, made.pressed);
    }
    return made.bytes;
}

void SimulatedPlatform::sendInputReport(DeviceId device, const std::vector<std::uint8_t>& report) {
    const Interface& interface = interfaces_.at(device);
    if (!interface.plugged)
        return;
    for (const auto& [handle, open] : handles_) {
        if (open.device != device || open.connection != interface.connection)
            continue;
        auto& queue = inputQueues_[handle];
        if (queue.size() < kInputQueueLength)
            queue.push_back(report);
    }
}

void SimulatedPlatform::setFailing(Op op, bool failing, DeviceId device) {
    if (failing)
        failing_[{op, device}] = PlatformError::Kind::Refused;
    else
        failing_.erase({op, device});
}

void SimulatedPlatform::failWith(Op op, PlatformError::Kind reason, DeviceId device) {
    failing_[{op, device}] = reason;
}

std::vector<Call> SimulatedPlatform::callsOf(Op op) const {
    std::vector<Call> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [op](const Call& call) { return call.op == op; });
    return matching;
}

bool SimulatedPlatform::begin(Op op, DeviceId device, Handle handle) {
    callHandle_ = handle;
    if (beforeCall)
        beforeCall(op, device);
    injected_.reset();
    for (const DeviceId which : {device, kNoDevice})
        if (const auto found = failing_.find({op, which}); found != failing_.end() && !injected_)
            injected_ = found->second;
    return injected_.has_value();
}

// A failed call leaves its reason: the one injected, else what the bench's state says.
Bool32 SimulatedPlatform::log(Op op, DeviceId device, Bool32 result, std::uint32_t length,
                              std::vector<std::uint8_t> bytes) {
    if (!realTime_)
        calls_.push_back(Call{op, device, callHandle_, length, std::move(bytes), result});
    if (result == 0) {
        PlatformError error;
        error.kind = injected_                      ? *injected_
                     : device == kNoDevice          ? PlatformError::Kind::NotFound
                     : !interfaces_[device].plugged ? PlatformError::Kind::Gone
                                                    : PlatformError::Kind::Refused;
        if (device != kNoDevice)
            error.device = pathOf(device);
        setLastError(std::move(error));
    }
    return result;
}

DeviceId SimulatedPlatform::deviceOf(Handle handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? kNoDevice : found->second.device;
}

SimulatedPlatform::Interface* SimulatedPlatform::live(Handle handle, DeviceId& device) {
    device = deviceOf(handle);
    if (device == kNoDevice)
        return nullptr;
    Interface& interface = interfaces_[device];
    if (!interface.plugged || interface.connection != handles_.at(handle).connection)
        return nullptr;
    return &interface;
}

// ---- SetupAPI ----

void SimulatedPlatform::HidD_GetHidGuid(Guid& hidGuid) {
    begin(Op::HidD_GetHidGuid, kNoDevice);
    hidGuid = kHidGuid;
    log(Op::HidD_GetHidGuid, kNoDevice, 1);
}

Handle SimulatedPlatform::SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) {
    const bool fail = begin(Op::SetupDiGetClassDevsA, kNoDevice) || classGuid != kHidGuid ||
                      flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (fail) {
        log(Op::SetupDiGetClassDevsA, kNoDevice, 0, flags);
        return kInvalidHandle;
    }
    std::vector<std::string> present;
    for (const DeviceId device : devices())
        if (interfaces_[device].plugged)
            present.push_back(pathOf(device));
    log(Op::SetupDiGetClassDevsA, kNoDevice, 1, flags);
    return infoSets_.create(std::move(present));
}

Bool32 SimulatedPlatform::SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                                      std::uint32_t memberIndex,
                                                      DeviceInterfaceData& interfaceData) {
    if (begin(Op::SetupDiEnumDeviceInterfaces, kNoDevice))
        return log(Op::SetupDiEnumDeviceInterfaces, kNoDevice, 0, memberIndex);
    return log(Op::SetupDiEnumDeviceInterfaces, kNoDevice,
               infoSets_.enumerate(deviceInfoSet, memberIndex, interfaceData, classGuid),
               memberIndex);
}

Bool32 SimulatedPlatform::SetupDiGetDeviceInterfaceDetailA(
    Handle deviceInfoSet, const DeviceInterfaceData& interfaceData, std::uint8_t* detail,
    std::uint32_t detailSize, std::uint32_t* requiredSize, DeviceInfoData* deviceInfoData) {
    if (begin(Op::SetupDiGetDeviceInterfaceDetailA, kNoDevice))
        return log(Op::SetupDiGetDeviceInterfaceDetailA, kNoDevice, 0, detailSize);
    return log(Op::SetupDiGetDeviceInterfaceDetailA, kNoDevice,
               infoSets_.detail(deviceInfoSet, interfaceData, detail, detailSize, requiredSize,
                                deviceInfoData),
               detailSize);
}

Bool32 SimulatedPlatform::SetupDiGetDeviceRegistryPropertyA(
    Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
    std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
    std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) {
    const std::string* path = infoSets_.pathOf(deviceInfoSet, deviceInfoData);
    const DeviceId device = path == nullptr ? kNoDevice : deviceAt(*path);
    constexpr Op op = Op::SetupDiGetDeviceRegistryPropertyA;
    if (begin(op, device) || device == kNoDevice || property != SPDRP_HARDWAREID)
        return log(op, device, 0, propertyBufferSize);
    const InterfaceSpec& spec = interfaces_[device].spec;
    const std::string ids = hidHardwareIds(spec.vendorId, spec.productId, spec.versionNumber);
    const Bool32 result = putRegistryProperty(ids, propertyRegDataType, propertyBuffer,
                                              propertyBufferSize, requiredSize);
    return log(op, device, result, propertyBufferSize,
               result ? std::vector<std::uint8_t>(ids.begin(), ids.end())
                      : std::vector<std::uint8_t>{});
}

Bool32 SimulatedPlatform::SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) {
    begin(Op::SetupDiDestroyDeviceInfoList, kNoDevice);
    return log(Op::SetupDiDestroyDeviceInfoList, kNoDevice, infoSets_.destroy(deviceInfoSet));
}

// ---- kernel32 ----

Handle SimulatedPlatform::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                      std::uint32_t shareMode, SecurityAttributes*,
                                      std::uint32_t creationDisposition, std::uint32_t flags) {
    const DeviceId device = deviceAt(path);
    const bool fail = begin(Op::CreateFileA, device) || device == kNoDevice ||
                      !interfaces_[device].plugged || creationDisposition != OPEN_EXISTING ||
                      desiredAccess != (GENERIC_READ | GENERIC_WRITE) ||
                      shareMode != (FILE_SHARE_READ | FILE_SHARE_WRITE);
    log(Op::CreateFileA, device, fail ? 0 : 1, flags);
    if (fail)
        return kInvalidHandle;
    const Handle handle = nextHandle_++;
    handles_.emplace(handle, OpenHandle{device, interfaces_[device].connection});
    return handle;
}

Bool32 SimulatedPlatform::CloseHandle(Handle handle) {
    const DeviceId device = deviceOf(handle);
    begin(Op::CloseHandle, device, handle);
    inputQueues_.erase(handle);
    if (readInFlightOn(handle))
        ++misuses_.closesWithReadInFlight;
    std::erase_if(inFlight_, [&](const auto& read) { return read.second.handle == handle; });
    return log(Op::CloseHandle, device, handles_.erase(handle) == 1 ? 1 : 0);
}

Handle SimulatedPlatform::CreateEventA(SecurityAttributes*, Bool32, Bool32, const char*) {
    if (begin(Op::CreateEventA, kNoDevice)) {
        log(Op::CreateEventA, kNoDevice, 0);
        return 0;
    }
    const Handle event = nextHandle_++;
    events_.insert(event);
    log(Op::CreateEventA, kNoDevice, 1);
    return event;
}

// Completes at once only while the board has an input report waiting; otherwise a read with an
// OVERLAPPED stays in flight (kErrorIoPending), as on Windows. Like the real call it wants a
// buffer of at least the input report's length. Like the presence read over hidraw, a read
// that completes at once takes every report queued and keeps the newest, else the board's
// current state.
Bool32 SimulatedPlatform::ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                                   std::uint32_t* bytesRead, Overlapped* overlapped) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    const bool injected = begin(Op::ReadFile, device, handle);
    if (overlapped != nullptr && inFlight_.contains(overlapped)) {
        ++misuses_.readsOnOverlappedInFlight;
        return log(Op::ReadFile, device, 0, bytesToRead);
    }
    if (injected || interface == nullptr || bytesToRead < interface->spec.inputReportLength)
        return log(Op::ReadFile, device, 0, bytesToRead);
    auto& queue = inputQueues_[handle];
    if (!interface->inputReady && queue.empty()) {
        if (overlapped != nullptr)
            inFlight_.emplace(overlapped, ReadInFlight{handle, buffer, bytesToRead});
        log(Op::ReadFile, device, 0, bytesToRead);
        if (overlapped != nullptr)
            setLastError({PlatformError::Kind::Other, kErrorIoPending, pathOf(device)});
        return 0;
    }
    const std::uint32_t length = interface->spec.inputReportLength;
    const std::vector<std::uint8_t> newest =
        queue.empty() ? currentReport(*interface) : queue.back();
    queue.clear();
    std::fill(buffer, buffer + length, std::uint8_t{0});
    std::copy_n(newest.begin(), std::min<std::size_t>(newest.size(), length), buffer);
    if (bytesRead != nullptr)
        *bytesRead = length;
    return log(Op::ReadFile, device, 1, bytesToRead, bytesOf(buffer, length));
}

bool SimulatedPlatform::readInFlightOn(Handle handle) const {
    return std::any_of(inFlight_.begin(), inFlight_.end(),
                       [&](const auto& read) { return read.second.handle == handle; });
}

std::optional<int> SimulatedPlatform::settle(ReadInFlight& read, std::uint32_t& bytes) {
    bytes = 0;
    if (read.cancelled)
        return kErrorOperationAborted;
    DeviceId device = kNoDevice;
    Interface* interface = live(read.handle, device);
    if (interface == nullptr)
        return kErrorDeviceNotConnected;
    auto& queue = inputQueues_[read.handle];
    if (queue.empty() && !interface->inputReady)
        return std::nullopt;
    std::vector<std::uint8_t> report = queue.empty() ? currentReport(*interface) : queue.front();
    if (!queue.empty())
        queue.pop_front();
    bytes = std::min<std::uint32_t>(read.length, interface->spec.inputReportLength);
    std::fill(read.buffer, read.buffer + bytes, std::uint8_t{0});
    std::copy_n(report.begin(), std::min<std::size_t>(report.size(), bytes), read.buffer);
    return 0;
}

Bool32 SimulatedPlatform::GetOverlappedResult(Handle handle, Overlapped* overlapped,
                                              std::uint32_t* bytesTransferred, Bool32 wait) {
    const DeviceId device = deviceOf(handle);
    const bool injected = begin(Op::GetOverlappedResult, device, handle);
    const auto found = inFlight_.find(overlapped);
    if (found == inFlight_.end() || found->second.handle != handle) {
        log(Op::GetOverlappedResult, device, 0, wait);
        setLastError({PlatformError::Kind::Other, kErrorInvalidParameter, {}});
        return 0;
    }
    std::uint32_t bytes = 0;
    const std::optional<int> outcome =
        injected ? std::optional<int>(-1) : settle(found->second, bytes);
    if (!outcome) {
        if (wait != 0)
            ++misuses_.waitsThatWouldHang;
        log(Op::GetOverlappedResult, device, 0, wait);
        setLastError({PlatformError::Kind::Other, kErrorIoIncomplete, pathOf(device)});
        return 0;
    }
    std::vector<std::uint8_t> read(found->second.buffer, found->second.buffer + bytes);
    inFlight_.erase(found);
    if (*outcome == 0) {
        if (bytesTransferred != nullptr)
            *bytesTransferred = bytes;
        return log(Op::GetOverlappedResult, device, 1, wait, std::move(read));
    }
    log(Op::GetOverlappedResult, device, 0, wait);
    if (*outcome > 0) {
        const auto kind = *outcome == kErrorDeviceNotConnected ? PlatformError::Kind::Gone
                                                               : PlatformError::Kind::Other;
        setLastError({kind, *outcome, pathOf(device)});
    }
    return 0;
}

Bool32 SimulatedPlatform::CancelIoEx(Handle handle, Overlapped* overlapped) {
    const DeviceId device = deviceOf(handle);
    if (begin(Op::CancelIoEx, device, handle))
        return log(Op::CancelIoEx, device, 0);
    bool cancelled = false;
    for (auto& [record, read] : inFlight_)
        if (read.handle == handle && (overlapped == nullptr || record == overlapped)) {
            read.cancelled = true;
            cancelled = true;
        }
    return log(Op::CancelIoEx, device, cancelled ? 1 : 0);
}

// ---- hid.dll ----

Bool32 SimulatedPlatform::HidD_GetAttributes(Handle handle, HiddAttributes& attributes) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    if (begin(Op::HidD_GetAttributes, device, handle) || interface == nullptr)
        return log(Op::HidD_GetAttributes, device, 0);
    attributes.VendorID = interface->spec.vendorId;
    attributes.ProductID = interface->spec.productId;
    attributes.VersionNumber = interface->spec.versionNumber;
    return log(Op::HidD_GetAttributes, device, 1);
}

Bool32 SimulatedPlatform::stringQuery(Op op, Handle handle,
                                      const std::optional<std::u16string> InterfaceSpec::*text,
                                      std::uint8_t* buffer, std::uint32_t bufferLength) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    if (begin(op, device, handle) || interface == nullptr || !(interface->spec.*text))
        return log(op, device, 0, bufferLength);
    putUtf16(*(interface->spec.*text), buffer, bufferLength);
    return log(op, device, 1, bufferLength, bytesOf(buffer, bufferLength));
}

Bool32 SimulatedPlatform::HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                                     std::uint32_t bufferLength) {
    return stringQuery(Op::HidD_GetSerialNumberString, device, &InterfaceSpec::serial, buffer,
                       bufferLength);
}

Bool32 SimulatedPlatform::HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                                     std::uint32_t bufferLength) {
    return stringQuery(Op::HidD_GetManufacturerString, device, &InterfaceSpec::manufacturer, buffer,
                       bufferLength);
}

Bool32 SimulatedPlatform::HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                                std::uint32_t bufferLength) {
    return stringQuery(Op::HidD_GetProductString, device, &InterfaceSpec::product, buffer,
                       bufferLength);
}

Bool32 SimulatedPlatform::HidD_GetPreparsedData(Handle handle, PreparsedData& preparsedData) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    if (begin(Op::HidD_GetPreparsedData, device, handle) || interface == nullptr)
        return log(Op::HidD_GetPreparsedData, device, 0);
    preparsedData = nextHandle_++;
    preparsed_.emplace(preparsedData, device);
    const DescriptorParse parse = parseReportDescriptor(interface->spec.reportDescriptor);
    preparsedLayouts_.emplace(preparsedData, parse.layout.value_or(ReportLayout{}));
    return log(Op::HidD_GetPreparsedData, device, 1);
}

std::optional<std::vector<std::uint8_t>> SimulatedPlatform::GetReportDescriptor(Handle handle) {
    DeviceId device = kNoDevice;
    const Interface* interface = live(handle, device);
    if (interface == nullptr)
        return std::nullopt;
    return interface->spec.reportDescriptor;
}

Bool32 SimulatedPlatform::HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) {
    const auto found = preparsed_.find(preparsedData);
    const DeviceId device = found == preparsed_.end() ? kNoDevice : found->second;
    if (begin(Op::HidP_GetCaps, device) || device == kNoDevice)
        return log(Op::HidP_GetCaps, device, 0);
    const InterfaceSpec& spec = interfaces_[device].spec;
    capabilities = HidpCaps{};
    capabilities.UsagePage = 0x01;
    capabilities.Usage = 0x04;
    capabilities.InputReportByteLength = spec.inputReportLength;
    capabilities.FeatureReportByteLength = spec.featureReportLength;
    return log(Op::HidP_GetCaps, device, HIDP_STATUS_SUCCESS);
}

Bool32 SimulatedPlatform::HidD_FreePreparsedData(PreparsedData preparsedData) {
    const auto found = preparsed_.find(preparsedData);
    const DeviceId device = found == preparsed_.end() ? kNoDevice : found->second;
    begin(Op::HidD_FreePreparsedData, device);
    preparsedLayouts_.erase(preparsedData);
    return log(Op::HidD_FreePreparsedData, device, preparsed_.erase(preparsedData) == 1 ? 1 : 0);
}

// Like the real calls, the feature reports want a buffer of at least the report's length.
Bool32 SimulatedPlatform::HidD_SetFeature(Handle handle, std::uint8_t* report,
                                          std::uint32_t reportLength) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    const std::vector<std::uint8_t> sent = bytesOf(report, reportLength);
    if (begin(Op::HidD_SetFeature, device, handle) || interface == nullptr ||
        reportLength < interface->spec.featureReportLength || reportLength == 0)
        return log(Op::HidD_SetFeature, device, 0, reportLength, sent);
    interface->firmware.receive(report, interface->spec.featureReportLength);
    return log(Op::HidD_SetFeature, device, 1, reportLength, sent);
}

Bool32 SimulatedPlatform::HidD_GetFeature(Handle handle, std::uint8_t* report,
                                          std::uint32_t reportLength) {
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    if (begin(Op::HidD_GetFeature, device, handle) || interface == nullptr ||
        reportLength < interface->spec.featureReportLength || reportLength == 0)
        return log(Op::HidD_GetFeature, device, 0, reportLength);
    const std::uint32_t length = interface->spec.featureReportLength;
    interface->firmware.answer(report, length);
    return log(Op::HidD_GetFeature, device, 1, reportLength, bytesOf(report, length));
}

const ReportLayout* SimulatedPlatform::layoutOf(PreparsedData preparsedData) const {
    const auto found = preparsedLayouts_.find(preparsedData);
    return found == preparsedLayouts_.end() ? nullptr : &found->second;
}

Bool32 SimulatedPlatform::HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                                         std::uint16_t, std::uint16_t* usageList,
                                         std::uint32_t* usageLength, PreparsedData preparsedData,
                                         std::uint8_t* report, std::uint32_t reportLength) {
    const auto found = preparsed_.find(preparsedData);
    const DeviceId device = found == preparsed_.end() ? kNoDevice : found->second;
    const ReportLayout* layout = layoutOf(preparsedData);
    if (begin(Op::HidP_GetUsages, device) || layout == nullptr)
        return log(Op::HidP_GetUsages, device, HIDP_STATUS_INVALID_PREPARSED_DATA, reportLength);
    const Bool32 status =
        hidpGetUsages(*layout, reportType, usagePage, usageList, usageLength, report, reportLength);
    return log(Op::HidP_GetUsages, device, status, reportLength, bytesOf(report, reportLength));
}

std::uint32_t SimulatedPlatform::HidP_MaxUsageListLength(HidpReportType reportType,
                                                         std::uint16_t usagePage,
                                                         PreparsedData preparsedData) {
    const auto found = preparsed_.find(preparsedData);
    const DeviceId device = found == preparsed_.end() ? kNoDevice : found->second;
    const ReportLayout* layout = layoutOf(preparsedData);
    if (begin(Op::HidP_MaxUsageListLength, device) || layout == nullptr)
        return static_cast<std::uint32_t>(log(Op::HidP_MaxUsageListLength, device, 0));
    const std::uint32_t most = hidpMaxUsageListLength(*layout, reportType, usagePage);
    log(Op::HidP_MaxUsageListLength, device, static_cast<Bool32>(most));
    return most;
}

InputWait SimulatedPlatform::WaitForInputReport(Handle handle, std::uint8_t* buffer,
                                                std::uint32_t bufferLength,
                                                std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    bytesRead = 0;
    DeviceId device = kNoDevice;
    Interface* interface = live(handle, device);
    if (readInFlightOn(handle))
        ++misuses_.sharedHandleWaits;
    if (begin(Op::WaitForInputReport, device, handle) || interface == nullptr) {
        const bool gone = device != kNoDevice && interface == nullptr;
        setLastError({gone ? PlatformError::Kind::Gone : PlatformError::Kind::Other, 0,
                      device == kNoDevice ? std::string() : pathOf(device)});
        log(Op::WaitForInputReport, device, 0, timeoutMs);
        return InputWait::Failed;
    }
    auto& queue = inputQueues_[handle];
    if (queue.empty()) {
        // Nothing else runs meanwhile that could send a report.
        if (realTime_)
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        log(Op::WaitForInputReport, device, static_cast<Bool32>(InputWait::Timeout), timeoutMs);
        return InputWait::Timeout;
    }
    const std::vector<std::uint8_t> report = std::move(queue.front());
    queue.pop_front();
    bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(report.size(), bufferLength));
    std::copy_n(report.begin(), bytesRead, buffer);
    log(Op::WaitForInputReport, device, static_cast<Bool32>(InputWait::Report), timeoutMs,
        bytesOf(buffer, bytesRead));
    return InputWait::Report;
}

} // namespace hid::sim
