#include "PermissionNotice.h"

#include <cerrno>
#include <cstdio>

namespace hid {

namespace {

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

} // namespace

void PermissionNotice::openFailed(const std::string& path, const std::string& node,
                                  int errorNumber) {
    if (out_ == nullptr || (errorNumber != EACCES && errorNumber != EPERM))
        return;
    const auto id = sysfs_.hidId(node);
    const auto device = sysfs_.hidDevice(node);
    if (!id || !device || !isFamily(*id) || !told_.insert(device->string()).second)
        return;
    *out_ << "tessary32-config: no permission to open the board " << hex4(id->vendorId) << ":"
          << hex4(id->productId) << " at " << path
          << "; install the udev rule 70-tessary32.rules (packaging/linux) into "
             "/etc/udev/rules.d or /usr/lib/udev/rules.d, run 'udevadm control --reload-rules "
             "&& udevadm trigger' as root and plug the board in again\n"
          << std::flush;
}

} // namespace hid
