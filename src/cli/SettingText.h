// The settings as the command line and the settings file name them: the keys b1-b2 to b31-b32
// (or enc1 to enc16), pulse-width and rotary-start, and the window's own value texts.
#pragma once

#include "BoardSession.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// One setting and the selector index to give it.
struct Assignment {
    config::Setting setting;
    int index = 0;
};

// Every setting, in the order they are shown and saved.
std::vector<config::Setting> allSettings();

// "b1-b2" ... "b31-b32", "pulse-width", "rotary-start".
std::string keyOf(const config::Setting& setting);
std::optional<config::Setting> settingOfKey(std::string_view key);

// The index a value text stands for. Besides the window's texts, "off" and "Auto" in any case,
// and a pulse width as "200", "200ms" or "200 ms".
std::optional<int> indexOfValue(const config::Setting& setting, std::string_view text);
// What a setting takes, for error messages: "off, 1:1, 1:2 or 1:4".
std::string valuesTaken(const config::Setting& setting);
// The window's text for an index; "unknown" for a value that matches no item.
std::string valueText(const config::Setting& setting, int index);

// "key=value" into an assignment, or an error message.
std::optional<Assignment> parseAssignment(std::string_view text, std::string& error);
// An assignment from a key and a value text, or an error message.
std::optional<Assignment> makeAssignment(std::string_view key, std::string_view value,
                                         std::string& error);

} // namespace cli
