// One HID device made through /dev/uhid: the kernel sees it as a device on the bus given, with
// its own hidraw node, and hands the device's requests to us as events.
#pragma once

#include "BoardOptions.h"

#include <cstdint>
#include <linux/uhid.h>
#include <optional>
#include <span>
#include <string>

namespace hil {

class UhidDevice {
public:
    // Opens /dev/uhid and creates the device; throws std::system_error when either fails.
    UhidDevice(const DeviceIdentity& identity, std::span<const std::uint8_t> descriptor);
    ~UhidDevice();
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    int fd() const { return fd_; }
    bool destroyed() const { return destroyed_; }

    // The next event from the kernel, or nothing when none is waiting.
    std::optional<uhid_event> readEvent();
    void sendInput(std::span<const std::uint8_t> report);
    void replyGetReport(std::uint32_t id, std::span<const std::uint8_t> report);
    void failGetReport(std::uint32_t id, std::uint16_t error);
    void replySetReport(std::uint32_t id, std::uint16_t error);
    // Removes the device from the kernel, like pulling the board's plug.
    void destroy();

private:
    void write(const uhid_event& event);

    int fd_ = -1;
    bool destroyed_ = false;
};

} // namespace hil
