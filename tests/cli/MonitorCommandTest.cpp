// tessary32 monitor over simulated boards that press inputs in virtual time: what the command
// adds to the monitor core (the board chosen, its encoder pairs read from the board, how it
// ends and with which exit code).
#include "ScriptedPlatform.h"
#include "Cli.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using hid::sim::DeviceId;
using hid::sim::Op;
using ::testing::HasSubstr;

struct Watching {
    const char* name;
    std::vector<std::string> args;
    // Sets up the boards 0001 and 0002 and scripts what happens, at ms since the start.
    std::function<void(hid::sim::ScriptedPlatform&,
                       std::function<void(std::int64_t, std::function<void()>)>, bool& stop)>
        script;
    int code;
    std::string out;
    std::vector<std::string> err;
    bool waits = true; // for input reports
};

void PrintTo(const Watching& watching, std::ostream* out) {
    *out << watching.name;
}

class MonitorCommand : public ::testing::TestWithParam<Watching> {
protected:
    void TearDown() override {
        EXPECT_EQ(sim.openDeviceHandles(), 0);
        EXPECT_EQ(sim.openInfoSets(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
    }
    hid::sim::ScriptedPlatform sim;
};

TEST_P(MonitorCommand, ShowsTheChosenBoardsInputsUntilItEnds) {
    const Watching& watching = GetParam();
    for (const char16_t* serial : {u"0001", u"0002"}) {
        hid::sim::InterfaceSpec spec;
        spec.serial = serial;
        const DeviceId board = sim.add(spec);
        sim.firmware(board).memory[0x40] = 6; // 48 ms
    }
    bool stop = false;
    bool caught = false;
    const auto at = [this](std::int64_t ms, std::function<void()> act) {
        sim.script.push_back({1000 + ms, std::move(act)});
    };
    watching.script(sim, at, stop);
    cli::Environment environment;
    environment.catchInterrupt = [&] { caught = true; };
    environment.stopRequested = [&] { return stop; };
    environment.nowMs = [this] { return sim.now; };
    std::ostringstream out, err;

    EXPECT_EQ(cli::run(sim, watching.args, out, err, environment), watching.code) << err.str();

    EXPECT_EQ(out.str(), watching.out);
    for (const std::string& words : watching.err)
        EXPECT_THAT(err.str(), HasSubstr(words));
    EXPECT_EQ(!sim.waits.empty(), watching.waits);
    if (watching.waits) {
        EXPECT_TRUE(caught) << "Ctrl-C must stop the monitor, not end the process";
    }
    for (const hid::sim::Call& call : sim.callsOf(Op::HidD_SetFeature))
        EXPECT_NE(call.bytes.at(1), 0xEE) << "the monitor wrote a setting";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, MonitorCommand,
    ::testing::Values(Watching{"EncoderPairSetOnTheBoardShowsTurnsUntilUnplugged",
                               {"monitor"},
                               [](auto& sim, auto at, bool&) {
                                   sim.firmware(0).memory[0x24] = 0x04; // b5-b6: 1:2
                                   at(100, [&sim] { sim.press(0, 1); });
                                   at(150, [&sim] { sim.release(0, 1); });
                                   at(200, [&sim] { sim.press(0, 5); });
                                   at(248, [&sim] { sim.release(0, 5); });
                                   at(296, [&sim] { sim.press(0, 5); });
                                   at(344, [&sim] { sim.release(0, 5); });
                                   at(2000, [&sim] { sim.unplug(0); });
                               },
                               1,
                               "   100 ms  +B1\n"
                               "   150 ms  -B1\n"
                               "   200 ms  B5 B6 (1:2): 2 pulses on B5, 48 ms each\n",
                               {"encoders: B5 B6 (1:2)", "board 0001 (sim:hid#0) was unplugged"}},
                      Watching{"CtrlCStopsWithZeroAndSerialPicksTheBoard",
                               {"--serial", "0002", "monitor", "--json"},
                               [](auto& sim, auto at, bool& stop) {
                                   at(10, [&sim] { sim.press(0, 3); });
                                   at(20, [&sim] { sim.press(1, 4); });
                                   at(50, [&stop] { stop = true; });
                               },
                               0,
                               "{\"ms\":20,\"down\":[\"B4\"],\"up\":[]}\n",
                               {"board 0002 (sim:hid#1)", "encoders: none"}},
                      Watching{
                          "CheckFindsEachFaultOnceWithinItsSeconds",
                          {"check", "--seconds", "2"},
                          [](auto& sim, auto at, bool&) {
                              at(0, [&sim] { sim.press(0, 7); });
                              for (int bounce = 0; bounce < 4; ++bounce) {
                                  at(100 + 2 * bounce, [&sim] { sim.press(0, 3); });
                                  at(101 + 2 * bounce, [&sim] { sim.release(0, 3); });
                              }
                              for (int step = 0; step < 8; ++step)
                                  at(300 + 20 * step, [&sim, step] {
                                      if (step % 4 < 2)
                                          sim.press(0, 5 + step % 2);
                                      else
                                          sim.release(0, 5 + step % 2);
                                  });
                              at(2500, [&sim] { sim.press(0, 1); }); // after the check
                          },
                          1,
                          "stuck: B7 was down from the start and never let go\n"
                          "chatter: B3 changed 7 times within 5 ms of its last change "
                          "(the shortest 1 ms)\n"
                          "encoder off: B5 B6 moved as an encoder (8 steps in a row) but is "
                          "set to \"off\"; tessary32 --serial 0001 set b5-b6=1:1\n"
                          "silent: B1 B2 B4 B8 B9 B10 B11 B12 B13 B14 B15 B16 B17 B18 B19 "
                          "B20 B21 B22 B23 B24 B25 B26 B27 B28 B29 B30 B31 B32 never changed\n",
                          {"checking the inputs of board 0001 (sim:hid#0) for 2 s"}},
                      Watching{"DescriptorWithoutButtonsIsRefused",
                               {"monitor"},
                               [](auto& sim, auto, bool&) {
                                   // A mouse's X and Y, no buttons.
                                   sim.spec(0).reportDescriptor = {
                                       0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x09,
                                       0x31, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0};
                               },
                               1,
                               "",
                               {"board 0001 (sim:hid#0) declares no Button usages"},
                               false},
                      Watching{"SettingsThatCannotBeReadLeaveTheEncodersUnknown",
                               {"monitor"},
                               [](auto& sim, auto, bool&) { sim.setFailing(Op::HidD_GetFeature); },
                               1,
                               "",
                               {"the settings could not be read", "sim:hid#0"},
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
