#include "SettingText.h"

#include "ConsoleText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace cli {

namespace {

constexpr std::string_view kPulseWidthKey = "pulse-width";
constexpr std::string_view kRotStartKey = "rotary-start";

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A whole decimal number without sign, or nothing.
std::optional<int> number(std::string_view text) {
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// "enc7" or "b13-b14": the channel, or nothing.
std::optional<int> channelOfKey(std::string_view key) {
    const auto inRange = [](std::optional<int> channel) -> std::optional<int> {
        if (channel && *channel >= 1 && *channel <= config::kEncoderChannels)
            return channel;
        return std::nullopt;
    };
    if (key.starts_with("enc"))
        return inRange(number(key.substr(3)));
    const std::size_t dash = key.find('-');
    if (!key.starts_with("b") || dash == std::string_view::npos || key.substr(dash + 1, 1) != "b")
        return std::nullopt;
    const std::optional<int> first = number(key.substr(1, dash - 1));
    const std::optional<int> second = number(key.substr(dash + 2));
    if (!first || !second || *first % 2 != 1 || *second != *first + 1)
        return std::nullopt;
    return inRange((*first + 1) / 2);
}

std::optional<int> pulseWidthIndex(std::string_view text) {
    std::string_view digits = text;
    if (digits.ends_with("ms")) {
        digits.remove_suffix(2);
        if (digits.ends_with(' '))
            digits.remove_suffix(1);
    }
    const std::optional<int> ms = number(digits);
    const int items = static_cast<int>(config::pulseWidthItems().size());
    if (!ms || *ms % config::kPulseWidthStepMs != 0 || *ms < config::kPulseWidthStepMs ||
        *ms > items * config::kPulseWidthStepMs)
        return std::nullopt;
    return *ms / config::kPulseWidthStepMs - 1;
}

} // namespace

std::vector<config::Setting> allSettings() {
    std::vector<config::Setting> settings;
    for (int channel = 1; channel <= config::kEncoderChannels; ++channel)
        settings.push_back(config::Setting::encoder(channel));
    settings.push_back(config::Setting::pulseWidth());
    settings.push_back(config::Setting::rotStart());
    return settings;
}

std::string keyOf(const config::Setting& setting) {
    switch (setting.kind) {
    case config::Setting::Kind::EncoderMode:
        return "b" + std::to_string(2 * setting.channel - 1) + "-b" +
               std::to_string(2 * setting.channel);
    case config::Setting::Kind::PulseWidth:
        return std::string(kPulseWidthKey);
    case config::Setting::Kind::RotStart:
        break;
    }
    return std::string(kRotStartKey);
}

std::optional<config::Setting> settingOfKey(std::string_view key) {
    const std::string lower = lowered(key);
    if (lower == kPulseWidthKey)
        return config::Setting::pulseWidth();
    if (lower == kRotStartKey)
        return config::Setting::rotStart();
    if (const std::optional<int> channel = channelOfKey(lower))
        return config::Setting::encoder(*channel);
    return std::nullopt;
}

std::optional<int> indexOfValue(const config::Setting& setting, std::string_view text) {
    if (setting.kind == config::Setting::Kind::PulseWidth)
        return pulseWidthIndex(text);
    const std::vector<std::string> items = setting.items();
    const std::string lower = lowered(text);
    for (std::size_t index = 0; index < items.size(); ++index)
        if (lowered(items[index]) == lower)
            return static_cast<int>(index);
    return std::nullopt;
}

std::string valuesTaken(const config::Setting& setting) {
    switch (setting.kind) {
    case config::Setting::Kind::EncoderMode:
        return "off, 1:1, 1:2 or 1:4";
    case config::Setting::Kind::PulseWidth:
        return "8 ms to 200 ms in steps of 8 ms";
    case config::Setting::Kind::RotStart:
        break;
    }
    return "Auto or 2 to 33";
}

std::string valueText(const config::Setting& setting, int index) {
    const std::vector<std::string> items = setting.items();
    if (index < 0 || index >= static_cast<int>(items.size()))
        return "unknown";
    return items[static_cast<std::size_t>(index)];
}

std::optional<Assignment> makeAssignment(std::string_view key, std::string_view value,
                                         std::string& error) {
    const std::optional<config::Setting> setting = settingOfKey(key);
    if (!setting) {
        error = "unknown setting '" + printable(key) +
                "': the settings are b1-b2 to b31-b32 (or enc1 to enc16), pulse-width and "
                "rotary-start";
        return std::nullopt;
    }
    const std::optional<int> index = indexOfValue(*setting, value);
    if (!index) {
        error = keyOf(*setting) + " cannot be '" + printable(value) + "': it takes " +
                valuesTaken(*setting);
        return std::nullopt;
    }
    return Assignment{*setting, *index};
}

std::optional<Assignment> parseAssignment(std::string_view text, std::string& error) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        error = "'" + printable(text) + "' is not KEY=VALUE";
        return std::nullopt;
    }
    return makeAssignment(text.substr(0, equals), text.substr(equals + 1), error);
}

} // namespace cli
