#include "Bench.h"

#include "InputPanel.h"
#include "Protocol.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace demo {

using hid::sim::Call;
using hid::sim::DeviceId;
using hid::sim::InterfaceSpec;
using hid::sim::kNoDevice;
using hid::sim::Op;

namespace {

enum Column { kSerial, kVersion, kConnection, kInput, kSelfTest, kColumnCount };
constexpr int kShortestShownReport = 4;
constexpr std::uint8_t kFactoryPulseWidth = config::kDefaultPulseWidthIndex + 1;

QString serialText(const InterfaceSpec& spec) {
    return spec.serial ? QString::fromStdU16String(*spec.serial) : QStringLiteral("(no serial)");
}

QString hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::size_t shown = bytes.size();
    while (shown > kShortestShownReport && bytes[shown - 1] == 0)
        --shown;
    QStringList hex;
    for (std::size_t i = 0; i < shown; ++i)
        hex << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    if (shown < bytes.size())
        hex << QStringLiteral("…");
    return hex.join(QLatin1Char(' '));
}

QString selfTestText(std::uint8_t result) {
    return result == 0 ? QStringLiteral("pass") : QStringLiteral("fails on B%1").arg(result);
}

void putFactorySettings(hid::sim::SimulatedFirmware& firmware) {
    firmware.memory[config::kPulseWidthAddress] = kFactoryPulseWidth;
    firmware.memory[config::kRotStartAddress] = config::kRotStartAuto;
}

std::optional<std::u16string> queryAnswer(const QLineEdit* text, const QCheckBox* fails) {
    if (fails->isChecked())
        return std::nullopt;
    return text->text().toStdU16String();
}

} // namespace

std::optional<std::uint16_t> parseVersion(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    if (!trimmed.contains(QLatin1Char('.'))) {
        const uint number = trimmed.toUInt(&ok, 0);
        return ok && number <= 0xFFFF ? std::optional<std::uint16_t>(number) : std::nullopt;
    }
    const QStringList parts = trimmed.split(QLatin1Char('.'));
    if (parts.size() != 2)
        return std::nullopt;
    bool minorOk = false;
    const uint major = parts[0].toUInt(&ok, 10);
    const uint minor = parts[1].toUInt(&minorOk, 16);
    if (!ok || !minorOk || major > 0xFF || minor > 0xFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(major << 8 | minor);
}

QString versionText(std::uint16_t versionNumber) {
    return QStringLiteral("%1.%2").arg(versionNumber >> 8).arg(versionNumber & 0xFF, 0, 16);
}

QString wireLogLine(const Call& call, const InterfaceSpec& device) {
    const bool sent = call.op == Op::HidD_SetFeature;
    QString line = serialText(device) + (sent ? QStringLiteral("  → ") : QStringLiteral("  ← "));
    if (!call.bytes.empty())
        line += hexBytes(call.bytes);
    if (call.result == 0)
        line += call.bytes.empty() ? QStringLiteral("(failed)") : QStringLiteral("  (failed)");
    return line;
}

// ---- The window ----

Bench::Bench(hid::sim::SimulatedPlatform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform) {
    setWindowTitle(QStringLiteral("Tessary-32 bench: simulated boards"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createBoardList());
    layout->addWidget(createAddForm());
    inputs_ = new InputPanel(platform_, this);
    layout->addWidget(inputs_, 1);
    layout->addWidget(createWireLog(), 1);
    resize(600, 860);

    logTimer_ = new QTimer(this);
    logTimer_->setInterval(kLogPollMs);
    connect(logTimer_, &QTimer::timeout, this, &Bench::refreshWireLog);
    logTimer_->start();
    refreshBoardList();
}

QWidget* Bench::createBoardList() {
    auto* box = new QGroupBox(QStringLiteral("Boards"), this);
    boards_ = new QTableWidget(0, kColumnCount, box);
    boards_->setObjectName(QStringLiteral("boards"));
    boards_->setHorizontalHeaderLabels(
        {QStringLiteral("Serial"), QStringLiteral("Version"), QStringLiteral("Connection"),
         QStringLiteral("Input reports"), QStringLiteral("Self test")});
    boards_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    boards_->verticalHeader()->hide();
    boards_->setSelectionBehavior(QAbstractItemView::SelectRows);
    boards_->setSelectionMode(QAbstractItemView::SingleSelection);
    boards_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    boards_->setMinimumHeight(110);
    boards_->setMaximumHeight(130);
    connect(boards_, &QTableWidget::itemSelectionChanged, this, &Bench::showSelectedBoard);

    plugButton_ = new QPushButton(QStringLiteral("Plug in"), box);
    plugButton_->setObjectName(QStringLiteral("plug"));
    unplugButton_ = new QPushButton(QStringLiteral("Unplug"), box);
    unplugButton_->setObjectName(QStringLiteral("unplug"));
    stopInput_ = new QCheckBox(QStringLiteral("Input reports stop"), box);
    stopInput_->setObjectName(QStringLiteral("stopInput"));
    selfTestAnswer_ = new QSpinBox(box);
    selfTestAnswer_->setObjectName(QStringLiteral("selfTestAnswer"));
    selfTestAnswer_->setRange(0, 255);
    selfTestAnswer_->setSpecialValueText(QStringLiteral("pass"));
    selfTestAnswer_->setPrefix(QStringLiteral("fail on B"));

    connect(plugButton_, &QPushButton::clicked, this, [this] { plug(selectedBoard()); });
    connect(unplugButton_, &QPushButton::clicked, this, [this] { unplug(selectedBoard()); });
    connect(stopInput_, &QCheckBox::toggled, this,
            [this](bool stop) { setInputReady(selectedBoard(), !stop); });
    connect(selfTestAnswer_, &QSpinBox::valueChanged, this, [this](int result) {
        setSelfTestResult(selectedBoard(), static_cast<std::uint8_t>(result));
    });

    auto* actions = new QHBoxLayout;
    actions->addWidget(plugButton_);
    actions->addWidget(unplugButton_);
    actions->addWidget(stopInput_);
    actions->addStretch();
    actions->addWidget(new QLabel(QStringLiteral("Self test:"), box));
    actions->addWidget(selfTestAnswer_);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(boards_);
    layout->addLayout(actions);
    return box;
}

QWidget* Bench::createAddForm() {
    auto* box = new QGroupBox(QStringLiteral("Add a board"), this);
    const auto field = [box](const char* name, const QString& text) {
        auto* edit = new QLineEdit(text, box);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    const auto failing = [box](const char* name) {
        auto* check = new QCheckBox(QStringLiteral("query fails"), box);
        check->setObjectName(QString::fromLatin1(name));
        return check;
    };
    const InterfaceSpec defaults;
    serial_ = field("serial", QString());
    serialFails_ = failing("serialFails");
    version_ = field("version", QStringLiteral("1.3"));
    version_->setToolTip(QStringLiteral("1.3, or a release number such as 0x0103"));
    manufacturer_ = field("manufacturer", QString::fromStdU16String(*defaults.manufacturer));
    manufacturerFails_ = failing("manufacturerFails");
    product_ = field("product", QString::fromStdU16String(*defaults.product));
    productFails_ = failing("productFails");
    addButton_ = new QPushButton(QStringLiteral("Add and plug in"), box);
    addButton_->setObjectName(QStringLiteral("add"));
    addStatus_ = new QLabel(box);
    connect(addButton_, &QPushButton::clicked, this, &Bench::addBoardFromForm);

    auto* form = new QGridLayout(box);
    const auto addField = [box, form](int row, int column, const char* label, QLineEdit* edit,
                                      QCheckBox* fails) {
        form->addWidget(new QLabel(QString::fromLatin1(label), box), row, column);
        form->addWidget(edit, row, column + 1);
        if (fails != nullptr)
            form->addWidget(fails, row + 1, column + 1);
    };
    addField(0, 0, "Serial number", serial_, serialFails_);
    addField(0, 2, "Version", version_, nullptr);
    addField(2, 0, "Manufacturer", manufacturer_, manufacturerFails_);
    addField(2, 2, "Product", product_, productFails_);
    form->addWidget(addButton_, 4, 0, 1, 2, Qt::AlignLeft);
    form->addWidget(addStatus_, 4, 2, 1, 2);
    return box;
}

QWidget* Bench::createWireLog() {
    auto* box = new QGroupBox(QStringLiteral("Wire log: feature reports, newest last"), this);
    wireLog_ = new QPlainTextEdit(box);
    wireLog_->setObjectName(QStringLiteral("wireLog"));
    wireLog_->setReadOnly(true);
    wireLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    wireLog_->setMaximumBlockCount(5000);
    wireLog_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* clear = new QPushButton(QStringLiteral("Clear"), box);
    connect(clear, &QPushButton::clicked, wireLog_, &QPlainTextEdit::clear);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(wireLog_);
    layout->addWidget(clear, 0, Qt::AlignRight);
    return box;
}

// ---- What the bench does to the boards ----

DeviceId Bench::addBoard(const InterfaceSpec& spec) {
    const DeviceId device = platform_.add(spec);
    putFactorySettings(platform_.firmware(device));
    refreshBoardList();
    return device;
}

void Bench::plug(DeviceId device) {
    if (device == kNoDevice)
        return;
    platform_.plug(device);
    refreshBoardList();
}

void Bench::unplug(DeviceId device) {
    if (device == kNoDevice)
        return;
    platform_.unplug(device);
    refreshBoardList();
}

void Bench::setSelfTestResult(DeviceId device, std::uint8_t result) {
    if (device == kNoDevice)
        return;
    platform_.firmware(device).selfTestResult = result;
    refreshBoardList();
}

void Bench::setInputReady(DeviceId device, bool ready) {
    if (device == kNoDevice)
        return;
    platform_.setInputReady(device, ready);
    if (ready)
        inputStopped_.erase(device);
    else
        inputStopped_.insert(device);
    refreshBoardList();
}

void Bench::addBoardFromForm() {
    const std::optional<std::uint16_t> version = parseVersion(version_->text());
    if (!version) {
        addStatus_->setText(QStringLiteral("Version: 1.3 or a number such as 0x0103"));
        return;
    }
    InterfaceSpec spec;
    spec.versionNumber = *version;
    const QString serial = serial_->text().isEmpty() ? nextSerial() : serial_->text();
    if (!serialFails_->isChecked())
        spec.serial = serial.toStdU16String();
    else
        spec.serial = std::nullopt;
    spec.manufacturer = queryAnswer(manufacturer_, manufacturerFails_);
    spec.product = queryAnswer(product_, productFails_);
    selectBoard(addBoard(spec));
    addStatus_->setText(QStringLiteral("Added %1").arg(serialText(spec)));
    serial_->clear();
}

// A serial that no board on the bench has yet.
QString Bench::nextSerial() const {
    for (int number = 1;; ++number) {
        const std::u16string candidate =
            QStringLiteral("TS32-%1").arg(number, 4, 10, QLatin1Char('0')).toStdU16String();
        bool taken = false;
        for (const DeviceId device : platform_.devices())
            taken = taken || platform_.spec(device).serial == candidate;
        if (!taken)
            return QString::fromStdU16String(candidate);
    }
}

// ---- What the bench shows ----

void Bench::selectBoard(DeviceId device) {
    for (int row = 0; row < boards_->rowCount(); ++row)
        if (boards_->item(row, kSerial)->data(Qt::UserRole).toInt() == device)
            boards_->selectRow(row);
}

DeviceId Bench::selectedBoard() const {
    const QList<QTableWidgetItem*> selected = boards_->selectedItems();
    return selected.isEmpty() ? kNoDevice : selected.first()->data(Qt::UserRole).toInt();
}

void Bench::refreshBoardList() {
    const DeviceId selected = selectedBoard();
    const std::vector<DeviceId> devices = platform_.devices();
    {
        const QSignalBlocker blocker(boards_);
        boards_->setRowCount(static_cast<int>(devices.size()));
        for (int row = 0; row < boards_->rowCount(); ++row) {
            const DeviceId device = devices[static_cast<std::size_t>(row)];
            const InterfaceSpec& spec = platform_.spec(device);
            const QStringList texts{serialText(spec), versionText(spec.versionNumber),
                                    platform_.isPlugged(device) ? QStringLiteral("plugged in")
                                                                : QStringLiteral("unplugged"),
                                    inputStopped_.count(device) ? QStringLiteral("stopped")
                                                                : QStringLiteral("ready"),
                                    selfTestText(platform_.firmware(device).selfTestResult)};
            for (int column = 0; column < kColumnCount; ++column) {
                auto* item = new QTableWidgetItem(texts[column]);
                item->setData(Qt::UserRole, device);
                boards_->setItem(row, column, item);
            }
        }
        serial_->setPlaceholderText(nextSerial());
        if (selected != kNoDevice)
            selectBoard(selected);
        else if (!devices.empty())
            boards_->selectRow(0);
    }
    showSelectedBoard();
}

void Bench::showSelectedBoard() {
    const DeviceId device = selectedBoard();
    const bool any = device != kNoDevice;
    plugButton_->setEnabled(any && !platform_.isPlugged(device));
    unplugButton_->setEnabled(any && platform_.isPlugged(device));
    stopInput_->setEnabled(any);
    selfTestAnswer_->setEnabled(any);
    const QSignalBlocker stopBlocker(stopInput_);
    const QSignalBlocker answerBlocker(selfTestAnswer_);
    stopInput_->setChecked(any && inputStopped_.count(device) > 0);
    selfTestAnswer_->setValue(any ? platform_.firmware(device).selfTestResult : 0);
    inputs_->showBoard(device);
}

// The platform's log is emptied once shown, so the demo's memory stays the same however long
// it runs; the wire log keeps its last lines.
void Bench::refreshWireLog() {
    for (const Call& call : platform_.calls()) {
        const bool feature = call.op == Op::HidD_SetFeature || call.op == Op::HidD_GetFeature;
        if (feature && call.device != kNoDevice)
            wireLog_->appendPlainText(wireLogLine(call, platform_.spec(call.device)));
    }
    platform_.clearCalls();
}

QStringList Bench::wireLogLines() const {
    const QString text = wireLog_->toPlainText();
    return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
}

void Bench::closeEvent(QCloseEvent* event) {
    emit closed();
    event->accept();
}

} // namespace demo
