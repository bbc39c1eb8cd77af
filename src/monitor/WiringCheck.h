// What a wiring check finds in a board's input events: inputs held down from the start and
// never let go, inputs that bounce, pairs set to "off" whose inputs move as a quadrature
// encoder's two signals, and inputs that never changed at all.
#pragma once

#include "InputMonitor.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace monitor {

struct CheckThresholds {
    // A change within this many ms of the input's last change is a bounce: a hand on a switch
    // does not move it twice so fast.
    std::int64_t chatterMs = 5;
    // This many bounces of one input make it chatter.
    int chatterCount = 3;
    // This many steps of the quadrature cycle in one direction, in a row, make an encoder.
    int quadratureSteps = 8;
};

// The steps of one pair's two inputs along the quadrature cycle 00, 10, 11, 01 (first input,
// second input). A run is the steps made one after the other in one direction; a reversal or
// both inputs changing at once starts it again.
class QuadratureDetector {
public:
    // The pair's inputs as of now; the length of the run they continue.
    int take(bool first, bool second);
    int longestRun() const { return longest_; }

private:
    int position_ = 0; // on the cycle
    int direction_ = 0;
    int run_ = 0;
    int longest_ = 0;
};

struct Finding {
    enum class Kind { Stuck, Chatter, EncoderOff, Silent };
    Kind kind = Kind::Stuck;
    int input = 0;               // Stuck, Chatter: the input's index (0 for B1)
    int pair = 0;                // EncoderOff: the pair's index (0 for B1 B2)
    int count = 0;               // Chatter: bounces; EncoderOff: the longest run of steps
    std::int64_t shortestMs = 0; // Chatter: the shortest time between two changes
    hid::InputSet inputs = 0;    // Silent: the inputs that never changed
};

class WiringCheck {
public:
    // encoders: the pairs set to an encoder mode, whose inputs the board sends as pulses.
    WiringCheck(std::array<bool, kPairs> encoders, CheckThresholds thresholds);

    void take(const MonitorEvent& event);
    // What was found, in the order of the kinds and then of the inputs.
    std::vector<Finding> findings() const;

private:
    struct Input {
        std::optional<std::int64_t> lastChange;
        int bounces = 0;
        std::optional<std::int64_t> shortest;
    };

    void change(std::int64_t ms, int index, bool down, bool firstReport);

    std::array<bool, kPairs> encoders_;
    CheckThresholds thresholds_;
    std::array<Input, hid::kBoardInputs> inputs_{};
    std::array<QuadratureDetector, kPairs> pairs_{};
    hid::InputSet pressed_ = 0;
    hid::InputSet downAtStart_ = 0; // down in the first report
    hid::InputSet changed_ = 0;     // seen to change: went down or up while watched
};

} // namespace monitor
