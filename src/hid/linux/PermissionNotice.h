// The one line on standard error that tells the user why a board that is plugged in cannot be
// opened: the device node belongs to root until the udev rule gives the logged-in user access.
#pragma once

#include "SysfsHidraw.h"

#include <ostream>
#include <set>
#include <string>

namespace hid {

class PermissionNotice {
public:
    // Lines go to out; nullptr keeps quiet.
    PermissionNotice(const SysfsHidraw& sysfs, std::ostream* out) : sysfs_(sysfs), out_(out) {}
    void setStream(std::ostream* out) { out_ = out; }

    // After open() of path (the device node hidrawN) failed with errorNumber: writes the line
    // when the reason is a missing permission and the device is a board of the family, once per
    // plugged-in device. The device is told by its sysfs directory, which is new at every
    // plug-in, never by the node name, which the kernel hands on to the next device.
    void openFailed(const std::string& path, const std::string& node, int errorNumber);
    // Whether the node hidrawN belongs to a board of the family, by its sysfs identity.
    bool isBoard(const std::string& node) const;

private:
    const SysfsHidraw& sysfs_;
    std::ostream* out_;
    std::set<std::string> told_;
};

} // namespace hid
