// The window over simulated boards, driven by a long run of random events: boards plugged,
// unplugged and added, picks in every list, the wheel, ticks, self tests, and platform calls that
// fail. After every event the window's invariants must hold. The run is replayable: its seed is
// printed, and TESSARY_SOAK_SEED sets it; TESSARY_SOAK_EVENTS sets the number of events.
#include "WindowInvariants.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>

namespace {

using hid::sim::InterfaceSpec;
using hid::sim::kNoDevice;
using hid::sim::Op;
using reliability::DeviceId;

constexpr int kDefaultEvents = 100000;
constexpr std::size_t kEventsShownOnFailure = 20;
constexpr std::size_t kMostInterfaces = 8;
constexpr int kLastOp = static_cast<int>(Op::HidD_GetFeature);
// Made to fail too: a presence read that completes with an error, and hardware IDs that cannot
// be read. A cancel never fails while a read is in flight, so it is not among them.
constexpr Op kLaterFailingOps[] = {Op::GetOverlappedResult, Op::SetupDiGetDeviceRegistryPropertyA};

// Every popup the soak opens makes the offscreen platform say that it cannot raise it or grab
// the keyboard; a hundred thousand of those would bury the report.
QtMessageHandler defaultMessageHandler = nullptr;
void dropPopupNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        defaultMessageHandler(type, context, message);
}

std::uint64_t numberFromEnvironment(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

class Soak {
public:
    explicit Soak(std::uint64_t seed) : random_(seed) {
        sim_.beforeCall = [this](Op op, DeviceId device) { beforeCall(op, device); };
        addBoard();
        addBoard();
        window_ = std::make_unique<frmMain>(sim_);
        invariants_ = std::make_unique<reliability::WindowInvariants>(sim_, *window_);
        record("Form_Load", [this] { window_->Form_Load(); });
    }

    // Plays events until one breaks an invariant; returns what broke, or nothing.
    std::vector<std::string> play(int events) {
        std::vector<std::string> found = checkAfterEvent();
        for (int event = 0; event < events && found.empty(); ++event) {
            step();
            found = checkAfterEvent();
        }
        return found;
    }

    std::string recentEvents() const {
        std::ostringstream text;
        for (const std::string& event : recent_)
            text << "  " << event << "\n";
        return text.str();
    }

private:
    template <typename Action> void record(std::string event, Action action) {
        if (recent_.size() == kEventsShownOnFailure)
            recent_.pop_front();
        recent_.push_back(std::move(event));
        callsThisEvent_ = 0;
        action();
        sim_.clearCalls();
    }

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }
    bool chance(int percent) { return below(100) < percent; }
    DeviceId anyDevice() { return below(static_cast<int>(sim_.devices().size())); }

    void step() {
        endFailureWhenDue();
        const int roll = below(100);
        if (roll < 30)
            return record("tick", [this] { window_->Timer_Timer(); });
        if (roll < 52)
            return pickSetting();
        if (roll < 60)
            return pickInList(window_->SerNo);
        if (roll < 65)
            return record("Selftest click",
                          [this] { QTest::mouseClick(window_->Selftest, Qt::LeftButton); });
        if (roll < 70)
            return turnWheel();
        if (roll < 77)
            return unplug();
        if (roll < 84)
            return plug();
        if (roll < 86)
            return addInterface();
        if (roll < 94)
            return failAnOperation();
        if (roll < 97)
            return unplugDuringNextEvent();
        if (roll < 99)
            return setInputReady();
        return setSelfTestResult();
    }

    void pickSetting() {
        const int which = below(config::kEncoderChannels + 2);
        DropDownList* list = which < config::kEncoderChannels    ? window_->Enc[which]
                             : which == config::kEncoderChannels ? window_->Delay
                                                                 : window_->RotStart;
        pickInList(list);
    }

    // As a user: a key on the closed list (each selection it makes is a pick), or open the
    // list and confirm an item. A disabled or empty list takes no pick.
    void pickInList(DropDownList* list) {
        const std::string name = list->objectName().toStdString();
        if (!list->isEnabled() || list->count() == 0)
            return record("pick in " + name + ": nothing to pick", [] {});
        if (chance(70)) {
            static constexpr std::pair<Qt::Key, const char*> keys[] = {
                {Qt::Key_Down, "Down"}, {Qt::Key_Up, "Up"},         {Qt::Key_Home, "Home"},
                {Qt::Key_End, "End"},   {Qt::Key_PageUp, "PageUp"}, {Qt::Key_PageDown, "PageDown"}};
            const auto [key, keyName] = keys[below(6)];
            return record(name + " key " + keyName,
                          [list, key = key] { QTest::keyClick(list, key); });
        }
        const int index = below(list->count());
        record("pick " + name + " item " + std::to_string(index), [list, index] {
            list->showPopup();
            QAbstractItemView* view = list->view();
            view->setCurrentIndex(list->model()->index(index, 0));
            QTest::keyClick(view, Qt::Key_Return);
        });
    }

    // A list without the keyboard focus ignores the wheel: nothing changes, nothing is sent.
    void turnWheel() {
        std::vector<DropDownList*> lists(window_->Enc.begin(), window_->Enc.end());
        lists.insert(lists.end(), {window_->Delay, window_->RotStart, window_->SerNo});
        DropDownList* list = lists[static_cast<std::size_t>(below(int(lists.size())))];
        const std::string name = list->objectName().toStdString();
        if (list->hasFocus())
            return record("wheel over " + name + ": it has the focus", [] {});
        const int before = list->listIndex();
        record("wheel over " + name, [&] {
            const QPoint centre = list->rect().center();
            QWheelEvent notch(centre, list->mapToGlobal(centre), {}, {0, chance(50) ? -120 : 120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list, &notch);
            if (!sim_.calls().empty() || list->listIndex() != before)
                wheelFault_ = "the wheel over " + name + " without focus picked or sent";
        });
    }

    void unplug() {
        const DeviceId device = anyDevice();
        record("unplug " + std::to_string(device), [this, device] { sim_.unplug(device); });
    }

    void plug() {
        const DeviceId device = anyDevice();
        record("plug " + std::to_string(device), [this, device] { sim_.plug(device); });
    }

    void addInterface() {
        if (sim_.devices().size() >= kMostInterfaces)
            return record("add: the bench is full", [] {});
        if (chance(20)) {
            InterfaceSpec other;
            other.vendorId = 0x046D;
            return record("add another vendor's interface", [this, other] { sim_.add(other); });
        }
        record("add board", [this] { addBoard(); });
    }

    // Boards of every version, some without strings, some with reports too short for the
    // read-back; their memory holds valid codes and now and then one that matches no item.
    void addBoard() {
        InterfaceSpec spec;
        spec.serial = std::u16string(u"S") + char16_t(u'A' + nextSerial_++);
        spec.versionNumber = std::array<std::uint16_t, 4>{0x0101, 0x0102, 0x0103, 0x0110}[below(4)];
        if (chance(15))
            spec.manufacturer.reset();
        if (chance(10))
            spec.product.reset();
        if (chance(10))
            spec.featureReportLength = std::array<std::uint16_t, 3>{20, 33, 129}[below(3)];
        const DeviceId device = sim_.add(spec);
        auto& memory = sim_.firmware(device).memory;
        for (int channel = 1; channel <= config::kEncoderChannels; ++channel)
            memory[config::encoderAddress(channel)] =
                chance(95) ? config::encoderModeValue(below(4)) : std::uint8_t(below(256));
        memory[config::kPulseWidthAddress] =
            chance(95) ? config::pulseWidthValue(below(25)) : std::uint8_t(below(256));
        memory[config::kRotStartAddress] =
            chance(95) ? config::rotStartValue(below(33)) : std::uint8_t(below(256));
    }

    // One operation fails, for one device or for all, during the next few events.
    void failAnOperation() {
        const int pick = below(kLastOp + 1 + static_cast<int>(std::size(kLaterFailingOps)));
        const Op op =
            pick <= kLastOp ? static_cast<Op>(pick) : kLaterFailingOps[pick - kLastOp - 1];
        const DeviceId device = chance(30) ? kNoDevice : anyDevice();
        const int events = 1 + below(5);
        endFailure();
        failure_ = {op, device, events};
        record(std::string("fail ") + hid::sim::opName(op) + " on " +
                   (device == kNoDevice ? "every device" : std::to_string(device)) + " for " +
                   std::to_string(events) + " events",
               [this, op, device] { sim_.setFailing(op, true, device); });
    }

    void endFailureWhenDue() {
        if (failure_ && --failure_->events < 0)
            endFailure();
    }
    void endFailure() {
        if (failure_)
            sim_.setFailing(failure_->op, false, failure_->device);
        failure_.reset();
    }

    void unplugDuringNextEvent() {
        const DeviceId device = anyDevice();
        const int call = 1 + below(40);
        record("unplug " + std::to_string(device) + " at call " + std::to_string(call) +
                   " of the next event",
               [this, device, call] {
                   unplugAt_ = {device, call};
               });
    }

    void setInputReady() {
        const DeviceId device = anyDevice();
        const bool ready = chance(60);
        record("input " + std::string(ready ? "ready" : "stopped") + " on " +
                   std::to_string(device),
               [this, device, ready] { sim_.setInputReady(device, ready); });
    }

    void setSelfTestResult() {
        const DeviceId device = anyDevice();
        const auto result = std::uint8_t(chance(50) ? 0 : 1 + below(32));
        record("self test of " + std::to_string(device) + " answers " + std::to_string(result),
               [this, device, result] { sim_.firmware(device).selfTestResult = result; });
    }

    void beforeCall(Op op, DeviceId device) {
        ++callsThisEvent_;
        if (unplugAt_ && callsThisEvent_ == unplugAt_->second) {
            sim_.unplug(unplugAt_->first);
            unplugAt_.reset();
        }
        if (op == Op::HidD_SetFeature && writeFault_.empty())
            writeFault_ = invariants_->writeViolation(device);
    }

    std::vector<std::string> checkAfterEvent() {
        if (unplugAt_ && callsThisEvent_ > 0)
            unplugAt_.reset(); // the event made fewer calls than that
        std::vector<std::string> found = invariants_->violations();
        for (std::string* fault : {&writeFault_, &wheelFault_})
            if (!fault->empty()) {
                found.push_back(*fault);
                fault->clear();
            }
        return found;
    }

    struct Failure {
        Op op;
        DeviceId device;
        int events;
    };

    hid::sim::SimulatedPlatform sim_;
    std::unique_ptr<frmMain> window_;
    std::unique_ptr<reliability::WindowInvariants> invariants_;
    std::mt19937_64 random_;
    std::deque<std::string> recent_;
    std::optional<Failure> failure_;
    std::optional<std::pair<DeviceId, int>> unplugAt_;
    int callsThisEvent_ = 0;
    int nextSerial_ = 0;
    std::string writeFault_;
    std::string wheelFault_;
};

TEST(Soak, RandomEventsNeverBreakTheWindowsInvariants) {
    const std::uint64_t seed = numberFromEnvironment("TESSARY_SOAK_SEED", std::random_device{}());
    const auto events =
        static_cast<int>(numberFromEnvironment("TESSARY_SOAK_EVENTS", kDefaultEvents));
    std::cout << "soak: seed " << seed << " (TESSARY_SOAK_SEED), " << events << " events\n";

    defaultMessageHandler = qInstallMessageHandler(dropPopupNotices);
    const auto start = std::chrono::steady_clock::now();
    Soak soak(seed);
    const std::vector<std::string> found = soak.play(events);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    qInstallMessageHandler(defaultMessageHandler);

    if (!found.empty()) {
        std::ostringstream broken;
        for (const std::string& violation : found)
            broken << "  " << violation << "\n";
        FAIL() << "seed " << seed << ": after the last of these events\n"
               << soak.recentEvents() << "this does not hold:\n"
               << broken.str() << "replay with TESSARY_SOAK_SEED=" << seed;
    }
    std::cout << "soak: " << events << " events in " << took.count() << " s, "
              << static_cast<int>(events / took.count()) << " events/s\n";
}

} // namespace
