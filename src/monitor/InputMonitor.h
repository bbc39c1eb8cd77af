// What a person wiring a board wants to see of its inputs: one line per change, with the time
// since the start, the inputs that went down and those that went up. The two inputs of a pair
// in an encoder mode carry the encoder's steps as pulses; those are gathered into one line per
// turn that counts the pulses on each input and tells how long they lasted.
#pragma once

#include "Protocol.h"
#include "ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace monitor {

inline constexpr int kPairs = config::kEncoderChannels;
// A turn ends when neither input of its pair has been pressed for this long.
inline constexpr std::int64_t kDefaultTurnQuietMs = 300;

// The board leaves a pulse width between two pulses of a turn: a turn has ended only after a
// longer pause than that.
inline std::int64_t turnQuietMsFor(int pulseWidthMs) {
    return std::max<std::int64_t>(kDefaultTurnQuietMs, 3 * pulseWidthMs);
}

struct MonitorOptions {
    // Each pair's mode as the window shows it: "off" (or empty) for two buttons, otherwise an
    // encoder mode such as "1:2".
    std::array<std::string, kPairs> pairModes;
    std::int64_t turnQuietMs = kDefaultTurnQuietMs;
    bool json = false; // one JSON object per line
};

class InputMonitor {
public:
    explicit InputMonitor(MonitorOptions options);

    // The inputs pressed as of ms since the start; gives the lines for what changed.
    std::vector<std::string> update(std::int64_t ms, hid::InputSet pressed);
    // The lines of the turns that have ended by ms.
    std::vector<std::string> expire(std::int64_t ms);
    // When the earliest turn under way ends if no pulse comes, or nothing.
    std::optional<std::int64_t> nextExpiry() const;
    // The lines of every turn still under way, when monitoring stops.
    std::vector<std::string> finish();

private:
    struct Turn {
        bool underWay = false;
        std::int64_t start = 0;
        std::int64_t lastChange = 0;
        std::array<int, 2> pulses{};
        std::array<std::optional<std::int64_t>, 2> downSince;
        std::optional<std::int64_t> shortest;
        std::optional<std::int64_t> longest;
    };

    bool isEncoder(int pair) const;
    void encoderChange(int pair, int side, bool down, std::int64_t ms);
    std::string buttonLine(std::int64_t ms, hid::InputSet down, hid::InputSet up) const;
    std::string turnLine(int pair, const Turn& turn) const;

    MonitorOptions options_;
    hid::InputSet pressed_ = 0;
    std::array<Turn, kPairs> turns_{};
};

} // namespace monitor
