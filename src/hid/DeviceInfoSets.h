// The SetupAPI enumeration calls over a list of device paths, for the platforms that have no
// SetupAPI: a device-information set is a snapshot of the paths present when it was made.
#pragma once

#include "ApiDeclarations.h"

#include <map>
#include <string>
#include <vector>

namespace hid {

class DeviceInfoSets {
public:
    Handle create(std::vector<std::string> devicePaths);
    Bool32 enumerate(Handle set, std::uint32_t memberIndex, DeviceInterfaceData& interfaceData,
                     const Guid& classGuid) const;
    Bool32 detail(Handle set, const DeviceInterfaceData& interfaceData, std::uint8_t* detail,
                  std::uint32_t detailSize, std::uint32_t* requiredSize) const;
    Bool32 destroy(Handle set);
    std::size_t openSets() const { return sets_.size(); }

private:
    const std::string* pathOf(Handle set, const DeviceInterfaceData& interfaceData) const;

    std::map<Handle, std::vector<std::string>> sets_;
    Handle nextSet_ = 0x5E7000;
};

} // namespace hid
