// What a person wiring a board wants to know of its inputs: one event per change, with the time
// since the start, the inputs that went down and those that went up. The two inputs of a pair
// in an encoder mode carry the encoder's steps as pulses; those are gathered into one event per
// turn that counts the pulses on each input and tells how long they lasted. Each front end
// chooses the words for them.
#pragma once

#include "Protocol.h"
#include "ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
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
};

// Inputs that went down or up, as of ms since the start. firstReport: the board's first input
// report, so its inputs down may have been down before monitoring began.
struct InputChange {
    std::int64_t ms = 0;
    hid::InputSet down = 0;
    hid::InputSet up = 0;
    bool firstReport = false;
};

// One turn of the encoder on pair (0 for B1 B2): the pulses on each of its two inputs, the
// shortest and longest of them, and the inputs still down when it was closed.
struct EncoderTurn {
    std::int64_t ms = 0; // its first change
    int pair = 0;
    std::string mode;
    std::array<int, 2> pulses{};
    std::optional<std::int64_t> shortestMs;
    std::optional<std::int64_t> longestMs;
    hid::InputSet held = 0;
};

enum class MonitorEnd {
    Stopped,    // asked to stop
    Unplugged,  // the board went away
    ReadFailed, // reading failed for another reason
    NoLayout,   // the board's report descriptor could not be had
    NoButtons,  // its descriptor declares no Button usages
};

// Monitoring ended otherwise than asked; errorCode is the platform's, 0 when it gave none.
struct MonitorEnded {
    MonitorEnd end = MonitorEnd::Stopped;
    int errorCode = 0;
};

// Input reports that could not be read, told once when monitoring stops.
struct ReportsSkipped {
    std::uint64_t wrongLength = 0;     // a length the descriptor does not give
    std::uint64_t unknownReportId = 0; // an ID the descriptor does not declare
};

using MonitorEvent = std::variant<InputChange, EncoderTurn, MonitorEnded, ReportsSkipped>;
using MonitorEvents = std::vector<MonitorEvent>;

class InputMonitor {
public:
    explicit InputMonitor(MonitorOptions options);

    // The inputs pressed as of ms since the start; gives the events of what changed.
    MonitorEvents update(std::int64_t ms, hid::InputSet pressed);
    // The turns that have ended by ms.
    MonitorEvents expire(std::int64_t ms);
    // When the earliest turn under way ends if no pulse comes, or nothing.
    std::optional<std::int64_t> nextExpiry() const;
    // Every turn still under way, when monitoring stops.
    MonitorEvents finish();

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
    EncoderTurn turnEvent(int pair, const Turn& turn) const;

    MonitorOptions options_;
    hid::InputSet pressed_ = 0;
    bool anyReport_ = false;
    std::array<Turn, kPairs> turns_{};
};

} // namespace monitor
