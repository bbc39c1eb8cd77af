#include "InputMonitor.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace monitor {

namespace {

std::string inputName(int index) {
    return "B" + std::to_string(index + 1);
}

bool has(hid::InputSet inputs, int index) {
    return ((inputs >> index) & 1u) != 0;
}

std::string timeStamp(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%6lld ms  ", static_cast<long long>(ms));
    return text;
}

std::string jsonNames(hid::InputSet inputs) {
    std::string list = "[";
    for (int index = 0; index < hid::kBoardInputs; ++index)
        if (has(inputs, index))
            list += (list.size() > 1 ? ",\"" : "\"") + inputName(index) + "\"";
    return list + "]";
}

std::string textNames(const std::string& sign, hid::InputSet inputs) {
    std::string list;
    for (int index = 0; index < hid::kBoardInputs; ++index)
        if (has(inputs, index))
            list += (list.empty() ? "" : " ") + sign + inputName(index);
    return list;
}

std::string pulseCount(int count, const std::string& input, bool first) {
    if (first)
        return std::to_string(count) + (count == 1 ? " pulse on " : " pulses on ") + input;
    return std::to_string(count) + " on " + input;
}

} // namespace

InputMonitor::InputMonitor(MonitorOptions options) : options_(std::move(options)) {}

bool InputMonitor::isEncoder(int pair) const {
    const std::string& mode = options_.pairModes[static_cast<std::size_t>(pair)];
    return !mode.empty() && mode != "off";
}

std::vector<std::string> InputMonitor::update(std::int64_t ms, hid::InputSet pressed) {
    const hid::InputSet changed = pressed ^ pressed_;
    hid::InputSet down = 0;
    hid::InputSet up = 0;
    for (int index = 0; index < hid::kBoardInputs; ++index) {
        if (!has(changed, index))
            continue;
        const bool isDown = has(pressed, index);
        if (isEncoder(index / 2))
            encoderChange(index / 2, index % 2, isDown, ms);
        else
            (isDown ? down : up) |= hid::InputSet{1} << index;
    }
    pressed_ = pressed;
    if (down == 0 && up == 0)
        return {};
    return {buttonLine(ms, down, up)};
}

void InputMonitor::encoderChange(int pair, int side, bool down, std::int64_t ms) {
    Turn& turn = turns_[static_cast<std::size_t>(pair)];
    if (!turn.underWay)
        turn = Turn{true, ms, ms, {}, {}, {}, {}};
    turn.lastChange = ms;
    auto& since = turn.downSince[static_cast<std::size_t>(side)];
    if (down) {
        since = ms;
        return;
    }
    if (!since)
        return;
    const std::int64_t width = ms - *since;
    since.reset();
    ++turn.pulses[static_cast<std::size_t>(side)];
    turn.shortest = std::min(turn.shortest.value_or(width), width);
    turn.longest = std::max(turn.longest.value_or(width), width);
}

std::vector<std::string> InputMonitor::expire(std::int64_t ms) {
    std::vector<std::string> lines;
    for (int pair = 0; pair < kPairs; ++pair) {
        Turn& turn = turns_[static_cast<std::size_t>(pair)];
        const bool held = turn.downSince[0] || turn.downSince[1];
        if (turn.underWay && !held && ms - turn.lastChange >= options_.turnQuietMs) {
            lines.push_back(turnLine(pair, turn));
            turn = Turn{};
        }
    }
    return lines;
}

std::optional<std::int64_t> InputMonitor::nextExpiry() const {
    std::optional<std::int64_t> earliest;
    for (const Turn& turn : turns_) {
        if (!turn.underWay || turn.downSince[0] || turn.downSince[1])
            continue;
        const std::int64_t end = turn.lastChange + options_.turnQuietMs;
        earliest = std::min(earliest.value_or(end), end);
    }
    return earliest;
}

std::vector<std::string> InputMonitor::finish() {
    std::vector<std::string> lines;
    for (int pair = 0; pair < kPairs; ++pair) {
        Turn& turn = turns_[static_cast<std::size_t>(pair)];
        if (turn.underWay)
            lines.push_back(turnLine(pair, turn));
        turn = Turn{};
    }
    return lines;
}

std::string InputMonitor::buttonLine(std::int64_t ms, hid::InputSet down, hid::InputSet up) const {
    if (options_.json)
        return "{\"ms\":" + std::to_string(ms) + ",\"down\":" + jsonNames(down) +
               ",\"up\":" + jsonNames(up) + "}";
    const std::string downs = textNames("+", down);
    const std::string ups = textNames("-", up);
    return timeStamp(ms) + downs + (downs.empty() || ups.empty() ? "" : " ") + ups;
}

std::string InputMonitor::turnLine(int pair, const Turn& turn) const {
    const std::array<std::string, 2> inputs{inputName(2 * pair), inputName(2 * pair + 1)};
    const std::string& mode = options_.pairModes[static_cast<std::size_t>(pair)];
    hid::InputSet held = 0;
    for (std::size_t side = 0; side < 2; ++side)
        if (turn.downSince[side])
            held |= hid::InputSet{1} << (2 * pair + static_cast<int>(side));

    if (options_.json) {
        std::string line = "{\"ms\":" + std::to_string(turn.start) + ",\"pair\":\"" + inputs[0] +
                           " " + inputs[1] + "\",\"mode\":\"" + mode + "\",\"pulses\":{\"" +
                           inputs[0] + "\":" + std::to_string(turn.pulses[0]) + ",\"" + inputs[1] +
                           "\":" + std::to_string(turn.pulses[1]) + "}";
        if (turn.shortest)
            line += ",\"shortestMs\":" + std::to_string(*turn.shortest) +
                    ",\"longestMs\":" + std::to_string(*turn.longest);
        return line + ",\"held\":" + jsonNames(held) + "}";
    }

    std::string line = timeStamp(turn.start) + inputs[0] + " " + inputs[1] + " (" + mode + "): ";
    std::string counts;
    for (std::size_t side = 0; side < 2; ++side)
        if (turn.pulses[side] > 0)
            counts += (counts.empty() ? "" : " and ") +
                      pulseCount(turn.pulses[side], inputs[side], counts.empty());
    line += counts.empty() ? "no whole pulse" : counts;
    if (turn.shortest) {
        const int total = turn.pulses[0] + turn.pulses[1];
        if (*turn.shortest == *turn.longest)
            line += ", " + std::to_string(*turn.shortest) + (total == 1 ? " ms" : " ms each");
        else
            line += ", " + std::to_string(*turn.shortest) + " to " + std::to_string(*turn.longest) +
                    " ms";
    }
    if (held != 0)
        line += ", still down: " + textNames("", held);
    return line;
}

} // namespace monitor
