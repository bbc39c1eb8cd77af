// The demo's parts together, offscreen: the bench works the simulated boards and the utility's
// window sees it. The utility's timer is stopped and ticked by the test.
#include "Demo.h"

#include "DropDownList.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <set>

namespace {

using hid::sim::DeviceId;
using hid::sim::kNoDevice;

class DemoTest : public ::testing::Test {
protected:
    demo::Demo demo;
    demo::Bench& bench = demo.bench;
    frmMain& window = demo.window;
    DeviceId board11 = demo.startingBoards.at(0);
    DeviceId board12 = demo.startingBoards.at(1);
    DeviceId board13 = demo.startingBoards.at(2);

    void SetUp() override {
        demo.start();
        window.Timer->stop();
    }

    void tick() { window.Timer_Timer(); }
    DeviceId openBoard() const {
        return window.deviceAttached()
                   ? demo.platform.deviceBehind(window.session.board().featureHandle)
                   : kNoDevice;
    }
    QStringList wireLog() {
        bench.refreshWireLog();
        return bench.wireLogLines();
    }
    QString benchCell(DeviceId device, int column) const {
        const auto* table = bench.findChild<QTableWidget*>(QStringLiteral("boards"));
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0)->data(Qt::UserRole).toInt() == device)
                return table->item(row, column)->text();
        return QString();
    }
    template <class Widget> Widget* benchWidget(const char* name) const {
        auto* widget = bench.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void retype(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
};

TEST_F(DemoTest, StartsWithThreeBoardsPluggedAndTheBenchRightOfTheUtility) {
    EXPECT_EQ(demo.platform.devices().size(), 3u);
    for (const DeviceId board : demo.startingBoards) {
        EXPECT_TRUE(demo.platform.isPlugged(board));
        EXPECT_EQ(benchCell(board, 2), QStringLiteral("plugged in"));
    }
    EXPECT_EQ(benchCell(board12, 1), QStringLiteral("1.2"));
    EXPECT_EQ(window.SerNo->count(), 3);
    EXPECT_EQ(openBoard(), board13);
    EXPECT_TRUE(window.settingsLoaded);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(bench.isVisible());
    EXPECT_GT(bench.frameGeometry().left(), window.frameGeometry().right());
}

TEST_F(DemoTest, SwitchingBoardsInTheUtilityVisiblyChangesTheSelectors) {
    std::set<QString> versions;
    std::set<std::pair<QString, QString>> shown; // Enc1 and pulse width
    const auto record = [&] {
        versions.insert(window.lblVersion->text());
        shown.insert({window.Enc[0]->currentText(), window.Delay->currentText()});
    };
    record();
    QTest::keyClick(window.SerNo, Qt::Key_Up);
    EXPECT_EQ(openBoard(), board12);
    record();
    QTest::keyClick(window.SerNo, Qt::Key_Up);
    EXPECT_EQ(openBoard(), board11);
    record();
    EXPECT_EQ(versions, (std::set<QString>{" 1.1", " 1.2", " 1.3"}));
    EXPECT_EQ(shown.size(), 3u) << "each board shows its own settings";
}

TEST_F(DemoTest, BoardsUnpluggedAndPluggedOnTheBenchComeAndGoInTheUtility) {
    for (const DeviceId board : demo.startingBoards)
        bench.unplug(board);
    EXPECT_EQ(benchCell(board13, 2), QStringLiteral("unplugged"));
    tick();
    EXPECT_FALSE(window.deviceAttached());
    EXPECT_EQ(window.SerNo->count(), 0);
    EXPECT_TRUE(window.lblVersion->text().isEmpty());

    bench.plug(board12);
    EXPECT_EQ(benchCell(board12, 2), QStringLiteral("plugged in"));
    tick();
    EXPECT_EQ(openBoard(), board12);
    EXPECT_EQ(window.SerNo->count(), 1);
    EXPECT_EQ(window.lblVersion->text(), QStringLiteral(" 1.2"));
}

TEST_F(DemoTest, PlugButtonsWorkOnTheSelectedBoard) {
    auto* plug = benchWidget<QPushButton>("plug");
    auto* unplug = benchWidget<QPushButton>("unplug");
    bench.selectBoard(board12);
    EXPECT_FALSE(plug->isEnabled());
    QTest::mouseClick(unplug, Qt::LeftButton);
    EXPECT_FALSE(demo.platform.isPlugged(board12));
    EXPECT_TRUE(demo.platform.isPlugged(board13));
    EXPECT_TRUE(plug->isEnabled());
    EXPECT_FALSE(unplug->isEnabled());
    QTest::mouseClick(plug, Qt::LeftButton);
    EXPECT_TRUE(demo.platform.isPlugged(board12));
    EXPECT_EQ(bench.selectedBoard(), board12);
}

TEST_F(DemoTest, PickInTheUtilityShowsInTheWireLog) {
    const QStringList atStart = wireLog();
    EXPECT_TRUE(atStart.contains(QStringLiteral("TS32-0013  → 00 E0 00 05 …")));
    EXPECT_TRUE(atStart.filter(QStringLiteral("TS32-0013  ← 00 20 ")).size() == 1)
        << "the encoder block read back";

    ASSERT_EQ(window.Enc[2]->currentText(), QStringLiteral("1:1"));
    QTest::keyClick(window.Enc[2], Qt::Key_Down);
    EXPECT_EQ(window.Enc[2]->currentText(), QStringLiteral("1:2"));
    const QStringList afterPick = wireLog();
    ASSERT_EQ(afterPick.size(), atStart.size() + 1);
    EXPECT_EQ(afterPick.last(), QStringLiteral("TS32-0013  → 00 EE 24 04 …"));
    EXPECT_EQ(wireLog(), afterPick) << "each report is logged once";
}

TEST_F(DemoTest, WireLogRefreshesByItself) {
    QTest::keyClick(window.Enc[2], Qt::Key_Down);
    const bool logged = QTest::qWaitFor(
        [&] { return bench.wireLogLines().endsWith(QStringLiteral("TS32-0013  → 00 EE 24 04 …")); },
        2000);
    EXPECT_TRUE(logged);
}

// Searching calls the platform dozens of times a second for as long as the demo runs.
TEST_F(DemoTest, CallLogStaysBoundedWhileSearching) {
    for (const DeviceId board : {board11, board12, board13})
        bench.unplug(board);
    tick();
    wireLog();
    tick();
    const std::size_t oneTick = demo.platform.calls().size();
    for (int i = 0; i < 50; ++i) {
        wireLog();
        tick();
    }
    EXPECT_LE(demo.platform.calls().size(), oneTick);
}

TEST_F(DemoTest, SelfTestAnswerChosenOnTheBenchShowsInTheUtility) {
    bench.setSelfTestResult(board13, 7);
    QTest::mouseClick(window.Selftest, Qt::LeftButton);
    EXPECT_EQ(window.TestResult->text(), QStringLiteral("Failed on B7"));
    EXPECT_EQ(benchCell(board13, 4), QStringLiteral("fails on B7"));
    EXPECT_EQ(wireLog().last(), QStringLiteral("TS32-0013  ← 00 07 00 00 …"));

    auto* answer = benchWidget<QSpinBox>("selfTestAnswer");
    bench.selectBoard(board13);
    EXPECT_EQ(answer->value(), 7);
    QTest::keyClick(answer, Qt::Key_Up);
    QTest::mouseClick(window.Selftest, Qt::LeftButton);
    EXPECT_EQ(window.TestResult->text(), QStringLiteral("Failed on B8"));

    bench.selectBoard(board11);
    EXPECT_EQ(answer->value(), 0) << "the spin box follows the selected board";
    bench.setSelfTestResult(board13, 0);
    QTest::mouseClick(window.Selftest, Qt::LeftButton);
    EXPECT_EQ(window.TestResult->text(), QStringLiteral("Passed"));
}

// A board whose input reports stop is one that sends only on change: the utility keeps it
// open with its presence read pending, and reloads nothing.
TEST_F(DemoTest, StoppedInputReportsLeaveTheBoardOpenAndLoaded) {
    tick();
    const hid::Handle before = window.session.board().featureHandle;
    bench.selectBoard(board13);
    QTest::keyClick(benchWidget<QCheckBox>("stopInput"), Qt::Key_Space);
    EXPECT_EQ(benchCell(board13, 3), QStringLiteral("stopped"));
    const qsizetype requestsBefore = wireLog().count(QStringLiteral("TS32-0013  → 00 E0 00 05 …"));
    tick();
    tick();
    EXPECT_EQ(openBoard(), board13);
    EXPECT_EQ(window.session.board().featureHandle, before) << "held, not closed and opened again";
    EXPECT_TRUE(window.session.board().presenceReadInFlight);
    EXPECT_EQ(wireLog().count(QStringLiteral("TS32-0013  → 00 E0 00 05 …")), requestsBefore);

    bench.setInputReady(board13, true);
    EXPECT_FALSE(benchWidget<QCheckBox>("stopInput")->isChecked());
    tick();
    tick();
    EXPECT_EQ(window.session.board().featureHandle, before);
    EXPECT_FALSE(window.session.board().presenceReadInFlight);
}

TEST_F(DemoTest, AddFormAddsABoardWhoseManufacturerQueryFails) {
    retype(benchWidget<QLineEdit>("serial"), QStringLiteral("NEW-7"));
    retype(benchWidget<QLineEdit>("version"), QStringLiteral("1.5"));
    QTest::keyClick(benchWidget<QCheckBox>("manufacturerFails"), Qt::Key_Space);
    QTest::mouseClick(benchWidget<QPushButton>("add"), Qt::LeftButton);
    ASSERT_EQ(demo.platform.devices().size(), 4u);
    const DeviceId added = demo.platform.devices().back();
    EXPECT_EQ(bench.selectedBoard(), added);
    EXPECT_EQ(benchCell(added, 0), QStringLiteral("NEW-7"));
    EXPECT_EQ(demo.platform.spec(added).versionNumber, 0x0105);

    for (const DeviceId board : demo.startingBoards)
        bench.unplug(board);
    tick();
    EXPECT_EQ(openBoard(), added);
    EXPECT_TRUE(window.lblManuf->text().isEmpty());
    EXPECT_EQ(window.lblProduct->text(), QStringLiteral(" Tessary-32"));
    EXPECT_EQ(window.Delay->currentText(), QStringLiteral("48 ms")) << "factory settings";
}

TEST_F(DemoTest, AddFormRefusesAVersionItCannotRead) {
    retype(benchWidget<QLineEdit>("version"), QStringLiteral("one"));
    QTest::mouseClick(benchWidget<QPushButton>("add"), Qt::LeftButton);
    EXPECT_EQ(demo.platform.devices().size(), 3u);
}

} // namespace
