// The window itself on the real kernel: frmMain, offscreen, over the hidraw platform layer,
// with a board that is a real USB device. Its timer is ticked by calling Timer_Timer, as the
// event loop would every 500 ms; what the window shows is read from its controls and what
// the board received from the emulator's log of control requests.
//
//   tessary-hil-window --usb-board PATH-OF-tessary-hil-usb-board
//
// Runs from the host's root file system in the guest (tests/hil/init), where Qt is. Prints
// one line per scenario, "PASS name" or "FAIL name: reasons", and exits non-zero when any
// scenario failed.
#include "BoardProcess.h"
#include "DropDownList.h"
#include "HidrawPlatform.h"
#include "Protocol.h"
#include "Scenario.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace hil {
namespace {

constexpr int kIdleTicks = 20;
// Between ticks: long enough for a streaming board to have sent reports.
constexpr auto kTickGap = std::chrono::milliseconds(20);
constexpr std::string_view kSetFeature = "21 09 0300 0000 0040 ";
constexpr int kPulseWidthIndex = 5;
constexpr int kRotStartIndex = 7;

Memory boardMemory(int shift) {
    Memory memory{};
    for (std::size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<std::uint8_t>(0x5A ^ i);
    for (int channel = 1; channel <= frmMain::kEncoderChannels; ++channel)
        memory[config::encoderAddress(channel)] = config::encoderModeValue((channel + shift) % 4);
    memory[config::kPulseWidthAddress] = config::pulseWidthValue(kPulseWidthIndex + shift);
    memory[config::kRotStartAddress] = config::rotStartValue(kRotStartIndex + shift);
    return memory;
}

BoardSpec windowBoard(int shift) {
    BoardSpec spec;
    spec.usb = true;
    spec.serial = "TS32-W-0001";
    spec.manufacturer = "Tessary Labs";
    spec.name = "Tessary-32 Kelmora";
    spec.product = 0x0002;
    spec.version = 0x0103;
    spec.memory = boardMemory(shift);
    return spec;
}

std::string text(const QLabel* label) {
    return label->text().toStdString();
}

struct Bench {
    explicit Bench(std::string path) : emulator(std::move(path)) {}

    std::string emulator;
    hid::HidrawPlatform platform;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<BoardProcess> board;
    int shift = 0; // of the board's settings, changed at each replug

    void tick() {
        std::this_thread::sleep_for(kTickGap);
        window->Timer_Timer();
    }
    std::vector<std::string> setFeatures() {
        std::vector<std::string> writes;
        for (const std::string& line : board->wire())
            if (line.starts_with(kSetFeature))
                writes.push_back(line.substr(kSetFeature.size()));
        return writes;
    }
};

// Picks an item the way a user does: opens the list and confirms the item with the keyboard.
void pick(DropDownList* list, int index) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    view->setCurrentIndex(list->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

// The data bytes of a setting's write as the board receives them: no report-ID byte.
std::string writeOnWire(std::uint8_t address, std::uint8_t value) {
    std::string text;
    char digits[4];
    for (int i = 0; i < 64; ++i) {
        const int byte = i == 0 ? config::kWriteSetting : i == 1 ? address : i == 2 ? value : 0;
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

void checkLoaded(Bench& bench, Scenario& s) {
    frmMain& w = *bench.window;
    s.check(w.deviceAttached(), "no board attached");
    s.expectEqual(text(w.lblManuf), std::string(" Tessary Labs"), "lblManuf");
    s.expectEqual(text(w.lblProduct), std::string(" Tessary-32 Kelmora"), "lblProduct");
    s.expectEqual(text(w.lblVersion), std::string(" 1.3"), "lblVersion");
    s.expectEqual(w.SerNo->selectedText().toStdString(), bench.board->spec().serial, "SerNo");
    s.check(w.RotStart->isEnabled() && w.Selftest->isEnabled(), "a version gate is shut");
    for (int channel = 1; channel <= frmMain::kEncoderChannels; ++channel)
        s.expectEqual(w.Enc[channel - 1]->listIndex(), (channel + bench.shift) % 4,
                      "Enc" + std::to_string(channel));
    s.expectEqual(w.Delay->listIndex(), kPulseWidthIndex + bench.shift, "Delay");
    s.expectEqual(w.RotStart->listIndex(), kRotStartIndex + bench.shift, "RotStart");
    s.check(w.settingsLoaded, "settingsLoaded is not set");
}

void load(Bench& bench, Scenario& s) {
    bench.window = std::make_unique<frmMain>(bench.platform);
    bench.board->wire();
    bench.window->Form_Load();
    checkLoaded(bench, s);
    const std::vector<std::string> writes = bench.setFeatures();
    s.expectEqual(writes.size(), 1u, "writes at load (the read-back request)");
}

void picks(Bench& bench, Scenario& s) {
    frmMain& w = *bench.window;
    bench.board->wire();
    pick(w.Enc[15], 3);   // channel 16 "1:4"
    pick(w.RotStart, 32); // "33"
    const std::vector<std::string> writes = bench.setFeatures();
    const std::vector<std::string> expected{writeOnWire(0x3E, 0x08), writeOnWire(0x4E, 0x20)};
    s.expectEqual(writes.size(), expected.size(), "writes received");
    for (std::size_t i = 0; i < std::min(writes.size(), expected.size()); ++i)
        s.expectEqual(writes[i], expected[i], "write " + std::to_string(i + 1));
    const Memory memory = bench.board->memory();
    s.expectEqual(memory[0x3E], 0x08, "channel 16 byte");
    s.expectEqual(memory[0x4E], 0x20, "rotary start byte");
}

// The diagnostic's command and its answer cross the wire as one SET_REPORT and one GET_REPORT.
void selfTest(Bench& bench, Scenario& s) {
    frmMain& w = *bench.window;
    bench.board->setSelfTestResult(12);
    bench.board->wire();
    QTest::mouseClick(w.Selftest, Qt::LeftButton);
    s.expectEqual(w.TestResult->text().toStdString(), std::string("Failed on B12"), "TestResult");
    const std::vector<std::string> wire = bench.board->wire();
    const std::vector<std::string> expected{std::string(kSetFeature) + "E1",
                                            "A1 01 0300 0000 0040"};
    s.expectEqual(wire.size(), expected.size(), "requests received");
    for (std::size_t i = 0; i < std::min(wire.size(), expected.size()); ++i)
        s.check(wire[i].starts_with(expected[i]), "request " + std::to_string(i + 1) + " is " +
                                                      wire[i].substr(0, 24) + ", expected " +
                                                      expected[i]);
}

// While its inputs rest the board sends nothing (usbhid set its idle rate to 0); the window
// must keep it without opening it again or reading its settings again.
void idle(Bench& bench, Scenario& s) {
    frmMain& w = *bench.window;
    const hid::Handle feature = w.session.board().featureHandle;
    bench.board->setOnChange(true);
    bench.tick(); // takes what was sent before
    bench.board->wire();
    int detached = 0;
    for (int tick = 0; tick < kIdleTicks; ++tick) {
        bench.tick();
        detached += w.deviceAttached() ? 0 : 1;
    }
    s.expectEqual(detached, 0,
                  "ticks that found the idle board gone (a quiet board that is "
                  "plugged in must count as present)");
    s.check(w.session.board().featureHandle == feature, "the board was opened again");
    s.expectEqual(bench.setFeatures().size(), 0u, "writes during the idle ticks (a reload)");
    s.check(w.settingsLoaded, "settingsLoaded is not set");
    bench.board->setOnChange(false);
}

void unplug(Bench& bench, Scenario& s) {
    frmMain& w = *bench.window;
    bench.tick();
    bench.board->unplug();
    bench.tick();
    s.check(!w.deviceAttached(), "the board is still attached one tick after the unplug");
    s.expectEqual(text(w.lblManuf) + text(w.lblProduct) + text(w.lblVersion), std::string(),
                  "device labels");
    s.expectEqual(w.SerNo->count(), 0, "serial numbers listed");
    s.check(!w.Enc[0]->isEnabled() && w.Enc[0]->count() == 0, "Enc1 still has its items");
    s.check(!w.Delay->isEnabled() && !w.RotStart->isEnabled() && !w.Selftest->isEnabled(),
            "a board control is still enabled");
    s.expectEqual(bench.platform.openDeviceHandles(), 0, "open device handles");
}

void replug(Bench& bench, Scenario& s) {
    bench.shift = 1;
    bench.board = std::make_unique<BoardProcess>(bench.emulator, windowBoard(bench.shift));
    bench.tick();
    checkLoaded(bench, s);
}

bool run(Bench& bench, const char* name, void (*body)(Bench&, Scenario&)) {
    Scenario scenario(name);
    try {
        body(bench, scenario);
    } catch (const std::exception& error) {
        scenario.fail(std::string("exception: ") + error.what());
    }
    scenario.report();
    return scenario.passed();
}

int runAll(const std::string& emulator) {
    Bench bench(emulator);
    bench.board = std::make_unique<BoardProcess>(emulator, windowBoard(0));
    bool passed =
        run(bench, "window load: a USB board's manufacturer, product and version 1.3", load);
    if (!passed)
        return 1; // nothing else can work
    passed &= run(bench, "window pick: the board receives the exact report", picks);
    passed &= run(bench, "window self test: the board's answer is shown", selfTest);
    passed &= run(bench, "window idle board: 20 ticks attached, no reopen, no reload", idle);
    passed &= run(bench, "window unplug: controls cleared within one tick", unplug);
    passed &= run(bench, "window replug: the board's settings loaded again", replug);
    bench.window->Form_Unload();
    return passed ? 0 : 1;
}

} // namespace
} // namespace hil

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    std::string emulator = "/bin/tessary-hil-usb-board";
    if (argc == 3 && std::string(argv[1]) == "--usb-board")
        emulator = argv[2];
    try {
        return hil::runAll(emulator);
    } catch (const std::exception& error) {
        std::printf("FAIL window setup: %s\n", error.what());
        return 1;
    }
}
