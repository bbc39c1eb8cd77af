// The udev rule that lets the logged-in user open the boards, where the packaging installs it,
// and the advice to install it, in the one wording every front end gives.
#pragma once

#include <string>

namespace hid {

// Where the build installs the rule, such as /usr/lib/udev/rules.d/70-tessary32.rules.
const char* installedUdevRule();

// "Install the udev rule RULE (the package does), run 'udevadm control --reload-rules &&
// udevadm trigger' as root and plug the board in again", without a full stop.
std::string udevRuleAdvice(const std::string& rule);

} // namespace hid
