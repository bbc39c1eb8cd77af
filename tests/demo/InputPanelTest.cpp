// The bench's inputs over the demo's simulated boards: what the buttons press reaches the
// monitor through the board's input reports.
#include "InputPanel.h"

#include "Demo.h"
#include "MonitorLoop.h"
#include "Protocol.h"
#include "WiringCheck.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>
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

// What a wiring check of the selected board finds while the bench presses it for a while:
// the check watches over a handle of its own, as tessary32 check does.
std::vector<monitor::Finding> checkWhile(hid::sim::SimulatedPlatform& platform, DeviceId board,
                                         const std::function<void()>& press) {
    std::array<bool, monitor::kPairs> encoders{};
    for (int channel = 1; channel <= monitor::kPairs; ++channel)
        encoders[static_cast<std::size_t>(channel - 1)] =
            config::encoderModeIndex(
                platform.firmware(board).memory[config::encoderAddress(channel)]) > 0;
    monitor::WiringCheck wiring(encoders, {});
    const hid::Handle handle =
        platform.CreateFileA(platform.pathOf(board), hid::GENERIC_READ | hid::GENERIC_WRITE,
                             hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE, nullptr,
                             hid::OPEN_EXISTING, hid::FILE_FLAG_OVERLAPPED);
    QElapsedTimer clock;
    clock.start();
    const monitor::MonitorIo io{[&] { return clock.elapsed(); }, [] { return false; },
                                [&](const monitor::MonitorEvent& event) { wiring.take(event); }};
    monitor::MonitorOptions options;
    {
        monitor::MonitorSession session(
            platform, {handle, handle, platform.spec(board).inputReportLength}, options, io);
        EXPECT_TRUE(session.start());
        press();
        while (clock.elapsed() < 400) {
            QCoreApplication::processEvents();
            session.step(0);
        }
        session.finish();
    }
    platform.CloseHandle(handle);
    return wiring.findings();
}

// Each way the bench presses an input shows as the finding of the check it is there for, and
// as no other finding.
TEST_F(InputPanelTest, BenchPressesShowAsTheFindingsOfAWiringCheck) {
    using Kind = monitor::Finding::Kind;
    struct Case {
        const char* how;
        std::function<void()> press;
        Kind kind;
        int index; // the input, or the pair for an encoder left off
    };
    const auto click = [this](const char* name) {
        return [this, name] { QTest::mouseClick(benchWidget<QPushButton>(name), Qt::LeftButton); };
    };
    benchWidget<QComboBox>(QStringLiteral("pulseInput"))->setCurrentIndex(10); // B11, pair off
    const std::vector<Case> cases{
        {"Bounce", click("bounce"), Kind::Chatter, 10},
        {"Quadrature", click("quadrature"), Kind::EncoderOff, 5},
        // The board reports on a change: B13 pressed and let go brings B32 into a report.
        {"B32 held down",
         [this] {
             QTest::mouseClick(input(13), Qt::LeftButton);
             QTest::mouseClick(input(13), Qt::LeftButton);
         },
         Kind::Stuck, 31},
    };
    for (const Case& c : cases) {
        if (c.kind == Kind::Stuck)
            QTest::mouseClick(input(32), Qt::LeftButton);
        std::vector<monitor::Finding> found = checkWhile(demo.platform, board12, c.press);
        std::erase_if(found, [](const monitor::Finding& f) { return f.kind == Kind::Silent; });
        ASSERT_EQ(found.size(), 1u) << c.how;
        EXPECT_EQ(found[0].kind, c.kind) << c.how;
        EXPECT_EQ(c.kind == Kind::EncoderOff ? found[0].pair : found[0].input, c.index) << c.how;
    }
}

} // namespace
