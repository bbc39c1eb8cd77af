// Notices a board that is plugged in but cannot be opened because the device node belongs to
// root until the installed udev rule gives the logged-in user access, and tells a listener once
// per plug-in. The listener, a front end, decides what to say.
#pragma once

#include "SysfsHidraw.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace hid {

// A board of the family that open() refused for lack of permission.
struct PermissionRefusal {
    std::string path; // the device node, /dev/hidrawN
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string rule; // the installed udev rule that gives access
};

class PermissionNotice {
public:
    using Listener = std::function<void(const PermissionRefusal&)>;

    explicit PermissionNotice(const SysfsHidraw& sysfs) : sysfs_(sysfs) {}
    // Called once per refused device; while there is no listener nothing is noticed.
    void setListener(Listener listener) { listener_ = std::move(listener); }

    // After open() of path (the device node hidrawN) failed with errorNumber: calls the listener
    // when the reason is a missing permission and the device is a board of the family, once per
    // plugged-in device. The device is told by its sysfs directory, which is new at every
    // plug-in, never by the node name, which the kernel hands on to the next device.
    void openFailed(const std::string& path, const std::string& node, int errorNumber);
    // Whether the node hidrawN belongs to a board of the family, by its sysfs identity.
    bool isBoard(const std::string& node) const;

private:
    const SysfsHidraw& sysfs_;
    Listener listener_;
    std::set<std::string> told_;
};

} // namespace hid
