#include "Subjects.h"

#include "HidrawPlatform.h"
#include "SimulatedPlatform.h"
#include "SysfsTree.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
// The measured start: when the program is loaded, before main and before Qt starts.
const Clock::time_point processStart = Clock::now();

constexpr int kOtherInterfaces = 20;
constexpr double kWarmUpSeconds = 0.3;

std::int64_t nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

std::int64_t cpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The application of one measuring process.
class Application {
public:
    Application() : app_(argc_, argv_) {}
    QApplication& operator*() { return app_; }

private:
    int argc_ = 1;
    char name_[8] = "bench";
    char* argv_[2] = {name_, nullptr};
    QApplication app_;
};

const char* controlType(const QWidget* widget) {
    // Most derived first: a QLabel is also a QFrame.
    for (const char* type :
         {"QComboBox", "QGroupBox", "QPushButton", "QLineEdit", "QCheckBox", "QLabel", "QFrame"})
        if (widget->inherits(type))
            return type;
    return nullptr;
}

QString controlText(const QWidget* widget) {
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        text = label->text();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        text = button->text();
    else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        text = group->title();
    return text.simplified();
}

// A QWidget with the same controls as the window: types, parents, geometries, texts, items.
std::unique_ptr<QWidget> bareForm(const std::string& censusFile) {
    auto form = std::make_unique<QWidget>();
    std::vector<QWidget*> made;
    std::ifstream in(censusFile);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string type;
        int parent = -1, x = 0, y = 0, width = 0, height = 0, items = 0;
        fields >> type >> parent >> x >> y >> width >> height >> items;
        std::string text;
        std::getline(fields >> std::ws, text);
        const QString caption = QString::fromStdString(text);
        if (type == "window") {
            form->resize(width, height);
            continue;
        }
        QWidget* owner =
            parent < 0 || parent >= static_cast<int>(made.size()) ? form.get() : made[parent];
        QWidget* control = nullptr;
        if (type == "QComboBox") {
            auto* list = new QComboBox(owner);
            for (int item = 0; item < items; ++item)
                list->addItem(QStringLiteral("Item %1").arg(item));
            control = list;
        } else if (type == "QGroupBox") {
            control = new QGroupBox(caption, owner);
        } else if (type == "QPushButton") {
            control = new QPushButton(caption, owner);
        } else if (type == "QLineEdit") {
            control = new QLineEdit(caption, owner);
        } else if (type == "QCheckBox") {
            control = new QCheckBox(caption, owner);
        } else if (type == "QLabel") {
            control = new QLabel(caption, owner);
        } else {
            control = new QFrame(owner);
        }
        control->setGeometry(x, y, width, height);
        made.push_back(control);
    }
    return form;
}

// An event loop of its own: QApplication::quit would close the windows, and the utility's
// closing stops its timer.
void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits for the first paint of any widget, then for the paint to end.
std::int64_t waitForFirstPaint(QApplication& app, Clock::time_point start) {
    QEventLoop loop;
    struct Watch : QObject {
        QEventLoop* loop = nullptr;
        bool seen = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                QTimer::singleShot(0, loop, &QEventLoop::quit);
            }
            return false;
        }
    } watch;
    watch.loop = &loop;
    app.installEventFilter(&watch);
    loop.exec();
    app.removeEventFilter(&watch);
    return nanosecondsSince(start);
}

// The utility's window as it starts: over simulated boards, or over a sysfs tree.
struct Utility {
    hid::sim::SimulatedPlatform sim;
    std::unique_ptr<test::SysfsTree> tree;
    std::unique_ptr<hid::HidrawPlatform> hidraw;
    std::unique_ptr<frmMain> window;

    explicit Utility(const std::string& subject) {
        hid::ApiDeclarations* api = &sim;
        if (subject == "searching") {
            tree = std::make_unique<test::SysfsTree>();
            for (int minor = 0; minor < kOtherInterfaces; ++minor)
                addOther(minor);
            hidraw =
                std::make_unique<hid::HidrawPlatform>(tree->sys().string(), tree->dev().string());
            api = hidraw.get();
        } else if (subject != "utility") {
            sim.add(hid::sim::InterfaceSpec{});
        }
        window = std::make_unique<frmMain>(*api);
        window->Form_Load();
    }

    // A mouse on USB, with the files a real one has in sysfs.
    void addOther(int minor) const {
        test::UsbDeviceFiles files;
        files.idVendor = "046d";
        files.idProduct = "c077";
        files.bcdDevice = "7200";
        files.serial = std::nullopt;
        files.manufacturer = "Logitech";
        files.product = "USB Optical Mouse";
        const auto hidDir =
            tree->addHidDevice(tree->addUsbDevice(minor + 1, files),
                               "0003:046D:C077." + std::to_string(1000 + minor).substr(0, 4),
                               {"0003:0000046D:0000C077", "Logitech USB Optical Mouse", ""}, minor);
        tree->addInputChild(hidDir, minor, "0111");
    }
};

} // namespace

std::string census() {
    Application app;
    hid::sim::SimulatedPlatform platform;
    frmMain window(platform);
    std::vector<QWidget*> listed;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (controlType(widget) != nullptr && !widget->objectName().isEmpty() &&
            !widget->objectName().startsWith(QStringLiteral("qt_")))
            listed.push_back(widget);
    }
    std::ostringstream out;
    out << "window -1 0 0 " << window.width() << ' ' << window.height() << " 0\n";
    for (QWidget* widget : listed) {
        const auto parent = std::find(listed.begin(), listed.end(), widget->parentWidget());
        const auto* list = qobject_cast<const QComboBox*>(widget);
        const QRect geometry = widget->geometry();
        out << controlType(widget) << ' '
            << (parent == listed.end() ? -1 : static_cast<int>(parent - listed.begin())) << ' '
            << geometry.x() << ' ' << geometry.y() << ' ' << geometry.width() << ' '
            << geometry.height() << ' ' << (list != nullptr ? list->count() : 0) << ' '
            << controlText(widget).toStdString() << '\n';
    }
    return out.str();
}

int firstPaint(const std::string& subject, const std::string& censusFile) {
    Application app;
    std::unique_ptr<Utility> utility;
    std::unique_ptr<QWidget> form;
    if (subject == "form") {
        form = bareForm(censusFile);
        form->show();
    } else {
        utility = std::make_unique<Utility>(subject);
        utility->window->Timer->stop();
    }
    std::cout << waitForFirstPaint(*app, processStart) << '\n';
    return 0;
}

int repaint(const std::string& subject, const std::string& censusFile, int count) {
    Application app;
    std::unique_ptr<Utility> utility;
    std::unique_ptr<QWidget> form;
    QWidget* shown = nullptr;
    if (subject == "form") {
        form = bareForm(censusFile);
        form->show();
        shown = form.get();
    } else {
        utility = std::make_unique<Utility>(subject);
        utility->window->Timer->stop();
        shown = utility->window.get();
    }
    waitForFirstPaint(*app, processStart);
    const auto start = Clock::now();
    // Renders every control, as an exposed window's repaint does.
    for (int i = 0; i < count; ++i)
        shown->grab();
    std::cout << nanosecondsSince(start) / count << '\n';
    return 0;
}

// CPU time and ticks of the timer over the given time, after a short warm-up.
int ticks(const std::string& subject, const std::string& censusFile, double seconds) {
    Application app;
    std::unique_ptr<Utility> utility;
    std::unique_ptr<QWidget> window;
    QTimer* timer = nullptr;
    if (subject == "window-50" || subject == "window-500") {
        window = std::make_unique<QWidget>();
        window->show();
        timer = new QTimer(window.get());
        timer->setInterval(subject == "window-50" ? 50 : 500);
        QObject::connect(timer, &QTimer::timeout, window.get(), [] {});
        timer->start();
    } else {
        utility = std::make_unique<Utility>(subject);
        timer = utility->window->Timer;
    }
    (void)censusFile;
    long count = 0;
    // The simulated platform logs every call for the tests to read; the real one keeps nothing,
    // so the log is emptied each tick rather than left to grow with the run.
    QObject::connect(timer, &QTimer::timeout, timer, [&count, &utility] {
        ++count;
        if (utility)
            utility->sim.clearCalls();
    });
    runFor(kWarmUpSeconds);
    const long ticksBefore = count;
    const std::int64_t cpuBefore = cpuNanoseconds();
    const auto start = Clock::now();
    runFor(seconds);
    std::cout << cpuNanoseconds() - cpuBefore << ' ' << count - ticksBefore << ' '
              << nanosecondsSince(start) << '\n';
    return 0;
}

// The window's tick over many simulated interfaces and no board: a search each time.
int simulatedSearch(int interfaces, int count) {
    Application app;
    hid::sim::SimulatedPlatform platform;
    hid::sim::InterfaceSpec other;
    other.vendorId = 0x046D;
    for (int i = 0; i < interfaces; ++i)
        platform.add(other);
    frmMain window(platform);
    window.Form_Load();
    window.Timer->stop();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        window.Timer_Timer();
        platform.clearCalls();
    }
    std::cout << nanosecondsSince(start) / count << '\n';
    return 0;
}

} // namespace bench
