#include "PermissionNotice.h"

#include "UdevRule.h"

#include <cerrno>

namespace hid {

bool PermissionNotice::isBoard(const std::string& node) const {
    const auto id = sysfs_.hidId(node);
    return id && isFamily(*id);
}

void PermissionNotice::openFailed(const std::string& path, const std::string& node,
                                  int errorNumber) {
    if (!listener_ || (errorNumber != EACCES && errorNumber != EPERM))
        return;
    const auto id = sysfs_.hidId(node);
    const auto device = sysfs_.hidDevice(node);
    if (!id || !device || !isFamily(*id) || !told_.insert(device->string()).second)
        return;
    listener_({path, id->vendorId, id->productId, installedUdevRule()});
}

} // namespace hid
