// The bench's inputs: press and release B1 to B32 of the selected board, send the pulses of an
// encoder turn, and watch what the monitor makes of the input reports the board sends.
#pragma once

#include "MonitorLoop.h"
#include "SimulatedPlatform.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QStringList>
#include <array>
#include <memory>
#include <sstream>

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace demo {

class InputPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit InputPanel(hid::sim::SimulatedPlatform& platform, QWidget* parent = nullptr);
    ~InputPanel() override;

    // The board the buttons work and the monitor watches; kNoDevice for none. Shown again, the
    // same board is watched anew once it has been unplugged and plugged in.
    void showBoard(hid::sim::DeviceId device);
    // Presses (down) or releases input 1 to 32 of the shown board.
    void setPressed(int input, bool down);
    // count pulses on input, each as long as the board's pulse width and as far apart.
    void sendPulses(int input, int count);
    // For tessary32 check: count changes of input 1 ms apart, as a bouncing switch makes them;
    // and steps of the overlapping cycle of a quadrature encoder on the pair of input, 20 ms
    // apart, as a pair wired to an encoder but set to "off" sends them.
    void bounce(int input, int count);
    void turnQuadrature(int input, int steps);
    // Takes the input reports that have come in and shows what the monitor makes of them.
    void takeReports();
    QStringList monitorLines() const;

private:
    // Starts the monitor, anew when the utility has set another mode since it started.
    void watchTheBoardsModes();
    void startMonitor();
    void stopMonitor();
    void showOutput();
    std::array<std::string, monitor::kPairs> pairModes() const;
    int pulseWidthMs() const;

    hid::sim::SimulatedPlatform& platform_;
    hid::sim::DeviceId device_ = hid::sim::kNoDevice;
    hid::Handle handle_ = hid::kInvalidHandle;
    std::unique_ptr<monitor::MonitorSession> session_;
    std::array<std::string, monitor::kPairs> modes_;
    bool refused_ = false; // the board's inputs cannot be read: do not try again and again
    std::ostringstream out_;
    std::ostringstream err_;
    QElapsedTimer clock_;

    std::array<QPushButton*, hid::kBoardInputs> inputs_{};
    QComboBox* pulseInput_ = nullptr;
    QSpinBox* pulseCount_ = nullptr;
    QPushButton* pulseButton_ = nullptr;
    QPlainTextEdit* view_ = nullptr;
    QTimer* turnEnd_ = nullptr;
};

} // namespace demo
