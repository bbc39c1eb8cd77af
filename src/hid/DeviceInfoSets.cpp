#include "DeviceInfoSets.h"

#include <cstdio>
#include <cstring>

namespace hid {

Handle DeviceInfoSets::create(std::vector<std::string> devicePaths) {
    const Handle set = nextSet_++;
    sets_.emplace(set, std::move(devicePaths));
    return set;
}

Bool32 DeviceInfoSets::enumerate(Handle set, std::uint32_t memberIndex,
                                 DeviceInterfaceData& interfaceData, const Guid& classGuid) const {
    const auto found = sets_.find(set);
    if (found == sets_.end() || interfaceData.cbSize != kInterfaceDataCbSize)
        return 0;
    if (memberIndex >= found->second.size())
        return 0;
    interfaceData.InterfaceClassGuid = classGuid;
    interfaceData.Flags = 1; // SPINT_ACTIVE
    interfaceData.Reserved = memberIndex;
    return 1;
}

const std::string* DeviceInfoSets::pathAt(Handle set, std::uintptr_t memberIndex) const {
    const auto found = sets_.find(set);
    if (found == sets_.end() || memberIndex >= found->second.size())
        return nullptr;
    return &found->second[memberIndex];
}

const std::string* DeviceInfoSets::pathOf(Handle set, const DeviceInfoData& deviceInfoData) const {
    if (deviceInfoData.cbSize != kDeviceInfoDataCbSize)
        return nullptr;
    return pathAt(set, deviceInfoData.Reserved);
}

Bool32 DeviceInfoSets::detail(Handle set, const DeviceInterfaceData& interfaceData,
                              std::uint8_t* detail, std::uint32_t detailSize,
                              std::uint32_t* requiredSize, DeviceInfoData* deviceInfoData) const {
    const std::string* path = pathAt(set, interfaceData.Reserved);
    if (path == nullptr)
        return 0;
    if (deviceInfoData != nullptr) {
        if (deviceInfoData->cbSize != kDeviceInfoDataCbSize)
            return 0;
        deviceInfoData->ClassGuid = interfaceData.InterfaceClassGuid;
        deviceInfoData->DevInst = static_cast<std::uint32_t>(interfaceData.Reserved);
        deviceInfoData->Reserved = interfaceData.Reserved;
    }
    const auto needed = static_cast<std::uint32_t>(kDetailPathOffset + path->size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (detail == nullptr || detailSize < needed)
        return 0;
    std::uint32_t cbSize = 0;
    std::memcpy(&cbSize, detail, sizeof cbSize);
    if (cbSize != kDetailDataCbSize)
        return 0;
    std::memcpy(detail + kDetailPathOffset, path->c_str(), path->size() + 1);
    return 1;
}

Bool32 DeviceInfoSets::destroy(Handle set) {
    return sets_.erase(set) == 1 ? 1 : 0;
}

std::string hidHardwareIds(std::uint16_t vendorId, std::uint16_t productId,
                           std::uint16_t versionNumber) {
    char ids[64];
    const int withRevision = std::snprintf(ids, sizeof ids, "HID\\VID_%04X&PID_%04X&REV_%04X",
                                           vendorId, productId, versionNumber);
    std::string value(ids, static_cast<std::size_t>(withRevision));
    value.push_back('\0');
    value.append(ids, static_cast<std::size_t>(withRevision) - 9); // without "&REV_rrrr"
    value.push_back('\0');
    value.push_back('\0');
    return value;
}

Bool32 putRegistryProperty(const std::string& value, std::uint32_t* propertyRegDataType,
                           std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                           std::uint32_t* requiredSize) {
    const auto needed = static_cast<std::uint32_t>(value.size());
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (propertyBuffer == nullptr || propertyBufferSize < needed)
        return 0;
    if (propertyRegDataType != nullptr)
        *propertyRegDataType = REG_MULTI_SZ;
    std::memcpy(propertyBuffer, value.data(), value.size());
    return 1;
}

} // namespace hid
