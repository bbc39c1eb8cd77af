// The bench: a small window beside the utility that shows the simulated boards and works them
// like a person at a test bench would: adds boards, plugs and unplugs them, sets the answer of
// their self test, stops their input reports, presses their inputs, and shows every feature
// report on the wire and what the monitor makes of the input reports.
#pragma once

#include "SimulatedPlatform.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <set>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace demo {

class InputPanel;

// "1.3" (major in decimal, minor in hexadecimal, as the utility shows it) or a release number
// such as "259" or "0x0103".
std::optional<std::uint16_t> parseVersion(const QString& text);
QString versionText(std::uint16_t versionNumber);

// One logged feature report as the bench shows it: the board's serial, the direction, and the
// bytes in hex up to the last one that is not zero (at least four), "…" standing for the rest.
QString wireLogLine(const hid::sim::Call& call, const hid::sim::InterfaceSpec& device);

class Bench : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLogPollMs = 100;

    explicit Bench(hid::sim::SimulatedPlatform& platform, QWidget* parent = nullptr);

    // Adds a board, plugged in, with factory settings in its memory.
    hid::sim::DeviceId addBoard(const hid::sim::InterfaceSpec& spec);
    void plug(hid::sim::DeviceId device);
    void unplug(hid::sim::DeviceId device);
    // 0: every input passes; n: the test fails on input Bn.
    void setSelfTestResult(hid::sim::DeviceId device, std::uint8_t result);
    // While false the board delivers no input reports, and the utility counts it as lost.
    void setInputReady(hid::sim::DeviceId device, bool ready);

    void selectBoard(hid::sim::DeviceId device);
    hid::sim::DeviceId selectedBoard() const;

    // Takes the feature reports logged since the last refresh into the wire log.
    void refreshWireLog();
    QStringList wireLogLines() const;
    InputPanel& inputs() { return *inputs_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createBoardList();
    QWidget* createAddForm();
    QWidget* createWireLog();
    void refreshBoardList();
    void showSelectedBoard();
    void addBoardFromForm();
    QString nextSerial() const;

    hid::sim::SimulatedPlatform& platform_;
    std::set<hid::sim::DeviceId> inputStopped_; // the platform keeps it but does not tell it

    QTableWidget* boards_ = nullptr;
    QPushButton* plugButton_ = nullptr;
    QPushButton* unplugButton_ = nullptr;
    QCheckBox* stopInput_ = nullptr;
    QSpinBox* selfTestAnswer_ = nullptr;

    QLineEdit* serial_ = nullptr;
    QCheckBox* serialFails_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* manufacturer_ = nullptr;
    QCheckBox* manufacturerFails_ = nullptr;
    QLineEdit* product_ = nullptr;
    QCheckBox* productFails_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QLabel* addStatus_ = nullptr;

    InputPanel* inputs_ = nullptr;
    QPlainTextEdit* wireLog_ = nullptr;
    QTimer* logTimer_ = nullptr;
};

} // namespace demo
