// The serial-number list: which boards it shows, which entry it selects, when the user can
// pick, and which board a pick opens.
#include "WindowFixture.h"

namespace {

class EnumerationTest : public WindowFixture {};

TEST_F(EnumerationTest, NoBoardLeavesTheListEmptyDisabledAndUnselected) {
    addOtherDevice(0x046D, 0xC52B);
    load();
    EXPECT_EQ(window->SerNo->count(), 0);
    EXPECT_FALSE(window->SerNo->isEnabled());
    EXPECT_EQ(window->SerNo->listIndex(), -1);
    EXPECT_EQ(window->SerNo->selectedText(), "");
}

TEST_F(EnumerationTest, OneBoardIsSelectedButThereIsNothingToPick) {
    addBoard(u"A1");
    load();
    EXPECT_EQ(items(window->SerNo), QStringList{"A1"});
    EXPECT_EQ(window->SerNo->listIndex(), 0);
    EXPECT_FALSE(window->SerNo->isEnabled());
}

TEST_F(EnumerationTest, BoardsAreListedInEnumerationOrderWithTheLastSelected) {
    addBoard(u"A1");
    addOtherDevice(0x1209, 0x0005);
    addBoard(u"B2");
    addOtherDevice(0x046D, 0x0001);
    const DeviceId last = addBoard(u"C3");
    addBoard(std::nullopt); // its serial-number query fails
    load();
    EXPECT_EQ(items(window->SerNo), QStringList({"A1", "B2", "C3"}));
    EXPECT_EQ(window->SerNo->listIndex(), 2);
    EXPECT_TRUE(window->SerNo->isEnabled());
    EXPECT_EQ(openBoard(), last);
}

TEST_F(EnumerationTest, BoardsWithTheSameSerialOpenTheFirstWhicheverIsPicked) {
    const DeviceId first = addBoard(u"TWIN");
    addBoard(u"TWIN");
    load();
    EXPECT_EQ(items(window->SerNo), QStringList({"TWIN", "TWIN"}));
    EXPECT_EQ(openBoard(), first);
    pick(window->SerNo, 1);
    EXPECT_EQ(openBoard(), first);
}

TEST_F(EnumerationTest, BoardWithAnEmptySerialIsListedAndOpened) {
    const DeviceId board = addBoard(u"");
    load();
    EXPECT_EQ(items(window->SerNo), QStringList{""});
    EXPECT_EQ(window->SerNo->listIndex(), 0);
    EXPECT_EQ(openBoard(), board);
}

TEST_F(EnumerationTest, SerialWithEightBitCharactersFindsItsBoardAgain) {
    const DeviceId board = addBoard(u"\u00C5\u00E9\u00FF9");
    addBoard(u"Z");
    load();
    pick(window->SerNo, 0);
    EXPECT_EQ(window->SerNo->selectedText(), QString::fromUtf8("Åéÿ9"));
    EXPECT_EQ(openBoard(), board);
}

TEST_F(EnumerationTest, RescanSelectsTheLastEntryAgainWhateverWasPicked) {
    const DeviceId first = addBoard(u"A1");
    addBoard(u"B2");
    const DeviceId last = addBoard(u"C3");
    load();
    pick(window->SerNo, 0);
    ASSERT_EQ(openBoard(), first);
    sim.unplug(first);
    tick();
    EXPECT_EQ(items(window->SerNo), QStringList({"B2", "C3"}));
    EXPECT_EQ(window->SerNo->listIndex(), 1);
    EXPECT_EQ(openBoard(), last);
    EXPECT_TRUE(window->SerNo->isEnabled());
}

TEST_F(EnumerationTest, ListShrinksToOneAndIsDisabledAgain) {
    addBoard(u"A1");
    const DeviceId second = addBoard(u"B2");
    load();
    ASSERT_TRUE(window->SerNo->isEnabled());
    sim.unplug(second);
    tick();
    EXPECT_EQ(items(window->SerNo), QStringList{"A1"});
    EXPECT_FALSE(window->SerNo->isEnabled());
}

// While a board is open, boards that come or go are listed around it at the next tick: it stays
// open, loaded and selected, and hears nothing but its presence reads.
class BoardsComingWhileOneIsOpen : public EnumerationTest {
protected:
    void expectOpenBoardUndisturbed(DeviceId board, int entry) {
        EXPECT_EQ(openBoard(), board);
        EXPECT_TRUE(window->settingsLoaded);
        EXPECT_EQ(window->SerNo->listIndex(), entry);
        for (const Call& call : sim.calls())
            EXPECT_TRUE(call.device != board || call.op == Op::ReadFile)
                << hid::sim::opName(call.op);
    }
};

TEST_F(BoardsComingWhileOneIsOpen, NewBoardsAreListedInOrderAndCanBePickedAtOnce) {
    const DeviceId open = addBoard(u"TS32-0001");
    load();
    tick();
    sim.clearCalls();
    addBoard(u"TS32-0002");
    addOtherDevice(0x046D, 0xC52B);
    addBoard(u"TS32-0003");
    const DeviceId last = addBoard(u"TS32-0004");
    tick();
    EXPECT_EQ(items(window->SerNo),
              QStringList({"TS32-0001", "TS32-0002", "TS32-0003", "TS32-0004"}));
    EXPECT_TRUE(window->SerNo->isEnabled());
    expectOpenBoardUndisturbed(open, 0);
    EXPECT_TRUE(sent().empty());

    sim.clearCalls();
    tick();
    EXPECT_EQ(sim.calls().size(), 1u) << "a tick with nothing new costs one presence read";

    pick(window->SerNo, 3);
    EXPECT_EQ(openBoard(), last);
}

TEST_F(BoardsComingWhileOneIsOpen, BoardsThatLeaveAndComeBackKeepTheirPlace) {
    const DeviceId first = addBoard(u"A1");
    const DeviceId open = addBoard(u"B2");
    load();
    sim.clearCalls();
    struct Step {
        bool plugged;
        QStringList listed;
        int openEntry;
    };
    for (const Step& step : {Step{false, {"B2"}, 0}, Step{true, {"A1", "B2"}, 1}}) {
        if (step.plugged)
            sim.plug(first);
        else
            sim.unplug(first);
        tick();
        EXPECT_EQ(items(window->SerNo), step.listed);
        EXPECT_EQ(window->SerNo->isEnabled(), step.listed.size() > 1);
        expectOpenBoardUndisturbed(open, step.openEntry);
    }
}

} // namespace
