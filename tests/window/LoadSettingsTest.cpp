// Loading a board into the window: details, selector contents, version gates and the
// read-back of the board's settings.
#include "DetailField.h"
#include "WindowFixture.h"

namespace {

class LoadSettingsTest : public WindowFixture {
protected:
    std::vector<DropDownList*> settingLists() const {
        std::vector<DropDownList*> lists(window->Enc.begin(), window->Enc.end());
        lists.push_back(window->Delay);
        lists.push_back(window->RotStart);
        return lists;
    }
    QString selected(const DropDownList* list) const { return list->selectedText(); }
};

TEST_F(LoadSettingsTest, NoBoardLeavesEverySettingEmptyAndDisabledAndSendsNothing) {
    load();
    for (const DropDownList* list : settingLists()) {
        EXPECT_EQ(list->count(), 0) << list->objectName().toStdString();
        EXPECT_FALSE(list->isEnabled()) << list->objectName().toStdString();
    }
    EXPECT_FALSE(window->Frame3->isEnabled());
    EXPECT_FALSE(window->Selftest->isEnabled());
    EXPECT_FALSE(window->Frame1->isEnabled());
    EXPECT_EQ(window->lblManuf->text(), "");
    EXPECT_EQ(window->lblProduct->text(), "");
    EXPECT_EQ(window->lblVersion->text(), "");
    EXPECT_FALSE(window->settingsLoaded);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(sim.callsOf(Op::HidD_GetFeature).empty());
}

TEST_F(LoadSettingsTest, BoardShowsItsDetailsAndFillsEverySelector) {
    const DeviceId board = addBoard(u"A1", 0x0103);
    sim.spec(board).manufacturer = u"ABC";
    sim.spec(board).product = u"P\u0100Q"; // U+0100 ends the text after "P"
    load();
    EXPECT_EQ(window->lblManuf->text(), " ABC");
    EXPECT_EQ(window->lblProduct->text(), " P");
    EXPECT_EQ(window->lblVersion->text(), " 1.3");
    EXPECT_EQ(window->lblSerialNumber->text(), "") << "the serial shows only in the list";
    EXPECT_TRUE(window->Frame1->isEnabled());
    for (const DropDownList* encoder : window->Enc)
        EXPECT_EQ(items(encoder), QStringList({"off", "1:1", "1:2", "1:4"}));
    EXPECT_EQ(window->Delay->count(), 25);
    EXPECT_EQ(window->Delay->itemText(24), "200 ms");
    EXPECT_EQ(window->RotStart->count(), 33);
    EXPECT_EQ(window->RotStart->itemText(1), "2");
    for (const DropDownList* list : settingLists())
        EXPECT_TRUE(list->isEnabled()) << list->objectName().toStdString();
    for (const QLabel* pairLabel : window->encoderLabels)
        EXPECT_TRUE(pairLabel->isEnabled());
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(window->Text1->text(), "");
}

TEST_F(LoadSettingsTest, LoadingSendsOnlyTheReadBackRequestAndMakesEightReads) {
    addBoard(u"A1");
    load();
    ASSERT_EQ(sent().size(), 1u) << "the selections made while loading write nothing";
    std::vector<std::uint8_t> request(65, 0);
    request[1] = 0xE0;
    request[3] = 0x05;
    EXPECT_EQ(sent()[0].bytes, request);
    EXPECT_EQ(sent()[0].length, 65u);
    EXPECT_EQ(callCount(Op::HidD_GetFeature), 8u);
}

TEST_F(LoadSettingsTest, ReadBackSelectsTheBoardsSettings) {
    const DeviceId board = addBoard(u"A1");
    auto& memory = sim.firmware(board).memory;
    memory[0x20] = 0x02; // channel 1
    memory[0x24] = 0x06; // channel 3
    memory[0x3E] = 0x0E; // channel 16
    memory[0x3F] = 0x08; // odd address: belongs to no channel
    memory[0x40] = 25;
    memory[0x4E] = 1;
    load();
    EXPECT_EQ(selected(window->Enc[0]), "1:1");
    EXPECT_EQ(selected(window->Enc[1]), "off");
    EXPECT_EQ(selected(window->Enc[2]), "1:2");
    EXPECT_EQ(selected(window->Enc[15]), "1:4");
    EXPECT_EQ(selected(window->Delay), "200 ms");
    EXPECT_EQ(selected(window->RotStart), "2");
}

TEST_F(LoadSettingsTest, ValuesThatMatchNoItemSelectNothingAndLoadingGoesOn) {
    struct Case {
        std::uint8_t pulseWidth, rotStart;
        int delayIndex, rotStartIndex;
    };
    for (const Case c : {Case{0, 0x00, -1, 0}, Case{26, 33, -1, -1}, Case{255, 254, -1, -1},
                         Case{6, 0xFF, 5, 0}, Case{1, 32, 0, 32}}) {
        sim = {};
        const DeviceId board = addBoard(u"A1");
        sim.firmware(board).memory[0x40] = c.pulseWidth;
        sim.firmware(board).memory[0x4E] = c.rotStart;
        load();
        EXPECT_EQ(window->Delay->listIndex(), c.delayIndex) << int(c.pulseWidth);
        EXPECT_EQ(window->RotStart->listIndex(), c.rotStartIndex) << int(c.rotStart);
        EXPECT_TRUE(window->settingsLoaded);
        window.reset();
    }
}

TEST_F(LoadSettingsTest, LaterBlockOverridesAnEarlierOneAndOtherBlocksChangeNothing) {
    const DeviceId board = addBoard(u"A1");
    sim.firmware(board).blockOrder = {2, 2, 0, 3, 7, 1, 5, 6};
    sim.firmware(board).memory[0x40] = 6;
    int reads = 0;
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::HidD_GetFeature && ++reads == 2)
            sim.firmware(board).memory[0x40] = 9; // the second copy of the block says 72 ms
    };
    load();
    EXPECT_EQ(window->Delay->selectedText(), "72 ms");
}

TEST_F(LoadSettingsTest, FailedReadsAreSkippedAndAllEightAreMade) {
    const DeviceId board = addBoard(u"A1");
    sim.firmware(board).memory[0x40] = 3;
    sim.firmware(board).blockOrder = {2, 1, 0, 3, 4, 5, 6, 7};
    int reads = 0;
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::HidD_GetFeature)
            sim.setFailing(Op::HidD_GetFeature, ++reads < 8); // only the last read arrives
    };
    load();
    EXPECT_EQ(callCount(Op::HidD_GetFeature), 8u);
    EXPECT_EQ(window->Delay->selectedText(), "24 ms");
    EXPECT_TRUE(window->settingsLoaded);
}

// A selector shows a value only when the board gave it: a block that never arrives leaves its
// selectors empty, not at a starting value posing as the board's. They stay enabled and armed.
TEST_F(LoadSettingsTest, SelectorsWhoseBlockNeverArrivedShowNothingButStillWrite) {
    struct Case {
        const char* name;
        std::vector<int> blocks;
        bool encoders, pulseAndStart;
    };
    for (const Case& c : {Case{"every read fails", {}, false, false},
                          Case{"only the encoder block", {1}, true, false},
                          Case{"only the pulse-width block", {2}, false, true}}) {
        SCOPED_TRACE(c.name);
        sim = {};
        const DeviceId board = addBoard(u"A1");
        sim.firmware(board).blockOrder = c.blocks;
        sim.firmware(board).memory[0x40] = 6; // "48 ms"
        if (c.blocks.empty())
            sim.setFailing(Op::HidD_GetFeature);
        load();
        EXPECT_EQ(callCount(Op::HidD_GetFeature), 8u);
        EXPECT_EQ(window->Enc[3]->listIndex(), c.encoders ? 0 : -1);
        EXPECT_EQ(window->Delay->listIndex(), c.pulseAndStart ? 5 : -1);
        EXPECT_EQ(window->RotStart->listIndex(), c.pulseAndStart ? 0 : -1);
        EXPECT_TRUE(window->Enc[3]->isEnabled());
        EXPECT_TRUE(window->settingsLoaded);
        sim.clearCalls();
        pick(window->Enc[3], 2);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].bytes, reportHead(0x26, 0x04));
    }
}

// A board that did not take the read-back request answers whatever it still had queued: here
// the result 32 of a self test whose answer was never read, which starts like the encoder
// block. Nothing read after a refused request is shown as the board's.
TEST_F(LoadSettingsTest, ReadsAfterARefusedReadBackRequestAreNotShownAsSettings) {
    const DeviceId board = addBoard(u"A1");
    for (int channel = 1; channel <= config::kEncoderChannels; ++channel)
        sim.firmware(board).memory[config::encoderAddress(channel)] = 0x08; // "1:4"
    sim.firmware(board).selfTestResult = 32;
    load();
    sim.setFailing(Op::HidD_GetFeature);
    QTest::mouseClick(window->Selftest, Qt::LeftButton);
    sim.setFailing(Op::HidD_GetFeature, false);
    sim.setFailing(Op::HidD_SetFeature);
    pick(window->Enc[0], 1); // not taken: the settings are read back, and that request fails too
    for (const DropDownList* list : settingLists())
        EXPECT_EQ(list->listIndex(), -1) << list->objectName().toStdString();
    EXPECT_TRUE(window->settingsLoaded);
}

TEST_F(LoadSettingsTest, VersionGatesOfferStartPositionFrom12AndSelfTestFrom13) {
    struct Case {
        std::uint16_t release;
        bool rotStart, selfTest;
    };
    for (const Case c :
         {Case{0x0101, false, false}, Case{0x0102, true, false}, Case{0x0103, true, true},
          Case{0x0110, true, true}, Case{0x0200, true, true}}) {
        sim = {};
        addBoard(u"A1", c.release);
        load();
        SCOPED_TRACE(c.release);
        EXPECT_EQ(window->RotStart->count(), 33) << "filled whatever the version";
        EXPECT_EQ(window->RotStart->isEnabled(), c.rotStart);
        EXPECT_EQ(window->Label22->isEnabled(), c.rotStart);
        EXPECT_EQ(window->Selftest->isEnabled(), c.selfTest);
        EXPECT_EQ(window->TestResult->isEnabled(), c.selfTest);
        window.reset();
    }
}

// The version comes with the board's attributes, not with its manufacturer string.
TEST_F(LoadSettingsTest, BoardWithoutManufacturerStringStillShowsItsVersionAndOpensBothGates) {
    const DeviceId board = addBoard(u"A1", 0x0103);
    sim.spec(board).manufacturer.reset();
    load();
    EXPECT_EQ(window->lblManuf->text(), "");
    EXPECT_EQ(window->lblVersion->text(), " 1.3");
    EXPECT_EQ(window->lblProduct->text(), " Tessary-32");
    EXPECT_TRUE(window->RotStart->isEnabled());
    EXPECT_TRUE(window->Label22->isEnabled());
    EXPECT_TRUE(window->Selftest->isEnabled());
    EXPECT_TRUE(window->TestResult->isEnabled());
}

TEST_F(LoadSettingsTest, DetailsFrameAndResultLabelAreNeverDisabledAgain) {
    const DeviceId newer = addBoard(u"NEW", 0x0103);
    const DeviceId older = addBoard(u"OLD", 0x0101);
    sim.unplug(older);
    load();
    window->TestResult->setText("Passed");
    sim.unplug(newer);
    sim.plug(older);
    tick();
    ASSERT_EQ(openBoard(), older);
    EXPECT_FALSE(window->Selftest->isEnabled());
    EXPECT_TRUE(window->TestResult->isEnabled());
    EXPECT_EQ(window->TestResult->text(), "");
    sim.unplug(older);
    tick();
    EXPECT_TRUE(window->Frame1->isEnabled());
    EXPECT_TRUE(window->TestResult->isEnabled());
    EXPECT_FALSE(window->Frame3->isEnabled());
}

TEST_F(LoadSettingsTest, ShortFeatureReportsSkipTheReadBackLongOnesGetTheirLength) {
    const DeviceId shortBoard = addBoard(u"S", 0x0103);
    sim.spec(shortBoard).featureReportLength = 32;
    load();
    EXPECT_TRUE(sent().empty()) << "a 32-byte report cannot carry a block";
    EXPECT_TRUE(sim.callsOf(Op::HidD_GetFeature).empty());
    EXPECT_TRUE(window->settingsLoaded);
    EXPECT_EQ(window->Delay->listIndex(), -1) << "nothing was read, so nothing is shown";
    window.reset();

    sim = {};
    const DeviceId longBoard = addBoard(u"L", 0x0103);
    sim.spec(longBoard).featureReportLength = 128;
    sim.firmware(longBoard).memory[0x40] = 2;
    load();
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].length, 128u);
    EXPECT_EQ(window->Delay->selectedText(), "16 ms");
}

// A board's strings are its characters: markup in them is shown, never interpreted.
TEST_F(LoadSettingsTest, BoardStringsAreShownAsTextNeverAsMarkup) {
    const DeviceId board = addBoard(u"A1");
    sim.spec(board).manufacturer = u"<h1>W</h1>";
    sim.spec(board).product = u"<img src=x>";
    load();
    for (const auto& [label, text] : {std::pair{window->lblManuf, " <h1>W</h1>"},
                                      std::pair{window->lblProduct, " <img src=x>"}}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(label->text(), text);
        const int drawn = label->fontMetrics().horizontalAdvance(QString::fromLatin1(text));
        EXPECT_GE(label->sizeHint().width(), drawn) << "every character is drawn";
    }
}

// A string that does not fit the part of its field the window shows ends in "…" there, and is
// whole in the tooltip; one that fits is shown as it is, without a tooltip. The serial list's
// popup is wide enough for its longest serial.
TEST_F(LoadSettingsTest, StringsTooLongForTheirFieldsAreElidedAndWholeInTheTooltip) {
    struct Case {
        std::u16string serial, manufacturer, product;
        bool serialCut, manufacturerCut, productCut;
    };
    for (const Case& c : {Case{u"0001", u"Tessary", u"Tessary-32", false, false, false},
                          Case{u"TS32-000417123", u"Tessary Input Devices International",
                               u"Tessary-32 Thirty-Two Input Encoder Board", true, true, true}}) {
        SCOPED_TRACE(QString::fromStdU16String(c.serial).toStdString());
        if (window)
            sim.unplug(openBoard());
        const DeviceId board = addBoard(c.serial);
        sim.spec(board).manufacturer = c.manufacturer;
        sim.spec(board).product = c.product;
        window ? tick() : load();
        ASSERT_EQ(openBoard(), board);
        const DropDownList* list = window->SerNo;
        EXPECT_EQ(list->shownText().endsWith(QChar(0x2026)), c.serialCut);
        EXPECT_EQ(list->toolTip(), c.serialCut ? list->currentText() : QString());
        window->SerNo->showPopup();
        EXPECT_GE(list->view()->viewport()->width(),
                  list->view()->fontMetrics().horizontalAdvance(list->currentText()));
        window->SerNo->hidePopup();
        for (const auto& [label, cut] : {std::pair{window->lblManuf, c.manufacturerCut},
                                         std::pair{window->lblProduct, c.productCut}}) {
            const auto* field = static_cast<const DetailField*>(label);
            SCOPED_TRACE(field->text().toStdString());
            const int shownRight = window->Frame1->contentsRect().right() - field->x();
            EXPECT_EQ(field->shownText().endsWith(QChar(0x2026)), cut);
            EXPECT_LE(field->fontMetrics().horizontalAdvance(field->shownText()), shownRight);
            EXPECT_EQ(field->toolTip(), cut ? field->text() : QString());
        }
    }
}

} // namespace
