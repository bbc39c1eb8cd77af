// The shipped command line, tessary32 from the build, run as a process against boards that are
// real USB devices: what it prints, its exit codes, and what the boards receive on the wire.
// Also how long `show` takes against what it cannot avoid (a process start, the first open of
// the node and the nine feature transfers of one read-back), and what the monitor costs at rest.
#include "ChildProcess.h"
#include "GuestBench.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/personality.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace hil {
namespace {

using Clock = ChildProcess::Clock;

constexpr int kCommandTimeoutMs = 10000;
constexpr std::string_view kSetFeature = "21 09 0300 0000 0040 ";
constexpr std::string_view kGetFeature = "A1 01 0300 0000 0040";
constexpr std::array<const char*, 4> kModes{"off", "1:1", "1:2", "1:4"};
// The pulse width of board C1 ("48 ms"), which the monitor's pulses imitate.
constexpr int kPulseWidthIndex = 5;
constexpr auto kPulse = std::chrono::milliseconds(8 * (kPulseWidthIndex + 1));
constexpr int kTimedRuns = 11;
// C2's pair modes go round off, 1:1, 1:2, 1:4 from channel 1 on, shifted by one.
constexpr int kShiftC2 = 1;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Ran {
    int code;
    std::string out, err;
    double ms;
};

std::string cliPath;

Clock::time_point deadline() {
    return Clock::now() + std::chrono::milliseconds(kCommandTimeoutMs);
}

std::vector<std::string> cliCommand(const std::vector<std::string>& args) {
    std::vector<std::string> command{cliPath};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

Ran tessary32(const std::vector<std::string>& args) {
    ChildProcess process(cliCommand(args));
    const int code = process.finish(deadline());
    return {code, process.out(), process.err(), process.elapsed().count()};
}

// "what: exit 1, stderr ..." when the exit code is not the one expected.
bool expectExit(Scenario& s, const Ran& ran, int code, const std::string& what) {
    return s.expectEqual(ran.code, code, what + " exit code (stderr: " + ran.err + ")");
}

std::vector<int> channelModes(int shift) {
    std::vector<int> modes;
    for (int channel = 1; channel <= 16; ++channel)
        modes.push_back((channel + shift) % 4);
    return modes;
}

// C1 is wired as a button box: two encoders, the other inputs buttons.
std::vector<int> buttonBoxModes() {
    std::vector<int> modes(16, 0);
    modes[2] = 2;  // b5-b6: 1:2
    modes[15] = 3; // b31-b32: 1:4
    return modes;
}

// Every setting holds a value the command line can name, written as the board writes it.
BoardSpec cliBoard(const std::string& serial, const std::vector<int>& modes, int pulseWidth,
                   int rotStart) {
    BoardSpec spec;
    spec.usb = true;
    spec.onChange = true;
    spec.buttons = 0;
    spec.serial = serial;
    spec.manufacturer = "Tessary Labs";
    spec.name = "Tessary-32 Kelmora";
    spec.product = 0x0002;
    spec.version = 0x0103;
    spec.memory = patternMemory(static_cast<unsigned>(serial.back()));
    for (int channel = 1; channel <= 16; ++channel)
        spec.memory[config::encoderAddress(channel)] = config::encoderModeValue(modes[channel - 1]);
    spec.memory[config::kPulseWidthAddress] = config::pulseWidthValue(pulseWidth);
    spec.memory[config::kRotStartAddress] = config::rotStartValue(rotStart);
    return spec;
}

// U: a uhid board, the first in the walk. C1: the button box at 48 ms. C2: other values.
struct CliBoards {
    std::unique_ptr<BoardProcess> u, c1, c2;
};
CliBoards boards;

std::vector<std::uint8_t> settingAddresses() {
    std::vector<std::uint8_t> addresses;
    for (int channel = 1; channel <= 16; ++channel)
        addresses.push_back(config::encoderAddress(channel));
    addresses.push_back(config::kPulseWidthAddress);
    addresses.push_back(config::kRotStartAddress);
    return addresses;
}

std::string hex2(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// A feature report as the board receives it: the data bytes, zeros up to 64.
std::string sentOnWire(std::uint8_t command, std::uint8_t address, std::uint8_t value) {
    return std::string(kSetFeature) + hex2(command) + hex2(address) + hex2(value) +
           std::string(2 * 61, '0');
}

std::vector<std::string> readBackOnWire() {
    std::vector<std::string> wire{sentOnWire(0xE0, 0x00, 0x05)};
    wire.insert(wire.end(), 8, std::string(kGetFeature));
    return wire;
}

std::string row(const std::string& name, const std::string& value) {
    char padded[16];
    std::snprintf(padded, sizeof padded, "%-14s", name.c_str());
    return padded + value + "\n";
}

void list(Bench&, Scenario& s) {
    const Ran ran = tessary32({"list"});
    expectExit(s, ran, 0, "list");
    std::vector<const BoardProcess*> all{boards.u.get(), boards.c1.get(), boards.c2.get()};
    // The walk goes by hidraw number.
    const auto number = [](const BoardProcess* board) {
        return std::stoi(board->node().substr(6));
    };
    std::sort(all.begin(), all.end(), [&](auto* a, auto* b) { return number(a) < number(b); });
    std::string listed;
    for (const BoardProcess* board : all)
        listed += board->spec().serial + "\t1209:0002\t1.3\t/dev/" + board->node() + "\n";
    s.expectEqual(ran.out, listed, "listed");
}

void show(Bench&, Scenario& s) {
    BoardProcess& board = *boards.c2;
    board.wire();
    const Ran ran = tessary32({"--serial", board.spec().serial, "show"});
    expectExit(s, ran, 0, "show");
    std::string expected = row("serial", board.spec().serial) +
                           row("device", "/dev/" + board.node()) +
                           row("manufacturer", "Tessary Labs") +
                           row("product", "Tessary-32 Kelmora") + row("version", "1.3");
    const std::vector<int> modes = channelModes(kShiftC2);
    for (int channel = 1; channel <= 16; ++channel)
        expected += row("b" + std::to_string(2 * channel - 1) + "-b" + std::to_string(2 * channel),
                        kModes[static_cast<std::size_t>(modes[channel - 1])]);
    expected += row("pulse-width", "24 ms") + row("rotary-start", "5");
    s.expectEqual(ran.out, expected, "shown");
    s.expectEqual(joined(board.wire()), joined(readBackOnWire()), "requests on the wire");
}

void set(Bench&, Scenario& s) {
    BoardProcess& board = *boards.c2;
    Memory expected = board.memory();
    board.wire();
    const Ran ran =
        tessary32({"--serial", board.spec().serial, "set", "b31-b32=1:4", "pulse-width=200"});
    expectExit(s, ran, 0, "set");
    s.expectEqual(ran.out, row("b31-b32", "1:4") + row("pulse-width", "200 ms"), "printed");
    std::vector<std::string> wire{sentOnWire(0xEE, 0x3E, 0x08), sentOnWire(0xEE, 0x40, 0x19)};
    const std::vector<std::string> readBack = readBackOnWire();
    wire.insert(wire.end(), readBack.begin(), readBack.end());
    s.expectEqual(joined(board.wire()), joined(wire), "requests on the wire");
    expected[0x3E] = 0x08;
    expected[0x40] = 0x19;
    s.expectEqual(hexBytes(board.memory()), hexBytes(expected), "memory");
}

// C1's settings saved and restored onto C2: C2 then holds C1's settings and keeps the rest.
void saveAndRestore(Bench&, Scenario& s) {
    const std::string file = "/tmp/tessary32-c1.json";
    const Ran saved = tessary32({"--serial", boards.c1->spec().serial, "save", file});
    expectExit(s, saved, 0, "save");

    BoardProcess& board = *boards.c2;
    const Memory source = boards.c1->memory();
    Memory expected = board.memory();
    std::vector<std::string> wire = readBackOnWire();
    for (const std::uint8_t address : settingAddresses())
        if (expected[address] != source[address]) {
            wire.push_back(sentOnWire(0xEE, address, source[address]));
            expected[address] = source[address];
        }
    const std::vector<std::string> readBack = readBackOnWire();
    wire.insert(wire.end(), readBack.begin(), readBack.end());
    board.wire();
    const Ran restored = tessary32({"--serial", board.spec().serial, "restore", file});
    expectExit(s, restored, 0, "restore");
    s.expectEqual(joined(board.wire()), joined(wire), "requests of the restore");
    s.expectEqual(hexBytes(board.memory()), hexBytes(expected), "memory after the restore");

    const Ran again = tessary32({"--serial", board.spec().serial, "restore", file});
    expectExit(s, again, 0, "second restore");
    s.expectEqual(joined(board.wire()), joined(readBackOnWire()),
                  "requests of a restore with nothing to change");
}

void selfTest(Bench&, Scenario& s) {
    BoardProcess& board = *boards.c1;
    board.setSelfTestResult(0);
    const Ran passed = tessary32({"--serial", board.spec().serial, "selftest"});
    expectExit(s, passed, 0, "passing self test");
    s.expectEqual(passed.out, std::string("Passed\n"), "passing self test printed");
    board.setSelfTestResult(7);
    const Ran failed = tessary32({"--serial", board.spec().serial, "selftest"});
    expectExit(s, failed, 1, "failing self test");
    s.expectEqual(failed.out, std::string("Failed on B7\n"), "failing self test printed");
    s.check(failed.err.find("/dev/" + board.node()) != std::string::npos,
            "the failure does not name the device: " + failed.err);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string fixed(double value, int decimals = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The first open of a node nobody holds: usbhid waits 50 ms in it for a USB board, which no
// program that talks to the board can skip.
double msToOpen(Scenario& s, const BoardProcess& board) {
    const auto start = Clock::now();
    const int fd = ::open(("/dev/" + board.node()).c_str(), O_RDWR | O_CLOEXEC);
    const double ms = msSince(start);
    s.check(fd >= 0, "cannot open /dev/" + board.node() + ": " + std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return ms;
}

struct ShowTimes {
    std::vector<double> shows, starts, opens, transfers;
};

// show, a process start of the same binary, the node's first open, and the nine feature
// transfers of one read-back made by this program over the same layer on the board held open;
// runs alternate, and their medians are compared.
ShowTimes timeShow(Bench& bench, Scenario& s, const BoardProcess& board) {
    const std::string serial = board.spec().serial;
    ShowTimes times;
    for (int run = 0; run < kTimedRuns; ++run) {
        const Ran shown = tessary32({"--serial", serial, "show"});
        expectExit(s, shown, 0, "show");
        times.shows.push_back(shown.ms);
        const Ran version = tessary32({"--version"});
        expectExit(s, version, 0, "--version");
        times.starts.push_back(version.ms);
        times.opens.push_back(msToOpen(s, board));
        ClosesBoard closes{bench};
        if (!bench.open(s, serial))
            break;
        const auto start = Clock::now();
        const config::BoardSettings settings = bench.session().readSettings();
        times.transfers.push_back(msSince(start));
        s.check(settings.complete(), "the read-back failed");
    }
    return times;
}

void noteShowTimes(Scenario& s, const std::string& kind, const ShowTimes& times) {
    if (times.transfers.empty())
        return;
    const double show = median(times.shows);
    const double start = median(times.starts);
    const double transfers = median(times.transfers);
    const double opened = start + median(times.opens) + transfers;
    s.note(kind + ": tessary32 show " + fixed(show) + " ms; start " + fixed(start) +
           " ms + 9 feature transfers " + fixed(transfers) +
           " ms: " + fixed(show / (start + transfers), 2) + "x; with the node's first open " +
           fixed(median(times.opens)) + " ms: " + fixed(show / opened, 2) +
           "x (target 1.2x; medians of " + std::to_string(kTimedRuns) + ")");
}

// Address space randomisation puts the code somewhere new in every process, and QEMU without
// KVM translates each process's code again, which makes a start cost what no real processor
// charges; the runs without it measure the program's own work.
void timeShowOf(Bench& bench, Scenario& s, const BoardProcess& board, const std::string& kind) {
    noteShowTimes(s, kind + ", randomised addresses", timeShow(bench, s, board));
    const int persona = ::personality(0xffffffff);
    ::personality(static_cast<unsigned long>(persona) | ADDR_NO_RANDOMIZE);
    noteShowTimes(s, kind + ", fixed addresses", timeShow(bench, s, board));
    ::personality(static_cast<unsigned long>(persona));
}

// Each board is the first its walk opens.
void showTime(Bench& bench, Scenario& s) {
    timeShowOf(bench, s, *boards.u, "uhid board");
    timeShowOf(bench, s, *boards.c1, "USB board");
}

// Presses and an encoder turn sent by the board, then its unplug; and a second monitor of the
// other board stopped with Ctrl-C.
void monitor(Bench&, Scenario& s) {
    {
        ChildProcess stopped(cliCommand({"--serial", boards.c2->spec().serial, "monitor"}));
        s.check(stopped.waitFor(2, "Ctrl-C stops", deadline()),
                "the monitor of C2 did not start: " + stopped.err());
        stopped.signal(SIGINT);
        s.expectEqual(stopped.finish(deadline()), 0, "exit code after Ctrl-C");
    }

    BoardProcess& board = *boards.c1;
    ChildProcess watching(cliCommand({"--serial", board.spec().serial, "monitor"}));
    if (!s.check(watching.waitFor(2, "Ctrl-C stops", deadline()),
                 "the monitor did not start: " + watching.err()))
        return;
    // Paced like a person: a press of B1, then a turn of the encoder on B5 B6.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    board.setButtons(0x00000001);
    s.check(watching.waitFor(1, "+B1\n", deadline()), "no +B1: " + watching.out());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    board.setButtons(0);
    s.check(watching.waitFor(1, "-B1\n", deadline()), "no -B1: " + watching.out());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    for (int pulse = 0; pulse < 2; ++pulse) {
        board.setButtons(0x00000010); // B5
        std::this_thread::sleep_for(kPulse);
        board.setButtons(0);
        std::this_thread::sleep_for(kPulse);
    }
    s.check(watching.waitFor(1, "B5 B6 (1:2): 2 pulses on B5, ", deadline()),
            "no turn of 2 pulses: " + watching.out());

    const std::uint64_t cpuBefore = watching.cpuNs();
    const auto restStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double restCpuMs = static_cast<double>(watching.cpuNs() - cpuBefore) / 1e6;
    const double restMs = msSince(restStart);

    board.unplug();
    s.expectEqual(watching.finish(deadline()), 1, "exit code after the unplug");
    const std::string gone =
        "board " + board.spec().serial + " (/dev/" + board.node() + ") was unplugged";
    s.check(watching.err().find(gone) != std::string::npos,
            "the unplug is not told as \"" + gone + "\": " + watching.err());
    std::string lines = watching.err() + watching.out();
    std::replace(lines.begin(), lines.end(), '\n', '|');
    s.note("monitor said: " + lines);
    s.note("monitor at rest: " + fixed(restCpuMs * 1000) + " us of processor time in " +
           fixed(restMs) + " ms, " + fixed(restCpuMs / restMs * 100) + " % of one core");
}

} // namespace

bool runCliScenarios(Bench& bench, const std::string& cli) {
    cliPath = cli;
    try {
        BoardSpec uhid = cliBoard("TS32-C-0000", channelModes(kShiftC2), 2, 4);
        uhid.usb = false;
        boards.u = bench.start(uhid);
        boards.u->setInput(false); // its reports would take the guest's only processor
        boards.c1 = bench.start(cliBoard("TS32-C-0001", buttonBoxModes(), kPulseWidthIndex, 0));
        boards.c2 = bench.start(cliBoard("TS32-C-0002", channelModes(kShiftC2), 2, 4));
    } catch (const std::exception& error) {
        std::printf("FAIL cli setup: %s\n", error.what());
        return false;
    }
    bool passed = true;
    passed &= run(bench, "cli list: tessary32 lists the three boards", list);
    passed &= run(bench, "cli show: every setting as the board holds it, one read-back", show);
    passed &= run(bench, "cli set: byte-exact on the wire, verified by one read-back", set);
    passed &= run(bench, "cli save and restore: writes only what differs", saveAndRestore);
    passed &= run(bench, "cli selftest: passes, then fails on B7 with exit 1", selfTest);
    passed &= run(bench, "cli show time: against a start and nine transfers", showTime);
    passed &= run(bench, "cli monitor: presses and a turn, Ctrl-C 0, unplug 1", monitor);
    boards = CliBoards{};
    return passed;
}

} // namespace hil
