// The settings file of save and restore: a JSON document that names its format and version,
// the board it was saved from, and every setting by the command line's keys and the window's
// value texts:
//
//   {
//     "format": "tessary32-settings",
//     "format_version": 1,
//     "board": {"serial": "0001", "vendor_id": "1209", "product_id": "0001", "version": "1.3",
//               "manufacturer": "Tessary", "product": "Tessary-32"},
//     "settings": {"b1-b2": "off", ..., "pulse-width": "48 ms", "rotary-start": "Auto"}
//   }
#pragma once

#include "SettingText.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr char kSettingsFormat[] = "tessary32-settings";
inline constexpr int kSettingsFormatVersion = 1;
// A settings file is about a kilobyte; anything far larger is not one.
inline constexpr std::size_t kMaxSettingsFileSize = 64 * 1024;

// The document for the board's identity and its settings, in the order of allSettings().
nlohmann::ordered_json settingsDocument(const config::BoardListing& board,
                                        const config::BoardDetails& details,
                                        const std::vector<Assignment>& settings);

// Parses and checks a whole settings file. On any fault, returns nothing and says what and
// where in error: not JSON or cut short, a duplicate key, another product or a newer format,
// an unknown key, a value of the wrong type or out of range.
std::optional<std::vector<Assignment>> parseSettingsFile(std::string_view text, std::string& error);

} // namespace cli
