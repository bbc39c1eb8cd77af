// The setting selectors and the self diagnostic: one pick, one report with the right bytes;
// nothing while the board is not open and loaded.
#include "WindowFixture.h"

namespace {

class SettingHandlersTest : public WindowFixture {
protected:
    DeviceId board = hid::sim::kNoDevice;

    void loadBoard(std::uint16_t featureLength = 65) {
        board = addBoard(u"A1", 0x0103);
        sim.spec(board).featureReportLength = featureLength;
        load();
        sim.clearCalls();
    }
    void click() { QTest::mouseClick(window->Selftest, Qt::LeftButton); }
};

TEST_F(SettingHandlersTest, EncoderPickWritesThatChannelsAddressWithASingleBitMode) {
    loadBoard();
    const std::uint8_t values[] = {0, 2, 4, 8};
    for (int channel = 1; channel <= 16; ++channel) {
        for (const int mode : {3, 2, 1, 0}) {
            sim.clearCalls();
            pick(window->Enc[channel - 1], mode);
            ASSERT_EQ(sent().size(), 1u) << "channel " << channel << " mode " << mode;
            EXPECT_EQ(sent()[0].bytes, reportHead(30 + 2 * channel, values[mode]))
                << "channel " << channel << " mode " << mode;
            EXPECT_EQ(sent()[0].length, 65u);
        }
    }
    EXPECT_EQ(sim.firmware(board).memory[0x3E], 0);
    EXPECT_EQ(sim.calls().size(), 1u) << "nothing is read back after a write";
}

TEST_F(SettingHandlersTest, PickOfTheSelectedItemWritesItAgain) {
    loadBoard();
    pick(window->Enc[2], 2);
    pick(window->Enc[2], 2);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].bytes, reportHead(0x24, 0x04));
}

TEST_F(SettingHandlersTest, PulseWidthWritesStepsAndStartPositionWritesOneBelowTheNumber) {
    loadBoard();
    struct Case {
        DropDownList* list;
        int index;
        std::uint8_t address, value;
    };
    for (const Case& c :
         {Case{window->Delay, 0, 0x40, 0x01}, Case{window->Delay, 11, 0x40, 0x0C},
          Case{window->Delay, 24, 0x40, 0x19}, Case{window->RotStart, 0, 0x4E, 0xFF},
          Case{window->RotStart, 1, 0x4E, 0x01}, Case{window->RotStart, 32, 0x4E, 0x20}}) {
        sim.clearCalls();
        pick(c.list, c.index);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].bytes, reportHead(c.address, c.value))
            << c.list->objectName().toStdString() << " " << c.index;
        EXPECT_EQ(sim.firmware(board).memory[c.address], c.value);
    }
}

TEST_F(SettingHandlersTest, NothingIsSentUntilTheBoardIsOpenAndLoaded) {
    load();
    window->Enc1_Click();
    window->Delay_Click();
    window->RotStart_Click();
    EXPECT_TRUE(sent().empty());

    window.reset();
    sim = {};
    loadBoard();
    window->settingsLoaded = false;
    pick(window->Enc[0], 3);
    pick(window->Delay, 3);
    pick(window->RotStart, 3);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(window->Enc[0]->selectedText(), "1:4") << "the list goes on showing the pick";
}

TEST_F(SettingHandlersTest, EmptySelectionsSendNoValueThatMeansNothing) {
    loadBoard();
    window->RotStart->setListIndex(-1);
    window->Delay->setListIndex(-1);
    EXPECT_TRUE(sent().empty());
    window->Enc[0]->setListIndex(-1);
    ASSERT_EQ(sent().size(), 1u) << "an empty mode is sent as off";
    EXPECT_EQ(sent()[0].bytes, reportHead(0x20, 0x00));
}

TEST_F(SettingHandlersTest, ReportLengthFollowsTheBoardAndShortReportsAreNotSent) {
    loadBoard(33);
    pick(window->Enc[0], 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].bytes, reportHead(0x20, 0x02, 33));
    window.reset();

    sim = {};
    loadBoard(3);
    pick(window->Enc[0], 1);
    pick(window->Delay, 1);
    EXPECT_TRUE(sent().empty()) << "a 3-byte report cannot carry a setting";
}

// A write the board did not take whole is followed by one read-back, as on opening, so the
// selectors show what the board holds rather than the pick. No retry.
TEST_F(SettingHandlersTest, WriteTheBoardDidNotTakeIsFollowedByOneReadBack) {
    struct Case {
        const char* name;
        bool unplug;
    };
    for (const Case& c : {Case{"refused", false}, Case{"unplugged", true}}) {
        SCOPED_TRACE(c.name);
        sim = {};
        loadBoard();
        sim.firmware(board).memory[0x40] = 1;
        int writes = 0; // only the pick's write is refused, not the read-back that follows
        if (c.unplug)
            sim.unplug(board);
        else
            sim.beforeCall = [&](Op op, DeviceId) {
                if (op == Op::HidD_SetFeature)
                    sim.setFailing(Op::HidD_SetFeature, ++writes == 1);
            };
        pick(window->Delay, 20);
        ASSERT_EQ(sent().size(), 2u) << "the write, then one read-back request";
        EXPECT_EQ(sent()[0].bytes, reportHead(0x40, 21));
        EXPECT_EQ(sent()[1].bytes[1], 0xE0);
        EXPECT_NE(window->Delay->selectedText(), "168 ms");
        sim.beforeCall = nullptr;
        if (!c.unplug) {
            EXPECT_EQ(window->Delay->selectedText(), "8 ms") << "the board's own value";
        }
        tick();
        sim.plug(board);
        tick();
        EXPECT_EQ(window->Delay->selectedText(), "8 ms") << "the board never got the write";
        window.reset();
    }
}

TEST_F(SettingHandlersTest, SelfTestShowsPassedOrTheFailedInput) {
    loadBoard();
    for (const auto& [result, text, bytes] :
         {std::tuple{0, "Passed", "0 0"}, std::tuple{5, "Failed on B5", "0 5"},
          std::tuple{255, "Failed on B255", "0 255"}}) {
        sim.firmware(board).selfTestResult = std::uint8_t(result);
        sim.clearCalls();
        click();
        EXPECT_EQ(window->TestResult->text(), text);
        EXPECT_EQ(window->Text1->text(), bytes);
        ASSERT_EQ(sent().size(), 1u);
        std::vector<std::uint8_t> request(65, 0);
        request[1] = 0xE1;
        EXPECT_EQ(sent()[0].bytes, request);
        ASSERT_EQ(sim.calls().size(), 2u);
        EXPECT_EQ(sim.calls()[1].op, Op::HidD_GetFeature) << "read right after the request";
    }
}

// A failed exchange is never shown as a pass: neither a request the board did not take nor an
// answer that did not come.
TEST_F(SettingHandlersTest, SelfTestWithoutAnAnswerSaysSoAndNeverPassed) {
    for (const Op failing : {Op::HidD_SetFeature, Op::HidD_GetFeature}) {
        SCOPED_TRACE(hid::sim::opName(failing));
        sim = {};
        loadBoard();
        sim.firmware(board).selfTestResult = 9;
        click();
        ASSERT_EQ(window->TestResult->text(), "Failed on B9");
        sim.setFailing(failing);
        click();
        EXPECT_EQ(window->TestResult->text(), "No answer");
        EXPECT_EQ(window->Text1->text(), "");
        window.reset();
    }
}

TEST_F(SettingHandlersTest, SelfTestNeedsAnOpenBoardButNotItsSettings) {
    load();
    window->TestResult->setText("earlier");
    window->Selftest_Click();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(window->TestResult->text(), "earlier");

    window.reset();
    sim = {};
    loadBoard();
    window->settingsLoaded = false;
    sim.firmware(board).selfTestResult = 3;
    click();
    EXPECT_EQ(window->TestResult->text(), "Failed on B3");
}

TEST_F(SettingHandlersTest, SelfTestWorksWithReportsLongerThan65Bytes) {
    loadBoard(100);
    sim.firmware(board).selfTestResult = 32;
    click();
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].length, 100u);
    EXPECT_EQ(window->TestResult->text(), "Failed on B32");
}

TEST_F(SettingHandlersTest, TwoClicksSendTwoRequestsEachShowingItsOwnResult) {
    loadBoard();
    sim.firmware(board).selfTestResult = 7;
    click();
    EXPECT_EQ(window->TestResult->text(), "Failed on B7");
    sim.firmware(board).selfTestResult = 0;
    click();
    EXPECT_EQ(window->TestResult->text(), "Passed");
    EXPECT_EQ(sent().size(), 2u);
}

// A user's session: the board's settings are changed, it is unplugged and plugged back, and
// the window shows what the board now holds.
TEST_F(SettingHandlersTest, SettingsSurviveUnplugAndReplug) {
    loadBoard();
    pick(window->Enc[2], 2);
    pick(window->Enc[15], 3);
    pick(window->Delay, 11);
    pick(window->RotStart, 4);
    tick();
    sim.unplug(board);
    tick();
    EXPECT_EQ(window->Enc[2]->count(), 0);
    sim.plug(board);
    tick();
    ASSERT_TRUE(window->settingsLoaded);
    EXPECT_EQ(window->Enc[2]->selectedText(), "1:2");
    EXPECT_EQ(window->Enc[15]->selectedText(), "1:4");
    EXPECT_EQ(window->Enc[0]->selectedText(), "off");
    EXPECT_EQ(window->Delay->selectedText(), "96 ms");
    EXPECT_EQ(window->RotStart->selectedText(), "5");
}

} // namespace
