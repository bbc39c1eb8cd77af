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
    // Fills deviceInfoData, when given, with the member's index: each interface is its own
    // device here, as each HID collection is on Windows.
    Bool32 detail(Handle set, const DeviceInterfaceData& interfaceData, std::uint8_t* detail,
                  std::uint32_t detailSize, std::uint32_t* requiredSize,
                  DeviceInfoData* deviceInfoData) const;
    // The device path of the member that deviceInfoData names, or nullptr.
    const std::string* pathOf(Handle set, const DeviceInfoData& deviceInfoData) const;
    Bool32 destroy(Handle set);
    std::size_t openSets() const { return sets_.size(); }

private:
    const std::string* pathAt(Handle set, std::uintptr_t memberIndex) const;

    std::map<Handle, std::vector<std::string>> sets_;
    Handle nextSet_ = 0x5E7000;
};

// A device's hardware IDs as SetupDiGetDeviceRegistryPropertyA gives them for a HID device:
// HID\VID_vvvv&PID_pppp&REV_rrrr, then HID\VID_vvvv&PID_pppp, as REG_MULTI_SZ.
std::string hidHardwareIds(std::uint16_t vendorId, std::uint16_t productId,
                           std::uint16_t versionNumber);
// Puts a REG_MULTI_SZ value into a caller's buffer with the conventions of that call.
Bool32 putRegistryProperty(const std::string& value, std::uint32_t* propertyRegDataType,
                           std::uint8_t* propertyBuffer, std::uint32_t propertyBufferSize,
                           std::uint32_t* requiredSize);

} // namespace hid
