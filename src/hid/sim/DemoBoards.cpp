#include "DemoBoards.h"

#include "Protocol.h"

namespace hid::sim {

namespace {

DemoBoard board(const char16_t* serial, std::uint16_t versionNumber,
                std::vector<std::pair<int, std::uint8_t>> encoderModes, std::uint8_t pulseWidth,
                std::uint8_t rotStart) {
    InterfaceSpec spec;
    spec.serial = serial;
    spec.versionNumber = versionNumber;
    return DemoBoard{std::move(spec), std::move(encoderModes), pulseWidth, rotStart};
}

} // namespace

void DemoBoard::putSettings(SimulatedFirmware& firmware) const {
    for (const auto& [channel, code] : encoderModes)
        firmware.memory[config::encoderAddress(channel)] = code;
    firmware.memory[config::kPulseWidthAddress] = pulseWidth;
    firmware.memory[config::kRotStartAddress] = rotStart;
}

const std::vector<DemoBoard>& demoBoards() {
    static const std::vector<DemoBoard> boards{
        board(u"TS32-0011", 0x0101, {{1, 0x02}, {2, 0x02}}, 3, config::kRotStartAuto),
        board(u"TS32-0012", 0x0102, {{1, 0x04}, {2, 0x04}, {3, 0x04}, {4, 0x04}, {9, 0x08}}, 12, 5),
        board(u"TS32-0013", 0x0103, {{1, 0x08}, {2, 0x04}, {3, 0x02}, {16, 0x08}}, 25, 16),
    };
    return boards;
}

std::vector<DeviceId> addDemoBoards(SimulatedPlatform& platform) {
    std::vector<DeviceId> devices;
    for (const DemoBoard& demo : demoBoards()) {
        const DeviceId device = platform.add(demo.spec);
        demo.putSettings(platform.firmware(device));
        devices.push_back(device);
    }
    return devices;
}

} // namespace hid::sim
