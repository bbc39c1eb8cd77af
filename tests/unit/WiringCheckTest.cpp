// The wiring check on recorded input sequences: what a turned encoder, a bouncing switch and a
// person's hand each look like in the board's reports, fed through the monitor as they came.
#include "WiringCheck.h"

#include "InputMonitor.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using hid::InputSet;
using monitor::Finding;

constexpr InputSet B(int n) {
    return InputSet{1} << (n - 1);
}

struct Step {
    std::int64_t ms;
    InputSet pressed;
};

// The quadrature cycle of B5 B6 stepped count times forward (B5 leads) or back, stepMs apart,
// resting restMs after every fourth step as between two detents.
std::vector<Step> quadrature(std::int64_t start, int count, bool forward, std::int64_t stepMs,
                             std::int64_t restMs = 0, InputSet others = 0) {
    const InputSet cycle[4] = {0, B(5), B(5) | B(6), B(6)};
    std::vector<Step> steps;
    std::int64_t ms = start;
    for (int step = 1; step <= count; ++step) {
        ms += stepMs + (step > 1 && (step - 1) % 4 == 0 ? restMs : 0);
        steps.push_back({ms, cycle[(forward ? step : 4 - step % 4) % 4] | others});
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// A finding as the table writes it: "encoder B5", "stuck B7", "chatter B3 4".
std::string named(const Finding& finding) {
    switch (finding.kind) {
    case Finding::Kind::Stuck:
        return "stuck B" + std::to_string(finding.input + 1);
    case Finding::Kind::Chatter:
        return "chatter B" + std::to_string(finding.input + 1) + " " +
               std::to_string(finding.count);
    case Finding::Kind::EncoderOff:
        return "encoder B" + std::to_string(2 * finding.pair + 1) + " " +
               std::to_string(finding.count);
    case Finding::Kind::Silent:
        return "silent";
    }
    return {};
}

struct Recorded {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> findings; // besides silence
};

void PrintTo(const Recorded& recorded, std::ostream* out) {
    *out << recorded.name;
}

class WiringCheckFinds : public ::testing::TestWithParam<Recorded> {};

TEST_P(WiringCheckFinds, WhatTheRecordedSequenceShows) {
    monitor::MonitorOptions options;
    options.pairModes.fill("off");
    options.pairModes[15] = "1:4"; // B31 B32 sends pulses, never quadrature
    monitor::InputMonitor inputs(options);
    std::array<bool, monitor::kPairs> encoders{};
    encoders[15] = true;
    monitor::WiringCheck check(encoders, {});
    for (const Step& step : GetParam().steps)
        for (const monitor::MonitorEvent& event : inputs.update(step.ms, step.pressed))
            check.take(event);
    std::vector<std::string> found;
    for (const Finding& finding : check.findings())
        if (finding.kind != Finding::Kind::Silent)
            found.push_back(named(finding));
    EXPECT_EQ(found, GetParam().findings);
}

INSTANTIATE_TEST_SUITE_P(
    WiringCheck, WiringCheckFinds,
    ::testing::Values(
        Recorded{"EncoderTurnedThreeDetentsOnAnOffPair",
                 quadrature(0, 12, true, 3, 200),
                 {"encoder B5 12"}},
        Recorded{"EncoderTurnedBackwardSlowly", quadrature(0, 8, false, 40, 900), {"encoder B5 8"}},
        Recorded{"ReversalStartsTheRunAgain",
                 quadrature(0, 6, true, 3) + quadrature(100, 6, false, 3),
                 {}},
        Recorded{"BothInputsAtOnceIsNoStep",
                 std::vector<Step>{{0, B(5)},
                                   {10, B(5) | B(6)},
                                   {20, 0},
                                   {30, B(5)},
                                   {40, B(5) | B(6)},
                                   {50, B(6)},
                                   {60, 0},
                                   {70, B(5)},
                                   {80, B(5) | B(6)},
                                   {90, 0}},
                 {}},
        Recorded{"PersonRollsTwoButtonsOnce",
                 std::vector<Step>{{0, B(5)}, {180, B(5) | B(6)}, {400, B(6)}, {650, 0}},
                 {}},
        Recorded{"PersonPressesEachOfThePairInTurn",
                 std::vector<Step>{{0, B(5)},
                                   {150, 0},
                                   {500, B(6)},
                                   {650, 0},
                                   {1000, B(5)},
                                   {1150, 0},
                                   {1500, B(6)},
                                   {1650, 0},
                                   {2000, B(5)},
                                   {2150, 0}},
                 {}},
        Recorded{"HeldFromTheFirstReportIsStuck",
                 std::vector<Step>{{0, B(7) | B(1)}, {300, B(7)}, {900, B(7) | B(2)}, {1000, B(7)}},
                 {"stuck B7"}},
        Recorded{"ReleasedLaterIsNotStuck", std::vector<Step>{{0, B(7)}, {5000, 0}}, {}},
        Recorded{"BouncingSwitchChatters",
                 std::vector<Step>{{0, 0},
                                   {100, B(3)},
                                   {102, 0},
                                   {103, B(3)},
                                   {400, 0},
                                   {401, B(3)},
                                   {403, 0},
                                   {800, B(3)},
                                   {900, 0}},
                 {"chatter B3 4"}},
        Recorded{"TwoQuickPressesAreNoChatter",
                 std::vector<Step>{{100, B(3)}, {180, 0}, {240, B(3)}, {300, 0}},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WiringCheck, SilentAreTheInputsThatNeverChangedNorWereHeld) {
    monitor::MonitorOptions options;
    options.pairModes.fill("off");
    options.pairModes[15] = "1:4";
    monitor::InputMonitor inputs(options);
    std::array<bool, monitor::kPairs> encoders{};
    encoders[15] = true;
    monitor::WiringCheck check(encoders, {});
    const std::vector<Step> steps{{0, B(2)}, {200, 0}, {300, B(31)}, {348, 0}, {600, B(9)}};
    for (const Step& step : steps)
        for (const monitor::MonitorEvent& event : inputs.update(step.ms, step.pressed))
            check.take(event);
    for (const monitor::MonitorEvent& event : inputs.finish())
        check.take(event);
    const std::vector<Finding> findings = check.findings();
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(findings.back().kind, Finding::Kind::Silent);
    EXPECT_EQ(findings.back().inputs, ~(B(2) | B(31) | B(9)))
        << "B2 was pressed, B31 turned as an encoder, B9 went down after the start";
}

} // namespace
