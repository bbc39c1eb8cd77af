#include "InputMonitor.h"

#include <algorithm>
#include <utility>

namespace monitor {

namespace {

bool has(hid::InputSet inputs, int index) {
    return ((inputs >> index) & 1u) != 0;
}

} // namespace

InputMonitor::InputMonitor(MonitorOptions options) : options_(std::move(options)) {}

bool InputMonitor::isEncoder(int pair) const {
    const std::string& mode = options_.pairModes[static_cast<std::size_t>(pair)];
    return !mode.empty() && mode != "off";
}

MonitorEvents InputMonitor::update(std::int64_t ms, hid::InputSet pressed) {
    const hid::InputSet changed = pressed ^ pressed_;
    const bool first = !anyReport_;
    anyReport_ = true;
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
    return {InputChange{ms, down, up, first}};
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

MonitorEvents InputMonitor::expire(std::int64_t ms) {
    MonitorEvents events;
    for (int pair = 0; pair < kPairs; ++pair) {
        Turn& turn = turns_[static_cast<std::size_t>(pair)];
        const bool held = turn.downSince[0] || turn.downSince[1];
        if (turn.underWay && !held && ms - turn.lastChange >= options_.turnQuietMs) {
            events.emplace_back(turnEvent(pair, turn));
            turn = Turn{};
        }
    }
    return events;
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

MonitorEvents InputMonitor::finish() {
    MonitorEvents events;
    for (int pair = 0; pair < kPairs; ++pair) {
        Turn& turn = turns_[static_cast<std::size_t>(pair)];
        if (turn.underWay)
            events.emplace_back(turnEvent(pair, turn));
        turn = Turn{};
    }
    return events;
}

EncoderTurn InputMonitor::turnEvent(int pair, const Turn& turn) const {
    EncoderTurn event{turn.start,
                      pair,
                      options_.pairModes[static_cast<std::size_t>(pair)],
                      turn.pulses,
                      turn.shortest,
                      turn.longest,
                      0};
    for (std::size_t side = 0; side < 2; ++side)
        if (turn.downSince[side])
            event.held |= hid::InputSet{1} << (2 * pair + static_cast<int>(side));
    return event;
}

} // namespace monitor
