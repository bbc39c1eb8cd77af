#include "Demo.h"

#include "Protocol.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <array>
#include <utility>

namespace demo {

namespace {

constexpr int kGap = 16;

struct StartingBoard {
    const char16_t* serial;
    std::uint16_t versionNumber;
    std::vector<std::pair<int, std::uint8_t>> encoderModes; // channel, code
    std::uint8_t pulseWidth;
    std::uint8_t rotStart;
};

const std::array<StartingBoard, 3>& boardsOnTheBench() {
    static const std::array<StartingBoard, 3> boards{{
        {u"TS32-0011", 0x0101, {{1, 0x02}, {2, 0x02}}, 3, config::kRotStartAuto},
        {u"TS32-0012", 0x0102, {{1, 0x04}, {2, 0x04}, {3, 0x04}, {4, 0x04}, {9, 0x08}}, 12, 5},
        {u"TS32-0013", 0x0103, {{1, 0x08}, {2, 0x04}, {3, 0x02}, {16, 0x08}}, 25, 16},
    }};
    return boards;
}

void putSettings(hid::sim::SimulatedFirmware& firmware, const StartingBoard& board) {
    for (const auto& [channel, code] : board.encoderModes)
        firmware.memory[config::encoderAddress(channel)] = code;
    firmware.memory[config::kPulseWidthAddress] = board.pulseWidth;
    firmware.memory[config::kRotStartAddress] = board.rotStart;
}

} // namespace

Demo::Demo() {
    for (const StartingBoard& board : boardsOnTheBench()) {
        hid::sim::InterfaceSpec spec;
        spec.serial = board.serial;
        spec.versionNumber = board.versionNumber;
        const hid::sim::DeviceId device = bench.addBoard(spec);
        putSettings(platform.firmware(device), board);
        startingBoards.push_back(device);
    }
    // Closing the bench ends the demo like closing the utility does.
    bench.setAttribute(Qt::WA_QuitOnClose, false);
    QObject::connect(&bench, &Bench::closed, &window, &QWidget::close);
}

void Demo::start() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int width = window.frameGeometry().width() + kGap + bench.frameGeometry().width();
    const QPoint topLeft(screen.left() + std::max(0, (screen.width() - width) / 2),
                         screen.top() + kGap);
    window.move(topLeft);
    window.Form_Load();
    bench.move(window.frameGeometry().right() + 1 + kGap, window.frameGeometry().top());
    bench.show();
}

} // namespace demo
