#include "Demo.h"

#include "DemoBoards.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace demo {

namespace {

constexpr int kGap = 16;

} // namespace

Demo::Demo() {
    for (const hid::sim::DemoBoard& board : hid::sim::demoBoards()) {
        const hid::sim::DeviceId device = bench.addBoard(board.spec);
        board.putSettings(platform.firmware(device));
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
