// The wired events: real mouse and keyboard input on the window's controls reaches their
// handlers, seen through the reports the simulated board receives; selections set by the
// program raise the event too, filling and emptying a list raise nothing. And the window with
// no board: everything greyed and empty, the title fixed.
#include "../shared/WindowCases.h"
#include "DropDownList.h"
#include "Layout.h"
#include "SimulatedPlatform.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <vector>

namespace {

using hid::sim::Op;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFeatureLength = 65;

// A write-setting report as the board receives it: address and value after the command.
Bytes writeSetting(std::uint8_t address, std::uint8_t value) {
    Bytes report(kFeatureLength, 0);
    report[1] = 0xEE;
    report[2] = address;
    report[3] = value;
    return report;
}

class EventsTest : public ::testing::Test {
protected:
    hid::sim::SimulatedPlatform platform;
    frmMain window{platform};

    void loadWithBoard(std::uint16_t version = 0x0103) {
        hid::sim::InterfaceSpec board;
        board.versionNumber = version;
        board.featureReportLength = kFeatureLength;
        platform.add(board);
        window.Form_Load();
        platform.clearCalls();
    }

    std::vector<Bytes> reportsSent() const {
        std::vector<Bytes> reports;
        for (const auto& call : platform.callsOf(Op::HidD_SetFeature))
            reports.push_back(call.bytes);
        return reports;
    }

    // Opens the list's popup; the view then has the keyboard, as for a user.
    static QAbstractItemView* openPopup(DropDownList* list) {
        list->showPopup();
        QAbstractItemView* view = list->view();
        EXPECT_TRUE(view->isVisible());
        return view;
    }
    // Moves down from the selected item with the arrow key and confirms with Return.
    static void pickWithKeyboard(DropDownList* list, int stepsDown) {
        QAbstractItemView* view = openPopup(list);
        for (int step = 0; step < stepsDown; ++step)
            QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
    }
    static void pickWithMouse(DropDownList* list, int index) {
        QAbstractItemView* view = openPopup(list);
        const QModelIndex item = list->model()->index(index, 0);
        view->scrollTo(item);
        // Items may be wider than the popup; click the visible middle of the row.
        const QPoint at(view->viewport()->width() / 2, view->visualRect(item).center().y());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    }
};

TEST_F(EventsTest, KeyboardPickInAnEncoderListWritesThatChannel) {
    loadWithBoard();
    ASSERT_EQ(window.Enc[2]->listIndex(), 0);
    pickWithKeyboard(window.Enc[2], 2); // "off" -> "1:2"
    EXPECT_EQ(window.Enc[2]->selectedText(), QStringLiteral("1:2"));
    EXPECT_EQ(reportsSent(), std::vector<Bytes>{writeSetting(0x24, 0x04)});
    EXPECT_FALSE(window.Enc[2]->view()->isVisible());
}

TEST_F(EventsTest, MousePicksInThePulseWidthAndStartPositionListsWriteThem) {
    loadWithBoard();
    pickWithMouse(window.Delay, 24);    // "200 ms"
    pickWithMouse(window.RotStart, 32); // "33"
    EXPECT_EQ(window.Delay->selectedText(), QStringLiteral("200 ms"));
    EXPECT_EQ(window.RotStart->selectedText(), QStringLiteral("33"));
    EXPECT_EQ(reportsSent(), (std::vector<Bytes>{writeSetting(0x40, 25), writeSetting(0x4E, 32)}));
}

// The picks the native window's tests make too: the same report for the same pick.
TEST_F(EventsTest, SharedPickCasesWriteTheirReports) {
    loadWithBoard();
    for (const window_cases::Pick& c : window_cases::kPicks) {
        const char* name = app::layoutOf(c.list).name;
        SCOPED_TRACE(std::string(name) + " item " + std::to_string(c.index));
        auto* list = window.findChild<DropDownList*>(QString::fromLatin1(name));
        ASSERT_NE(list, nullptr);
        platform.clearCalls();
        pickWithMouse(list, c.index);
        EXPECT_EQ(list->listIndex(), c.index);
        EXPECT_EQ(reportsSent(), std::vector<Bytes>{writeSetting(c.address, c.value)});
    }
}

TEST_F(EventsTest, PickOfTheAlreadySelectedItemRaisesTheEventAgain) {
    loadWithBoard();
    QSignalSpy selections(window.Enc[15], &DropDownList::selected);
    pickWithKeyboard(window.Enc[15], 3); // "1:4"
    pickWithKeyboard(window.Enc[15], 0);
    pickWithMouse(window.Enc[15], 3);
    EXPECT_EQ(selections.count(), 3);
    EXPECT_EQ(reportsSent(), std::vector<Bytes>(3, writeSetting(0x3E, 0x08)));
}

// Scrolling the window with the wheel over a list picks nothing and writes nothing, neither a
// setting nor another board; the list with the keyboard focus still follows the wheel.
TEST_F(EventsTest, WheelOverAListWithoutFocusChangesNothing) {
    hid::sim::InterfaceSpec second;
    second.serial = u"0002";
    platform.add(second);
    loadWithBoard();
    window.show();
    const auto turn = [](DropDownList* list) {
        const QPoint centre = list->rect().center();
        QWheelEvent notch(centre, list->mapToGlobal(centre), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &notch);
    };
    for (DropDownList* list : {window.Delay, window.SerNo}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const int before = list->listIndex();
        turn(list);
        EXPECT_EQ(list->listIndex(), before);
    }
    EXPECT_TRUE(platform.calls().empty());
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.Delay->setFocus();
    turn(window.Delay);
    EXPECT_EQ(reportsSent().size(), 1u) << "the focused list follows the wheel";
}

TEST_F(EventsTest, MouseClickOnSelfDiagnosticRunsTheTest) {
    loadWithBoard();
    QTest::mouseClick(window.Selftest, Qt::LeftButton);
    ASSERT_EQ(reportsSent().size(), 1u);
    EXPECT_EQ(reportsSent()[0][1], 0xE1);
    EXPECT_EQ(platform.callsOf(Op::HidD_GetFeature).size(), 1u);
    EXPECT_EQ(window.TestResult->text(), QStringLiteral("Passed"));
}

TEST_F(EventsTest, KeyboardPickInTheSerialListOpensThatBoard) {
    hid::sim::InterfaceSpec first;
    first.serial = u"A1";
    first.manufacturer = u"First";
    platform.add(first);
    hid::sim::InterfaceSpec second;
    second.serial = u"B2";
    second.manufacturer = u"Second";
    platform.add(second);
    window.Form_Load();
    ASSERT_TRUE(window.SerNo->isEnabled());
    ASSERT_EQ(window.SerNo->selectedText(), QStringLiteral("B2"));

    QAbstractItemView* view = openPopup(window.SerNo);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(window.SerNo->selectedText(), QStringLiteral("A1"));
    EXPECT_EQ(window.lblManuf->text().trimmed(), QStringLiteral("First"));
}

// Loading relies on this: a selection the program sets raises the event once, and so runs the
// handler, while filling and emptying the list do not.
TEST_F(EventsTest, ProgramSetSelectionRaisesTheEventFillingAndEmptyingDoNot) {
    loadWithBoard();
    DropDownList* list = window.Enc[0];
    QSignalSpy selections(list, &DropDownList::selected);

    list->setListIndex(1);
    EXPECT_EQ(selections.count(), 1);
    EXPECT_EQ(reportsSent(), std::vector<Bytes>{writeSetting(0x20, 0x02)});
    list->setListIndex(1);
    EXPECT_EQ(selections.count(), 2);

    platform.clearCalls();
    selections.clear();
    list->removeAllItems();
    EXPECT_EQ(list->listIndex(), -1);
    list->addItemAt(QStringLiteral("off"), 0);
    list->addItemAt(QStringLiteral("1:1"), 1);
    list->addItemAt(QStringLiteral("1:2"), 1);
    EXPECT_EQ(list->listIndex(), -1);
    EXPECT_EQ(selections.count(), 0);
    EXPECT_TRUE(reportsSent().empty());

    list->setListIndex(-1);
    EXPECT_EQ(selections.count(), 1);
    EXPECT_EQ(list->selectedText(), QString());
}

// Inserting before the selected item keeps that item selected, without an event.
TEST_F(EventsTest, AddingAnItemBeforeTheSelectionKeepsTheSelectedItem) {
    DropDownList list;
    QSignalSpy selections(&list, &DropDownList::selected);
    list.addItemAt(QStringLiteral("b"), 0);
    list.setListIndex(0);
    list.addItemAt(QStringLiteral("a"), 0);
    EXPECT_EQ(list.selectedText(), QStringLiteral("b"));
    EXPECT_EQ(selections.count(), 1);
}

class NoBoardTest : public EventsTest {
protected:
    std::vector<QWidget*> settingControls() const {
        std::vector<QWidget*> controls(window.Enc.begin(), window.Enc.end());
        controls.insert(controls.end(), window.encoderLabels.begin(), window.encoderLabels.end());
        controls.insert(controls.end(), {window.Frame3, window.Delay, window.Label1, window.SerNo,
                                         window.RotStart, window.Label22, window.Selftest});
        return controls;
    }

    void expectNothingToUse() const {
        for (QWidget* control : settingControls()) {
            SCOPED_TRACE(control->objectName().toStdString());
            EXPECT_FALSE(control->isEnabled());
        }
        for (const DropDownList* list : window.findChildren<DropDownList*>()) {
            SCOPED_TRACE(list->objectName().toStdString());
            EXPECT_EQ(list->count(), 0);
            EXPECT_EQ(list->listIndex(), -1);
        }
        for (const QLabel* field : {window.lblManuf, window.lblProduct, window.lblVersion,
                                    window.lblSerialNumber, window.TestResult})
            EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
    }
};

// Text1 lies out of sight below the client area: the keyboard never lands there, and with
// nothing else to use the focus rests on the window.
TEST_F(NoBoardTest, EverySettingIsGreyedAndEmptyAndNothingTakesTheFocus) {
    window.Form_Load();
    expectNothingToUse();
    std::vector<QWidget*> takingInput;
    for (QWidget* control : window.findChildren<QWidget*>())
        if (control->isEnabled() && control->focusPolicy() != Qt::NoFocus)
            takingInput.push_back(control);
    EXPECT_EQ(takingInput, std::vector<QWidget*>{});
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_TRUE(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == &window);
    QTest::mouseClick(window.Selftest, Qt::LeftButton);
    EXPECT_TRUE(platform.callsOf(Op::HidD_SetFeature).empty());
}

TEST_F(NoBoardTest, TitleStaysAfterLoadTicksAndAnUnpluggedBoard) {
    const QString title = QStringLiteral("Tessary-32 Kelmora - Ver 1.2");
    window.Form_Load();
    EXPECT_EQ(window.windowTitle(), title);
    for (int tick = 0; tick < 3; ++tick)
        window.Timer_Timer();
    EXPECT_EQ(window.windowTitle(), title);

    const hid::sim::DeviceId board = platform.add({});
    window.Timer_Timer();
    ASSERT_TRUE(window.deviceAttached());
    EXPECT_EQ(window.windowTitle(), title);
    platform.unplug(board);
    window.Timer_Timer();
    EXPECT_EQ(window.windowTitle(), title);
    expectNothingToUse();
}

} // namespace
