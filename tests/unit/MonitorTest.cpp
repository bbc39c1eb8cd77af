#include "ScriptedPlatform.h"
#include "BoardConnection.h"
#include "InputMonitor.h"
#include "MonitorLoop.h"
#include "MonitorText.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using hid::InputSet;
using monitor::InputMonitor;
using monitor::MonitorEnd;
using monitor::MonitorOptions;
using Lines = std::vector<std::string>;

constexpr InputSet B(int n) {
    return InputSet{1} << (n - 1);
}

// The inputs pressed from a moment on.
struct Step {
    std::int64_t ms;
    InputSet pressed;
};

// Pulses on one input: count pulses of width ms each, gap ms apart, from start on.
std::vector<Step> pulses(int input, int count, std::int64_t start, std::int64_t width,
                         std::int64_t gap = 10) {
    std::vector<Step> steps;
    for (int i = 0; i < count; ++i) {
        const std::int64_t down = start + i * (width + gap);
        steps.push_back({down, B(input)});
        steps.push_back({down + width, 0});
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

struct Turning {
    const char* name;
    std::string mode; // of the pair B5 B6
    std::vector<Step> steps;
    Lines lines;
    bool json = false;
};

void PrintTo(const Turning& turning, std::ostream* out) {
    *out << turning.name;
}

// Feeds the steps one by one, letting the time pass between them, then lets the last turn end.
Lines monitorLines(const Turning& turning) {
    MonitorOptions options;
    options.pairModes[2] = turning.mode;
    options.turnQuietMs = 200;
    InputMonitor monitor(options);
    Lines lines;
    std::ostringstream out, err;
    cli::MonitorWriter writer(out, err, "0001", turning.json);
    const auto add = [&](const monitor::MonitorEvents& events) {
        for (const monitor::MonitorEvent& event : events)
            writer(event);
        std::istringstream written(out.str());
        out.str({});
        for (std::string line; std::getline(written, line);)
            lines.push_back(line);
    };
    for (const Step& step : turning.steps) {
        add(monitor.expire(step.ms));
        add(monitor.update(step.ms, step.pressed));
    }
    const std::int64_t last = turning.steps.empty() ? 0 : turning.steps.back().ms;
    add(monitor.expire(last + 199));
    add(monitor.expire(last + 200));
    add(monitor.finish());
    return lines;
}

class TurnsSeen : public ::testing::TestWithParam<Turning> {};

TEST_P(TurnsSeen, AsOneLinePerChangeOrPerTurn) {
    EXPECT_EQ(monitorLines(GetParam()), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    InputMonitor, TurnsSeen,
    ::testing::Values(
        Turning{"OffShowsEachEdge",
                "off",
                pulses(5, 2, 100, 48),
                {"   100 ms  +B5", "   148 ms  -B5", "   158 ms  +B5", "   206 ms  -B5"}},
        Turning{"OneToOne",
                "1:1",
                pulses(5, 1, 100, 48),
                {"   100 ms  B5 B6 (1:1): 1 pulse on B5, 48 ms"}},
        Turning{"OneToTwo",
                "1:2",
                pulses(6, 2, 100, 48),
                {"   100 ms  B5 B6 (1:2): 2 pulses on B6, 48 ms each"}},
        Turning{"OneToFour",
                "1:4",
                pulses(5, 4, 100, 200, 30),
                {"   100 ms  B5 B6 (1:4): 4 pulses on B5, 200 ms each"}},
        Turning{"TurnedForthAndBack",
                "1:4",
                pulses(5, 4, 100, 48) + pulses(6, 4, 400, 48),
                {"   100 ms  B5 B6 (1:4): 4 pulses on B5 and 4 on B6, 48 ms each"}},
        Turning{"UnevenPulses",
                "1:2",
                std::vector<Step>{{0, B(5)}, {40, 0}, {50, B(5)}, {106, 0}},
                {"     0 ms  B5 B6 (1:2): 2 pulses on B5, 40 to 56 ms"}},
        Turning{"PauseLongerThanQuietMakesTwoTurns",
                "1:1",
                pulses(5, 1, 0, 8) + pulses(6, 1, 208, 8),
                {"     0 ms  B5 B6 (1:1): 1 pulse on B5, 8 ms",
                 "   208 ms  B5 B6 (1:1): 1 pulse on B6, 8 ms"}},
        Turning{"ButtonsBesideATurnShowAtOnce",
                "1:2",
                std::vector<Step>{{0, B(5)}, {48, B(1)}, {50, B(1) | B(32)}, {60, B(32)}},
                {"    48 ms  +B1", "    50 ms  +B32", "    60 ms  -B1",
                 "     0 ms  B5 B6 (1:2): 1 pulse on B5, 48 ms"}},
        Turning{"InputHeldWhenMonitoringStops",
                "1:2",
                std::vector<Step>{{0, B(5)}, {48, 0}, {300, B(6)}},
                {"     0 ms  B5 B6 (1:2): 1 pulse on B5, 48 ms",
                 "   300 ms  B5 B6 (1:2): no whole pulse, still down: B6"}},
        Turning{"Json",
                "1:2",
                std::vector<Step>{{7, B(1) | B(5)}, {55, B(1) | B(6)}, {103, B(2)}},
                {R"({"ms":7,"down":["B1"],"up":[]})", R"({"ms":103,"down":["B2"],"up":["B1"]})",
                 R"({"ms":7,"pair":"B5 B6","mode":"1:2","pulses":{"B5":1,"B6":1},)"
                 R"("shortestMs":48,"longestMs":48,"held":[]})"},
                true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The monitor over a simulated board ----

using hid::sim::ScriptedPlatform;

class MonitorOverSimulatedBoard : public ::testing::Test {
protected:
    MonitorOverSimulatedBoard() {
        board = sim.add(hid::sim::InterfaceSpec{});
        options.pairModes[2] = "1:2";
        options.turnQuietMs = 200;
    }

    void at(std::int64_t ms, std::function<void()> act) {
        sim.script.push_back({1000 + ms, std::move(act)});
    }

    monitor::MonitorResult run() {
        hid::BoardConnection connection(sim);
        EXPECT_TRUE(connection.FindTheHid("0001"));
        const monitor::MonitoredBoard monitored{connection.featureHandle, connection.readHandle,
                                                connection.capabilities.InputReportByteLength};
        const monitor::MonitorIo io{[this] { return sim.now; }, [this] { return stop; },
                                    cli::MonitorWriter(out, err, "0001", false)};
        const monitor::MonitorResult result = monitor::runMonitor(sim, monitored, options, io);
        connection.closeBoard();
        EXPECT_EQ(sim.openDeviceHandles(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
        return result;
    }

    ScriptedPlatform sim;
    hid::sim::DeviceId board = 0;
    MonitorOptions options;
    std::ostringstream out;
    std::ostringstream err;
    bool stop = false;
};

TEST_F(MonitorOverSimulatedBoard, ShowsPressesAndTurnsUntilTheBoardIsUnplugged) {
    at(100, [&] { sim.press(board, 1); });
    at(150, [&] { sim.release(board, 1); });
    at(200, [&] { sim.press(board, 5); });
    at(248, [&] { sim.release(board, 5); });
    at(260, [&] { sim.press(board, 5); });
    at(308, [&] { sim.release(board, 5); });
    at(400, [&] { sim.press(board, 32); });
    at(5000, [&] { sim.unplug(board); });

    const monitor::MonitorResult result = run();

    EXPECT_EQ(out.str(), "   100 ms  +B1\n"
                         "   150 ms  -B1\n"
                         "   400 ms  +B32\n"
                         "   200 ms  B5 B6 (1:2): 2 pulses on B5, 48 ms each\n");
    EXPECT_EQ(result.end, MonitorEnd::Unplugged);
    EXPECT_EQ(cli::monitorExitCode(result.end), 1);
    EXPECT_EQ(err.str(), "tessary32: board 0001 was unplugged\n");
    EXPECT_EQ(result.reports, 7u);
    EXPECT_LE(*std::max_element(sim.waits.begin(), sim.waits.end()), monitor::kLongestWaitMs)
        << "a request to stop is seen within the longest wait";
    EXPECT_NE(std::find(sim.waits.begin(), sim.waits.end(), 200u), sim.waits.end())
        << "after the last pulse the wait ends when the turn does";
}

TEST_F(MonitorOverSimulatedBoard, StopsWhenAskedAndClosesTheTurnUnderWay) {
    at(10, [&] { sim.press(board, 6); });
    at(58, [&] { sim.release(board, 6); });
    at(60, [&] { stop = true; });

    const monitor::MonitorResult result = run();

    EXPECT_EQ(out.str(), "    10 ms  B5 B6 (1:2): 1 pulse on B6, 48 ms\n");
    EXPECT_EQ(result.end, MonitorEnd::Stopped);
    EXPECT_EQ(cli::monitorExitCode(result.end), 0);
    EXPECT_EQ(err.str(), "");
}

TEST_F(MonitorOverSimulatedBoard, SkipsAndCountsReportsTheDescriptorDoesNotDeclare) {
    at(10, [&] { sim.sendInputReport(board, {0, 0xFF, 0xFF, 0xFF}); });
    at(20, [&] { sim.sendInputReport(board, {7, 0xFF, 0xFF, 0xFF, 0xFF}); });
    at(30, [&] { sim.sendInputReport(board, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}); });
    at(40, [&] { sim.press(board, 3); });
    at(50, [&] { stop = true; });

    const monitor::MonitorResult result = run();

    EXPECT_EQ(out.str(), "    40 ms  +B3\n");
    EXPECT_EQ(result.wrongLength, 2u);
    EXPECT_EQ(result.unknownReportId, 1u);
    EXPECT_EQ(err.str(), "tessary32: skipped 2 input reports of a length the report descriptor "
                         "does not give\n"
                         "tessary32: skipped 1 input reports with a report ID the report "
                         "descriptor does not declare\n");
}

TEST_F(MonitorOverSimulatedBoard, DescriptorWithoutButtonsIsRefusedBeforeAnyRead) {
    // A mouse: X and Y, no buttons.
    sim.spec(board).reportDescriptor = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x09,
                                        0x31, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0};
    const monitor::MonitorResult result = run();
    EXPECT_EQ(result.end, MonitorEnd::NoButtons);
    EXPECT_EQ(cli::monitorExitCode(result.end), 1);
    EXPECT_EQ(err.str(), "tessary32: the report descriptor of board 0001 declares no Button "
                         "usages in its input reports, so its inputs cannot be told apart\n");
    EXPECT_TRUE(sim.waits.empty());
}

} // namespace
