// The connection supervisor: start-up, the poll timer's ticks, picks in the serial-number list
// and shutdown, driven tick by tick over simulated boards.
#include "WindowFixture.h"

namespace {

class SupervisorTest : public WindowFixture {};

TEST_F(SupervisorTest, StartWithoutBoardSearchesEveryTickAt50ms) {
    load();
    EXPECT_FALSE(attached());
    EXPECT_FALSE(window->settingsLoaded);
    EXPECT_TRUE(window->serialListReady);
    EXPECT_TRUE(timerRunning());
    EXPECT_EQ(interval(), 50);
    EXPECT_EQ(window->SerNo->count(), 0);
    EXPECT_FALSE(window->SerNo->isEnabled());

    const std::size_t scansBefore = callCount(Op::SetupDiGetClassDevsA);
    tick();
    tick();
    // Each tick: one walk to list the boards, one to look for the selected one.
    EXPECT_EQ(callCount(Op::SetupDiGetClassDevsA), scansBefore + 4);
    EXPECT_EQ(interval(), 50);
    EXPECT_FALSE(attached());
}

TEST_F(SupervisorTest, StartWithBoardLoadsItBeforeTheTimerRuns) {
    const DeviceId board = addBoard(u"A1");
    bool loadedBeforeTimer = false;
    sim.beforeCall = [&](Op, DeviceId) {
        if (window && window->settingsLoaded && !timerRunning())
            loadedBeforeTimer = true;
    };
    load();
    sim.beforeCall = nullptr;
    EXPECT_TRUE(attached());
    EXPECT_EQ(openBoard(), board);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 50);
    EXPECT_TRUE(timerRunning());
    EXPECT_FALSE(loadedBeforeTimer) << "settingsLoaded is the last step before the timer";

    tick();
    EXPECT_EQ(interval(), 500);
    EXPECT_TRUE(attached());
    EXPECT_EQ(callCount(Op::CreateEventA), 1u);
}

TEST_F(SupervisorTest, PresentBoardCostsOneReadPerTick) {
    addBoard(u"A1");
    load();
    sim.clearCalls();
    tick();
    ASSERT_EQ(sim.calls().size(), 1u);
    EXPECT_EQ(sim.calls()[0].op, Op::ReadFile);
    EXPECT_EQ(sim.calls()[0].length, 5u) << "the read asks for the input report's length";
}

TEST_F(SupervisorTest, InputReportsLongerThan65BytesAreReadWhole) {
    const DeviceId board = addBoard(u"A1");
    sim.spec(board).inputReportLength = 600;
    load();
    tick();
    tick();
    const std::vector<Call> reads = sim.callsOf(Op::ReadFile);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].length, 600u);
    EXPECT_EQ(reads[1].result, 1);
    EXPECT_EQ(interval(), 500);
}

TEST_F(SupervisorTest, BoardPluggedInLaterIsOpenedAtTheNextTick) {
    load();
    const DeviceId board = addBoard(u"A1");
    tick();
    EXPECT_EQ(openBoard(), board);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 50);
    tick();
    EXPECT_EQ(interval(), 500);
}

TEST_F(SupervisorTest, UnplugClosesBothHandlesAndSearchesAt250ms) {
    const DeviceId board = addBoard(u"A1");
    load();
    tick();
    const hid::Handle featureHandle = window->session.board().featureHandle;
    const hid::Handle readHandle = window->session.board().readHandle;
    sim.unplug(board);
    sim.clearCalls();
    tick();

    EXPECT_FALSE(attached());
    EXPECT_FALSE(window->settingsLoaded);
    EXPECT_EQ(interval(), 250);
    EXPECT_TRUE(timerRunning());
    ASSERT_GE(sim.calls().size(), 3u);
    EXPECT_EQ(sim.calls()[0].op, Op::ReadFile);
    EXPECT_EQ(sim.calls()[1].op, Op::CloseHandle);
    EXPECT_EQ(sim.calls()[1].handle, featureHandle);
    EXPECT_EQ(sim.calls()[2].op, Op::CloseHandle);
    EXPECT_EQ(sim.calls()[2].handle, readHandle);
    EXPECT_EQ(callCount(Op::SetupDiGetClassDevsA), 2u) << "the same tick searches again";
    EXPECT_EQ(window->SerNo->count(), 0);
    EXPECT_FALSE(window->Frame3->isEnabled());
    EXPECT_EQ(window->session.board().featureHandle, hid::kInvalidHandle);

    tick();
    EXPECT_EQ(interval(), 250) << "searching keeps the interval";
}

TEST_F(SupervisorTest, ReplugAfterLossReopensWithTheSameReadEvent) {
    const DeviceId board = addBoard(u"A1");
    load();
    const hid::Handle readEvent = window->session.board().readEvent;
    sim.unplug(board);
    tick();
    sim.plug(board);
    tick();
    EXPECT_EQ(openBoard(), board);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 250) << "until the first successful check";
    EXPECT_EQ(sim.eventsCreated(), 1);
    EXPECT_EQ(window->session.board().readEvent, readEvent);
    EXPECT_EQ(window->session.board().readOverlapped.hEvent, readEvent);
    EXPECT_EQ(window->session.board().readOverlapped.Offset, 0u);
    tick();
    EXPECT_EQ(interval(), 500);
}

TEST_F(SupervisorTest, LosingTheOpenBoardOpensTheLastOtherOneInTheSameTick) {
    const DeviceId first = addBoard(u"A1");
    const DeviceId second = addBoard(u"B2");
    const DeviceId third = addBoard(u"C3");
    load();
    EXPECT_EQ(openBoard(), third);
    sim.unplug(third);
    tick();
    EXPECT_EQ(openBoard(), second);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(window->SerNo->selectedText(), "B2");
    (void)first;
}

// A board that sends input reports only on change leaves the presence read pending: it stays
// open and loaded, each tick only looks at the read, and no list is emptied or refilled.
TEST_F(SupervisorTest, IdleBoardStaysOpenWhileItsPresenceReadIsPending) {
    const DeviceId board = addBoard(u"A1");
    sim.setInputReady(board, false);
    load();
    const QStringList modes = items(window->Enc[0]);
    const int picked = window->Enc[0]->listIndex();
    sim.clearCalls();
    for (int i = 0; i < 12; ++i)
        tick();
    EXPECT_EQ(openBoard(), board);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 500);
    EXPECT_EQ(callCount(Op::ReadFile), 1u) << "one read, kept in flight";
    EXPECT_EQ(callCount(Op::GetOverlappedResult), 11u);
    EXPECT_EQ(sim.calls().size(), 12u) << "nothing else: no reload";
    EXPECT_EQ(items(window->Enc[0]), modes);
    EXPECT_EQ(window->Enc[0]->listIndex(), picked);

    sim.press(board, 1);
    tick();
    EXPECT_EQ(callCount(Op::ReadFile), 2u) << "the report came: the next read is started";
    sim.unplug(board);
    tick();
    EXPECT_FALSE(attached()) << "the pending read completed with the removal's error";
    EXPECT_EQ(interval(), 250);
}

// Every way of closing the board while its read is pending cancels the read and waits for it
// before either handle is closed.
TEST_F(SupervisorTest, ClosingWithAReadPendingCancelsAndWaitsFirst) {
    const std::vector<std::pair<const char*, std::function<void(frmMain&)>>> closings{
        {"pick in SerNo", [](frmMain& w) { pick(w.SerNo, 0); }},
        {"unload", [](frmMain& w) { w.Form_Unload(); }},
        {"loss",
         [this](frmMain& w) {
             sim.setFailing(Op::GetOverlappedResult);
             w.Timer_Timer();
             sim.setFailing(Op::GetOverlappedResult, false);
         }},
    };
    for (const auto& [name, close] : closings) {
        SCOPED_TRACE(name);
        sim = {};
        const DeviceId board = addBoard(u"A1");
        sim.setInputReady(board, false);
        load();
        tick();
        ASSERT_EQ(sim.readsInFlight(), 1);
        sim.clearCalls();
        close(*window);
        std::vector<Op> firstOps;
        for (const Call& call : sim.calls())
            if (firstOps.size() < 4)
                firstOps.push_back(call.op);
        const bool cancelled = std::string(name) != "loss";
        const std::vector<Op> expected =
            cancelled ? std::vector<Op>{Op::CancelIoEx, Op::GetOverlappedResult, Op::CloseHandle,
                                        Op::CloseHandle}
                      : std::vector<Op>{Op::GetOverlappedResult, Op::CloseHandle, Op::CloseHandle,
                                        Op::HidD_GetHidGuid};
        EXPECT_EQ(firstOps, expected);
        if (cancelled) {
            EXPECT_EQ(sim.calls()[1].length, 1u) << "the result is waited for";
        }
        EXPECT_EQ(sim.readMisuses(), hid::sim::ReadMisuses{});
        EXPECT_EQ(sim.readsInFlight(), 0);
        window.reset();
    }
}

TEST_F(SupervisorTest, PickOfAnotherBoardSwitchesToItWithTheTimerStopped) {
    const DeviceId first = addBoard(u"A1");
    addBoard(u"B2");
    addBoard(u"C3");
    load();
    tick();
    bool timerRanDuringPick = false;
    sim.beforeCall = [&](Op, DeviceId) { timerRanDuringPick |= timerRunning(); };
    window->SerNo->setListIndex(0);
    sim.beforeCall = nullptr;

    EXPECT_FALSE(timerRanDuringPick);
    EXPECT_TRUE(timerRunning());
    EXPECT_EQ(openBoard(), first);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 250);
    EXPECT_EQ(items(window->SerNo), QStringList({"A1", "B2", "C3"})) << "the list is not rebuilt";
}

TEST_F(SupervisorTest, PickOfTheOpenBoardReopensAndReloadsIt) {
    const DeviceId board = addBoard(u"A1");
    addBoard(u"B2");
    load();
    window->SerNo->setListIndex(0);
    tick();
    sim.clearCalls();
    window->SerNo->setListIndex(0);
    EXPECT_EQ(openBoard(), board);
    ASSERT_GE(sim.calls().size(), 2u);
    EXPECT_EQ(sim.calls()[0].op, Op::CloseHandle);
    EXPECT_EQ(sim.calls()[1].op, Op::CloseHandle);
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].bytes[1], config::kReadBackRequest);
    EXPECT_EQ(interval(), 250);
}

TEST_F(SupervisorTest, PickOfAVanishedBoardSearchesAndTheNextTickOpensTheLastOne) {
    const DeviceId first = addBoard(u"A1");
    const DeviceId second = addBoard(u"B2");
    load();
    sim.unplug(first);
    window->SerNo->setListIndex(0);
    EXPECT_FALSE(attached());
    EXPECT_TRUE(timerRunning());
    EXPECT_EQ(interval(), 250);
    EXPECT_FALSE(window->Frame3->isEnabled());
    tick();
    EXPECT_EQ(openBoard(), second);
}

// The board is listed, then gone before it can be opened: the window searches at 50 ms with
// the board still in the list, and picks in the list neither lose nor change the interval.
TEST_F(SupervisorTest, PicksWhileSearchingKeepTheInterval) {
    const DeviceId board = addBoard(u"A1");
    int walks = 0;
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::SetupDiGetClassDevsA && ++walks == 2)
            sim.unplug(board);
    };
    load();
    sim.beforeCall = nullptr;
    ASSERT_FALSE(attached());
    ASSERT_EQ(items(window->SerNo), QStringList{"A1"});

    window->SerNo->setListIndex(0);
    EXPECT_FALSE(attached());
    EXPECT_EQ(interval(), 50);
    EXPECT_TRUE(timerRunning());

    sim.plug(board);
    window->SerNo->setListIndex(0);
    EXPECT_EQ(openBoard(), board);
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(interval(), 50);
}

TEST_F(SupervisorTest, SelectionsMadeWhileListingDoNothing) {
    addBoard(u"A1");
    addBoard(u"B2");
    addBoard(u"C3");
    load();
    // Three selections were raised while listing; only start-up's own load read the board.
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(callCount(Op::CreateEventA), 1u);
    // Scan: one open per interface; find: one per interface up to the last board, and the
    // second handle.
    EXPECT_EQ(callCount(Op::CreateFileA), 3u + 3u + 1u);
}

TEST_F(SupervisorTest, UnloadWhileSearchingClosesNothing) {
    load();
    sim.clearCalls();
    window->close();
    EXPECT_FALSE(timerRunning());
    EXPECT_FALSE(window->serialListReady);
    EXPECT_EQ(callCount(Op::CloseHandle), 0u);
}

TEST_F(SupervisorTest, UnloadWhileAttachedClosesBothHandlesFeatureFirst) {
    addBoard(u"A1");
    load();
    const hid::Handle featureHandle = window->session.board().featureHandle;
    const hid::Handle readHandle = window->session.board().readHandle;
    sim.clearCalls();
    window->close();
    EXPECT_FALSE(timerRunning());
    EXPECT_EQ(sim.openDeviceHandles(), 0);
    ASSERT_EQ(sim.calls().size(), 2u);
    EXPECT_EQ(sim.calls()[0].op, Op::CloseHandle);
    EXPECT_EQ(sim.calls()[0].handle, featureHandle);
    EXPECT_EQ(sim.calls()[1].handle, readHandle);
    window.reset(); // closed for good: nothing is left to check for leaks
}

} // namespace

namespace {

// With two boards, a board that misses one presence check comes back as the one the user
// picked, never silently the other: the next pick must not write to a board they did not choose.
TEST_F(SupervisorTest, PickedBoardStaysPickedAfterAMissedPresenceCheck) {
    const DeviceId picked = addBoard(u"A1");
    addBoard(u"B2");
    load();
    pick(window->SerNo, 0);
    ASSERT_EQ(openBoard(), picked);
    sim.setFailing(Op::ReadFile, true, picked);
    tick();
    sim.setFailing(Op::ReadFile, false, picked);
    EXPECT_EQ(openBoard(), picked);
    EXPECT_EQ(window->SerNo->selectedText(), "A1");
    sim.clearCalls();
    pick(window->Enc[0], 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].device, picked);
}

// The timer's own tick drives the supervisor: run the event loop, never the handler.
TEST_F(SupervisorTest, TimerTicksOnItsOwnAndReadsOnTheNonBlockingHandle) {
    const DeviceId board = addBoard(u"A1");
    load();
    const std::vector<Call> opens = sim.callsOf(Op::CreateFileA);
    ASSERT_GE(opens.size(), 2u);
    EXPECT_EQ(opens.back().length, hid::FILE_FLAG_OVERLAPPED) << "the read handle is opened last";
    sim.clearCalls();
    ASSERT_TRUE(QTest::qWaitFor([&] { return callCount(Op::ReadFile) > 0; }, 10000))
        << "no tick reached the supervisor";
    const std::vector<Call> reads = sim.callsOf(Op::ReadFile);
    for (const Call& read : reads) {
        EXPECT_EQ(read.handle, window->session.board().readHandle);
        EXPECT_NE(read.handle, window->session.board().featureHandle);
    }
    EXPECT_EQ(openBoard(), board);
}

} // namespace
