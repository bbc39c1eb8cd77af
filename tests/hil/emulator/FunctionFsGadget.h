// One board as a real USB device: a configfs gadget with vendor, product, bcdDevice and the
// three strings, whose one function is FunctionFS, bound to a free UDC of dummy_hcd. The
// kernel's host side then enumerates it like a board on a USB port, and usbhid binds to it.
// Control requests to the interface come to us as events on ep0; input reports go out on ep1.
#pragma once

#include "BoardOptions.h"

#include <cstdint>
#include <linux/usb/functionfs.h>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hil {

class FunctionFsGadget {
public:
    // Builds the gadget and writes the descriptors and strings to ep0, so that the function is
    // ready to bind; throws std::system_error when any step fails.
    FunctionFsGadget(const DeviceIdentity& identity,
                     std::span<const std::uint8_t> reportDescriptor);
    // Unplugs the board if it is still plugged and removes the gadget.
    ~FunctionFsGadget();
    FunctionFsGadget(const FunctionFsGadget&) = delete;
    FunctionFsGadget& operator=(const FunctionFsGadget&) = delete;

    // Binds the gadget to the first UDC no other gadget holds: the board is plugged in.
    void plug();
    // Unbinds it (an empty line to UDC): the host sees the board leave.
    void unplug();
    const std::string& udc() const { return udc_; }

    int ep0() const { return ep0_; }
    // The next event on ep0, or nothing when none is waiting.
    std::optional<usb_functionfs_event> readEvent();
    // The data stage of an IN request: at most wLength bytes of data; false when the host has
    // given up on the request.
    bool answer(const usb_ctrlrequest& setup, std::span<const std::uint8_t> data);
    // The data stage of an OUT request (its wLength bytes), which also acknowledges it.
    std::optional<std::vector<std::uint8_t>> receive(const usb_ctrlrequest& setup);
    // The request is refused with a STALL: ep0 I/O in the direction opposite to the request's.
    void stall(const usb_ctrlrequest& setup);
    // One input report on the interrupt-IN endpoint. Blocks until the host polls; false when
    // the endpoint went away or the call was interrupted by a signal.
    bool sendInput(std::span<const std::uint8_t> report);

private:
    void build(const DeviceIdentity& identity);
    void writeDescriptors(std::span<const std::uint8_t> reportDescriptor);
    void teardown();

    std::string name_; // of the gadget directory and the FunctionFS instance
    std::string gadgetDir_;
    std::string mountDir_;
    std::string udc_;
    bool mounted_ = false;
    bool linked_ = false;
    int ep0_ = -1;
    int ep1_ = -1;
};

} // namespace hil
