// The bench's inputs over the demo's simulated boards: what the buttons press reaches the
// monitor through the board's input reports.
#include "InputPanel.h"

#include "Demo.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using hid::sim::DeviceId;

class InputPanelTest : public ::testing::Test {
protected:
    demo::Demo demo;
    demo::Bench& bench = demo.bench;
    demo::InputPanel& panel = bench.inputs();
    // B1 to B8 and B17 B18 in encoder modes (B5 B6 in 1:2), pulses of 96 ms.
    DeviceId board12 = demo.startingBoards.at(1);

    void SetUp() override {
        demo.start();
        demo.window.Timer->stop();
        bench.selectBoard(board12);
    }

    template <class Widget> Widget* benchWidget(const QString& name) const {
        auto* widget = bench.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QPushButton* input(int n) const {
        return benchWidget<QPushButton>(QStringLiteral("input%1").arg(n));
    }
};

TEST_F(InputPanelTest, ButtonsPressTheSelectedBoardAndTheMonitorShowsEachChange) {
    QTest::mouseClick(input(11), Qt::LeftButton);
    EXPECT_EQ(demo.platform.pressedInputs(board12), hid::InputSet{1} << 10);
    QTest::mouseClick(input(11), Qt::LeftButton);
    EXPECT_EQ(demo.platform.pressedInputs(board12), 0u);
    const QStringList lines = panel.monitorLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("ms  +B11"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("ms  -B11"))) << lines[1].toStdString();
}

// The first turn after the utility set the pair to another mode counts every pulse too.
TEST_F(InputPanelTest, PulsesOnAnEncoderPairShowAsOneTurn) {
    benchWidget<QSpinBox>(QStringLiteral("pulseCount"))->setValue(2);
    benchWidget<QComboBox>(QStringLiteral("pulseInput"))->setCurrentIndex(5); // B6
    QTest::mouseClick(benchWidget<QPushButton>(QStringLiteral("sendPulses")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.monitorLines().isEmpty(), 5000);
    demo.platform.firmware(board12).memory[0x24] = 0x08; // B5 B6: 1:4, as the utility writes it
    QTest::mouseClick(benchWidget<QPushButton>(QStringLiteral("sendPulses")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(panel.monitorLines().size() >= 2, 5000);
    const QStringList lines = panel.monitorLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("ms  B5 B6 (1:2): 2 pulses on B6, ")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("ms  B5 B6 (1:4): 2 pulses on B6, ")))
        << lines[1].toStdString();
}

TEST_F(InputPanelTest, UnplugEndsTheMonitoringAndPluggingInStartsItAgain) {
    bench.unplug(board12);
    EXPECT_EQ(panel.monitorLines().value(0),
              QStringLiteral("tessary32: board TS32-0012 was unplugged"));
    bench.plug(board12);
    QTest::mouseClick(input(32), Qt::LeftButton);
    EXPECT_TRUE(panel.monitorLines().value(1).endsWith(QStringLiteral("+B32")));
}

} // namespace
