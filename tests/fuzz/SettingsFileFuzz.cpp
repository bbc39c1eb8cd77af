// A settings file given to restore is whatever the user hands over: it is accepted whole or
// refused with a reason, and what it sets is one write per setting, never two to one address.
#include "FuzzCheck.h"
#include "SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto assignments = cli::parseSettingsFile(text, error);
    FUZZ_CHECK(assignments.has_value() == error.empty());
    if (!assignments)
        return 0;
    std::set<std::uint8_t> addresses;
    for (const cli::Assignment& assignment : *assignments)
        FUZZ_CHECK(addresses.insert(assignment.setting.address()).second);
    return 0;
}
