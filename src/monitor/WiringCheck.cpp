#include "WiringCheck.h"

#include <algorithm>

namespace monitor {

namespace {

bool has(hid::InputSet inputs, int index) {
    return ((inputs >> index) & 1u) != 0;
}

hid::InputSet bit(int index) {
    return hid::InputSet{1} << index;
}

// The place of (first, second) on the cycle 00, 10, 11, 01.
int cyclePosition(bool first, bool second) {
    return second ? (first ? 2 : 3) : (first ? 1 : 0);
}

} // namespace

int QuadratureDetector::take(bool first, bool second) {
    const int position = cyclePosition(first, second);
    const int step = (position - position_ + 4) % 4;
    position_ = position;
    if (step == 0)
        return run_;
    if (step == 2) { // both signals at once: no encoder moves so
        direction_ = 0;
        run_ = 0;
        return run_;
    }
    run_ = step == direction_ ? run_ + 1 : 1;
    direction_ = step;
    longest_ = std::max(longest_, run_);
    return run_;
}

WiringCheck::WiringCheck(std::array<bool, kPairs> encoders, CheckThresholds thresholds)
    : encoders_(encoders), thresholds_(thresholds) {}

void WiringCheck::take(const MonitorEvent& event) {
    if (const auto* change = std::get_if<InputChange>(&event)) {
        if (change->firstReport)
            downAtStart_ |= change->down;
        const hid::InputSet moved = change->down | change->up;
        for (int index = 0; index < hid::kBoardInputs; ++index)
            if (has(moved, index))
                this->change(change->ms, index, has(change->down, index), change->firstReport);
        for (int pair = 0; pair < kPairs; ++pair)
            if ((moved >> (2 * pair)) & 3u)
                pairs_[static_cast<std::size_t>(pair)].take(has(pressed_, 2 * pair),
                                                            has(pressed_, 2 * pair + 1));
    } else if (const auto* turn = std::get_if<EncoderTurn>(&event)) {
        for (int side = 0; side < 2; ++side)
            if (turn->pulses[static_cast<std::size_t>(side)] > 0)
                changed_ |= bit(2 * turn->pair + side);
        changed_ |= turn->held;
    }
}

void WiringCheck::change(std::int64_t ms, int index, bool down, bool firstReport) {
    pressed_ = down ? pressed_ | bit(index) : pressed_ & ~bit(index);
    if (firstReport && down)
        return; // when it went down is not known
    changed_ |= bit(index);
    Input& input = inputs_[static_cast<std::size_t>(index)];
    if (input.lastChange) {
        const std::int64_t since = ms - *input.lastChange;
        if (since <= thresholds_.chatterMs)
            ++input.bounces;
        input.shortest = std::min(input.shortest.value_or(since), since);
    }
    input.lastChange = ms;
}

std::vector<Finding> WiringCheck::findings() const {
    std::vector<Finding> found;
    for (int index = 0; index < hid::kBoardInputs; ++index)
        if (has(downAtStart_ & ~changed_, index))
            found.push_back({Finding::Kind::Stuck, index, 0, 0, 0, 0});
    for (int index = 0; index < hid::kBoardInputs; ++index) {
        const Input& input = inputs_[static_cast<std::size_t>(index)];
        if (input.bounces >= thresholds_.chatterCount)
            found.push_back(
                {Finding::Kind::Chatter, index, 0, input.bounces, input.shortest.value_or(0), 0});
    }
    for (int pair = 0; pair < kPairs; ++pair) {
        const int run = pairs_[static_cast<std::size_t>(pair)].longestRun();
        if (!encoders_[static_cast<std::size_t>(pair)] && run >= thresholds_.quadratureSteps)
            found.push_back({Finding::Kind::EncoderOff, 0, pair, run, 0, 0});
    }
    const hid::InputSet silent = ~(changed_ | downAtStart_);
    if (silent != 0)
        found.push_back({Finding::Kind::Silent, 0, 0, 0, 0, silent});
    return found;
}

} // namespace monitor
