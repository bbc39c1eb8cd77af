// Every platform call of opening and loading, and of each handler, made to fail in turn: call k
// fails for k = 1 to the number of calls of a clean run, one at a time. Whichever fails, nothing
// leaks, nothing is written to a board other than the one shown, and the window shows nothing
// the board does not hold; so too after the next tick.
#include "WindowFixture.h"
#include "WindowInvariants.h"

#include <functional>
#include <ostream>
#include <string>

namespace {

using hid::sim::kNoDevice;

struct Bench {
    hid::sim::SimulatedPlatform sim;
    std::unique_ptr<frmMain> window;
    DeviceId first = kNoDevice;
    DeviceId second = kNoDevice;

    // Another vendor's interface, a 1.3 board and a 1.2 board with other settings.
    Bench() {
        InterfaceSpec other;
        other.vendorId = 0x046D;
        sim.add(other);
        InterfaceSpec board;
        board.serial = u"A1";
        first = sim.add(board);
        board.serial = u"B2";
        board.versionNumber = 0x0102;
        second = sim.add(board);
        for (int channel = 1; channel <= config::kEncoderChannels; ++channel)
            sim.firmware(second).memory[config::encoderAddress(channel)] =
                config::encoderModeValue(channel % 4);
        sim.firmware(second).memory[config::kPulseWidthAddress] = 17;
        sim.firmware(second).memory[config::kRotStartAddress] = 9;
        sim.firmware(first).selfTestResult = 7;
        window = std::make_unique<frmMain>(sim);
    }
    void load() { window->Form_Load(); }
    void tick() { window->Timer_Timer(); }
};

struct Scenario {
    const char* name;
    std::function<void(Bench&)> before; // brings the window to where the handler runs
    std::function<void(Bench&)> handler;
};

const Scenario kScenarios[] = {
    {"Form_Load", [](Bench&) {}, [](Bench& bench) { bench.load(); }},
    {"TickWithTheBoardThere", [](Bench& bench) { bench.load(); },
     [](Bench& bench) { bench.tick(); }},
    {"TickAfterTheBoardWasUnplugged",
     [](Bench& bench) {
         bench.load();
         bench.sim.unplug(bench.second);
     },
     [](Bench& bench) { bench.tick(); }},
    {"TickFindingAPluggedBoard",
     [](Bench& bench) {
         bench.sim.unplug(bench.first);
         bench.sim.unplug(bench.second);
         bench.load();
         bench.sim.plug(bench.second);
     },
     [](Bench& bench) { bench.tick(); }},
    {"PickInSerNo", [](Bench& bench) { bench.load(); },
     [](Bench& bench) { pick(bench.window->SerNo, 0); }},
    {"PickInEnc5", [](Bench& bench) { bench.load(); },
     [](Bench& bench) { pick(bench.window->Enc[4], 2); }},
    {"PickInDelay", [](Bench& bench) { bench.load(); },
     [](Bench& bench) { pick(bench.window->Delay, 24); }},
    {"PickInRotStart", [](Bench& bench) { bench.load(); },
     [](Bench& bench) { pick(bench.window->RotStart, 0); }},
    {"SelftestClick",
     [](Bench& bench) {
         bench.load();
         pick(bench.window->SerNo, 0); // the 1.3 board
     },
     [](Bench& bench) { QTest::mouseClick(bench.window->Selftest, Qt::LeftButton); }},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class FaultInjection : public ::testing::TestWithParam<Scenario> {
protected:
    // The calls the handler makes when nothing fails.
    static int cleanRunCalls(const Scenario& scenario) {
        Bench bench;
        scenario.before(bench);
        int calls = 0;
        bench.sim.beforeCall = [&](Op, DeviceId) { ++calls; };
        scenario.handler(bench);
        return calls;
    }

    // Runs the handler with its call k failing; returns what the failed call was.
    static std::string runFailingCall(Bench& bench, const Scenario& scenario, int k,
                                      std::vector<std::string>& found) {
        const reliability::WindowInvariants invariants(bench.sim, *bench.window);
        std::string failed = "nothing (the run made fewer calls)";
        std::optional<std::pair<Op, DeviceId>> failing;
        int calls = 0;
        bench.sim.beforeCall = [&](Op op, DeviceId device) {
            if (failing)
                bench.sim.setFailing(failing->first, false, failing->second);
            failing.reset();
            if (++calls == k) {
                bench.sim.setFailing(op, true, device);
                failing = {op, device};
                failed = std::string(hid::sim::opName(op)) + " on device " + std::to_string(device);
            }
            if (op == Op::HidD_SetFeature)
                if (std::string wrong = invariants.writeViolation(device); !wrong.empty())
                    found.push_back(wrong);
        };
        scenario.handler(bench);
        bench.sim.beforeCall = nullptr;
        if (failing)
            bench.sim.setFailing(failing->first, false, failing->second);
        return failed;
    }
};

TEST_P(FaultInjection, EachFailingCallLeavesTheWindowHonest) {
    const Scenario& scenario = GetParam();
    const int calls = cleanRunCalls(scenario);
    ASSERT_GT(calls, 0);
    for (int k = 1; k <= calls; ++k) {
        Bench bench;
        scenario.before(bench);
        std::vector<std::string> found;
        const std::string failed = runFailingCall(bench, scenario, k, found);
        const reliability::WindowInvariants invariants(bench.sim, *bench.window);
        for (const std::string& violation : invariants.violations())
            found.push_back(violation);
        bench.tick();
        for (const std::string& violation : invariants.violations())
            found.push_back("after the next tick: " + violation);
        EXPECT_TRUE(found.empty()) << "call " << k << " of " << calls << " failing: " << failed
                                   << "\n  " << ::testing::PrintToString(found);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultInjection, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
