// Tells the user why a board that is plugged in cannot be opened: the device node belongs to
// root until the installed udev rule gives the logged-in user access. One line on standard
// error, and a call to a listener that can tell the desktop.
#pragma once

#include "SysfsHidraw.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <string>

namespace hid {

// A board of the family that open() refused for lack of permission.
struct PermissionRefusal {
    std::string path; // the device node, /dev/hidrawN
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

class PermissionNotice {
public:
    using Listener = std::function<void(const PermissionRefusal&)>;

    // Lines go to out; nullptr keeps quiet.
    PermissionNotice(const SysfsHidraw& sysfs, std::ostream* out) : sysfs_(sysfs), out_(out) {}
    void setStream(std::ostream* out) { out_ = out; }
    // Called once per refused device, like the line; an empty listener is not called.
    void setListener(Listener listener) { listener_ = std::move(listener); }

    // The installed udev rule that gives access, as the messages name it.
    static const char* ruleFile();

    // After open() of path (the device node hidrawN) failed with errorNumber: writes the line
    // and calls the listener when the reason is a missing permission and the device is a board of
    // the family, once per plugged-in device. The device is told by its sysfs directory, which is
    // new at every plug-in, never by the node name, which the kernel hands on to the next device.
    void openFailed(const std::string& path, const std::string& node, int errorNumber);
    // Whether the node hidrawN belongs to a board of the family, by its sysfs identity.
    bool isBoard(const std::string& node) const;

private:
    const SysfsHidraw& sysfs_;
    std::ostream* out_;
    Listener listener_;
    std::set<std::string> told_;
};

} // namespace hid
