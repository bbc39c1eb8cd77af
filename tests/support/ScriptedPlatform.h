// A simulated platform whose boards follow a script in virtual time: each wait for an input
// report lets the time pass up to the next scripted moment or to the wait's end, whichever
// comes first, so that a monitor runs through seconds of presses at once.
#pragma once

#include "SimulatedPlatform.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace hid::sim {

class ScriptedPlatform : public SimulatedPlatform {
public:
    struct Event {
        std::int64_t ms;
        std::function<void()> act;
    };
    std::vector<Event> script; // in time order
    std::int64_t now = 1000;   // the clock does not start at 0
    std::vector<std::uint32_t> waits;

    InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer, std::uint32_t bufferLength,
                                 std::uint32_t& bytesRead, std::uint32_t timeoutMs) override {
        waits.push_back(timeoutMs);
        const std::int64_t end = now + timeoutMs;
        if (next_ < script.size() && script[next_].ms <= end) {
            now = std::max(now, script[next_].ms);
            while (next_ < script.size() && script[next_].ms == now)
                script[next_++].act();
        } else {
            now = end;
        }
        return SimulatedPlatform::WaitForInputReport(handle, buffer, bufferLength, bytesRead,
                                                     timeoutMs);
    }

private:
    std::size_t next_ = 0;
};

} // namespace hid::sim
