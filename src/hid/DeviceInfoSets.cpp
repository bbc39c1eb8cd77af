#include "DeviceInfoSets.h"

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

const std::string* DeviceInfoSets::pathOf(Handle set,
                                          const DeviceInterfaceData& interfaceData) const {
    const auto found = sets_.find(set);
    if (found == sets_.end() || interfaceData.Reserved >= found->second.size())
        return nullptr;
    return &found->second[interfaceData.Reserved];
}

Bool32 DeviceInfoSets::detail(Handle set, const DeviceInterfaceData& interfaceData,
                              std::uint8_t* detail, std::uint32_t detailSize,
                              std::uint32_t* requiredSize) const {
    const std::string* path = pathOf(set, interfaceData);
    if (path == nullptr)
        return 0;
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

} // namespace hid
