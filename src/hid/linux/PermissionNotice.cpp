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

bool PermissionNotice::isBoard(const std::string& node) const {
    const auto id = sysfs_.hidId(node);
    return id && isFamily(*id);
}

void PermissionNotice::openFailed(const std::string& path, const std::string& node,
                                  int errorNumber) {
    if ((out_ == nullptr && !listener_) || (errorNumber != EACCES && errorNumber != EPERM))
        return;
    const auto id = sysfs_.hidId(node);
    const auto device = sysfs_.hidDevice(node);
    if (!id || !device || !isFamily(*id) || !told_.insert(device->string()).second)
        return;
    if (out_ != nullptr)
        *out_ << "tessary32-config: no permission to open the board " << hex4(id->vendorId) << ":"
              << hex4(id->productId) << " at " << path << "; the udev rule " << ruleFile()
              << " gives access: install it (the package does), run 'udevadm control "
                 "--reload-rules && udevadm trigger' as root and plug the board in again\n"
              << std::flush;
    if (listener_)
        listener_({path, id->vendorId, id->productId});
}

const char* PermissionNotice::ruleFile() {
    return TESSARY_UDEV_RULE_FILE;
}

} // namespace hid
