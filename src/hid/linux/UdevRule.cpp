#include "UdevRule.h"

namespace hid {

const char* installedUdevRule() {
    return TESSARY_UDEV_RULE_FILE;
}

std::string udevRuleAdvice(const std::string& rule) {
    return "Install the udev rule " + rule +
           " (the package does), run 'udevadm control --reload-rules && udevadm trigger' as "
           "root and plug the board in again";
}

} // namespace hid
