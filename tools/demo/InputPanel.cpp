#include "InputPanel.h"

#include "MonitorText.h"
#include "Protocol.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace demo {

using hid::sim::kNoDevice;

namespace {

constexpr int kInputColumns = 8;
constexpr int kMostPulses = 8;

} // namespace

InputPanel::InputPanel(hid::sim::SimulatedPlatform& platform, QWidget* parent)
    : QGroupBox(QStringLiteral("Inputs of the selected board, and what the monitor sees"), parent),
      platform_(platform) {
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int input = 1; input <= hid::kBoardInputs; ++input) {
        auto* button = new QPushButton(QStringLiteral("B%1").arg(input), this);
        button->setObjectName(QStringLiteral("input%1").arg(input));
        button->setCheckable(true);
        button->setToolTip(QStringLiteral("Down while pressed in"));
        connect(button, &QPushButton::toggled, this,
                [this, input](bool down) { setPressed(input, down); });
        grid->addWidget(button, (input - 1) / kInputColumns, (input - 1) % kInputColumns);
        inputs_[static_cast<std::size_t>(input - 1)] = button;
    }

    pulseCount_ = new QSpinBox(this);
    pulseCount_->setObjectName(QStringLiteral("pulseCount"));
    pulseCount_->setRange(1, kMostPulses);
    pulseCount_->setValue(2);
    pulseInput_ = new QComboBox(this);
    pulseInput_->setObjectName(QStringLiteral("pulseInput"));
    for (int input = 1; input <= hid::kBoardInputs; ++input)
        pulseInput_->addItem(QStringLiteral("B%1").arg(input), input);
    pulseInput_->setCurrentIndex(4);
    pulseButton_ = new QPushButton(QStringLiteral("Send"), this);
    pulseButton_->setObjectName(QStringLiteral("sendPulses"));
    connect(pulseButton_, &QPushButton::clicked, this,
            [this] { sendPulses(pulseInput_->currentData().toInt(), pulseCount_->value()); });
    auto* bounceButton = new QPushButton(QStringLiteral("Bounce"), this);
    bounceButton->setObjectName(QStringLiteral("bounce"));
    bounceButton->setToolTip(QStringLiteral("Six changes of the input, 1 ms apart"));
    connect(bounceButton, &QPushButton::clicked, this,
            [this] { bounce(pulseInput_->currentData().toInt(), 6); });
    auto* quadratureButton = new QPushButton(QStringLiteral("Quadrature"), this);
    quadratureButton->setObjectName(QStringLiteral("quadrature"));
    quadratureButton->setToolTip(
        QStringLiteral("Three detents of an encoder on the input's pair, as the raw signals"));
    connect(quadratureButton, &QPushButton::clicked, this,
            [this] { turnQuadrature(pulseInput_->currentData().toInt(), 12); });
    auto* pulses = new QHBoxLayout;
    pulses->addWidget(new QLabel(QStringLiteral("Encoder turn:"), this));
    pulses->addWidget(pulseCount_);
    pulses->addWidget(new QLabel(QStringLiteral("pulses of the board's pulse width on"), this));
    pulses->addWidget(pulseInput_);
    pulses->addWidget(pulseButton_);
    pulses->addWidget(bounceButton);
    pulses->addWidget(quadratureButton);
    pulses->addStretch();

    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("monitor"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMaximumBlockCount(2000);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setMinimumHeight(90);

    turnEnd_ = new QTimer(this);
    turnEnd_->setSingleShot(true);
    connect(turnEnd_, &QTimer::timeout, this, &InputPanel::takeReports);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(pulses);
    layout->addWidget(view_, 1);
}

InputPanel::~InputPanel() {
    stopMonitor();
}

void InputPanel::showBoard(hid::sim::DeviceId device) {
    if (device != device_) {
        stopMonitor();
        device_ = device;
        refused_ = false;
        view_->clear();
    }
    const bool any = device_ != kNoDevice;
    const hid::InputSet pressed = any ? platform_.pressedInputs(device_) : 0;
    for (int index = 0; index < hid::kBoardInputs; ++index) {
        QPushButton* button = inputs_[static_cast<std::size_t>(index)];
        const QSignalBlocker blocker(button);
        button->setEnabled(any);
        button->setChecked(((pressed >> index) & 1u) != 0);
    }
    pulseButton_->setEnabled(any);
    takeReports();
}

void InputPanel::setPressed(int input, bool down) {
    if (device_ == kNoDevice)
        return;
    // Before the change, not after: a monitor started anew reads through a handle of its own,
    // which gets only the reports sent once it is open.
    watchTheBoardsModes();
    if (down)
        platform_.press(device_, input);
    else
        platform_.release(device_, input);
    takeReports();
}

void InputPanel::sendPulses(int input, int count) {
    const int width = pulseWidthMs();
    for (int pulse = 0; pulse < count; ++pulse) {
        const hid::sim::DeviceId device = device_;
        QTimer::singleShot(2 * pulse * width, this, [this, device, input] {
            if (device == device_)
                setPressed(input, true);
        });
        QTimer::singleShot((2 * pulse + 1) * width, this, [this, device, input] {
            if (device == device_)
                setPressed(input, false);
        });
    }
}

void InputPanel::bounce(int input, int count) {
    const hid::sim::DeviceId device = device_;
    const bool wasDown =
        device != kNoDevice && ((platform_.pressedInputs(device) >> (input - 1)) & 1u);
    for (int change = 1; change <= count; ++change)
        QTimer::singleShot(change, this,
                           [this, device, input, down = (change % 2 == 1) != wasDown] {
                               if (device == device_)
                                   setPressed(input, down);
                           });
}

void InputPanel::turnQuadrature(int input, int steps) {
    const int first = input % 2 == 1 ? input : input - 1;
    const hid::sim::DeviceId device = device_;
    // The cycle 00, 10, 11, 01: each step moves one signal, the first leading.
    for (int step = 1; step <= steps; ++step)
        QTimer::singleShot(20 * step, this, [this, device, first, step] {
            if (device == device_)
                setPressed(first + (step % 2 == 1 ? 0 : 1), step % 4 == 1 || step % 4 == 2);
        });
}

void InputPanel::watchTheBoardsModes() {
    if (session_ && pairModes() != modes_)
        stopMonitor(); // the utility set another mode: watch the pairs as they are now
    if (!session_)
        startMonitor();
}

void InputPanel::takeReports() {
    watchTheBoardsModes();
    if (session_) {
        using Step = monitor::MonitorSession::Step;
        Step step = Step::Report;
        while (step == Step::Report)
            step = session_->step(0);
        if (step == Step::Ended)
            stopMonitor();
    }
    showOutput();
    const auto turnEnd = session_ ? session_->nextTurnEnd() : std::nullopt;
    if (turnEnd)
        turnEnd_->start(static_cast<int>(std::max<std::int64_t>(*turnEnd - clock_.elapsed(), 0)));
}

void InputPanel::startMonitor() {
    if (device_ == kNoDevice || refused_ || !platform_.isPlugged(device_))
        return;
    handle_ =
        platform_.CreateFileA(platform_.pathOf(device_), hid::GENERIC_READ | hid::GENERIC_WRITE,
                              hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE, nullptr,
                              hid::OPEN_EXISTING, hid::FILE_FLAG_OVERLAPPED);
    if (handle_ == hid::kInvalidHandle)
        return;
    modes_ = pairModes();
    monitor::MonitorOptions options;
    options.pairModes = modes_;
    options.turnQuietMs = monitor::turnQuietMsFor(pulseWidthMs());
    const hid::sim::InterfaceSpec& spec = platform_.spec(device_);
    const std::string name =
        spec.serial ? QString::fromStdU16String(*spec.serial).toStdString() : "(no serial)";
    clock_.start();
    const monitor::MonitorIo io{[this] { return clock_.elapsed(); }, [] { return false; },
                                cli::MonitorWriter(out_, err_, name, false)};
    session_ = std::make_unique<monitor::MonitorSession>(
        platform_, monitor::MonitoredBoard{handle_, handle_, spec.inputReportLength}, options, io);
    if (!session_->start()) {
        refused_ = true;
        stopMonitor();
    }
}

void InputPanel::stopMonitor() {
    turnEnd_->stop();
    if (session_)
        session_->finish();
    session_.reset();
    if (handle_ != hid::kInvalidHandle)
        platform_.CloseHandle(handle_);
    handle_ = hid::kInvalidHandle;
    showOutput();
}

void InputPanel::showOutput() {
    for (std::ostringstream* stream : {&out_, &err_}) {
        std::string text = stream->str();
        stream->str({});
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (!text.empty())
            view_->appendPlainText(QString::fromStdString(text));
    }
}

std::array<std::string, monitor::kPairs> InputPanel::pairModes() const {
    std::array<std::string, monitor::kPairs> modes;
    if (device_ == kNoDevice)
        return modes;
    const auto& memory = platform_.firmware(device_).memory;
    const std::vector<std::string> items = config::encoderModeItems();
    for (int channel = 1; channel <= monitor::kPairs; ++channel) {
        const int index = config::encoderModeIndex(memory[config::encoderAddress(channel)]);
        modes[static_cast<std::size_t>(channel - 1)] =
            index > 0 && index < static_cast<int>(items.size())
                ? items[static_cast<std::size_t>(index)]
                : "off";
    }
    return modes;
}

int InputPanel::pulseWidthMs() const {
    const int index = device_ == kNoDevice
                          ? config::kDefaultPulseWidthIndex
                          : config::pulseWidthIndex(
                                platform_.firmware(device_).memory[config::kPulseWidthAddress]);
    return config::pulseWidthMs(index < 0 ? config::kDefaultPulseWidthIndex : index);
}

QStringList InputPanel::monitorLines() const {
    const QString text = view_->toPlainText();
    return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
}

} // namespace demo
