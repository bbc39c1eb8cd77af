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
#include <filesystem>
#include <fstream>
#include <set>
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

// ---- the board builders' commands: check, show --inputs, provision, report ----

constexpr std::uint32_t B(int n) {
    return std::uint32_t{1} << (n - 1);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string bar(std::string text) {
    std::replace(text.begin(), text.end(), '\n', '|');
    return text;
}

std::string inputList(std::uint32_t inputs) {
    std::string list;
    for (int n = 1; n <= 32; ++n)
        if ((inputs & B(n)) != 0)
            list += (list.empty() ? "B" : " B") + std::to_string(n);
    return list;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A uhid board that sends a report for each change at once: B7 held from the start, B3
// chattering, three detents of an encoder on the "off" pair B9 B10; then the same board pressed
// input by input at a person's pace, which finds nothing. Each change of B3 is a round trip to
// the emulator, which under QEMU's emulated processor may take longer than the 5 ms of the
// default, so the first check counts a bounce within 15 ms.
void check(Bench& bench, Scenario& s) {
    std::vector<int> modes(16, 0);
    modes[2] = 2; // b5-b6: 1:2
    BoardSpec spec = cliBoard("TS32-C-0003", modes, kPulseWidthIndex, 0);
    spec.usb = false;
    spec.buttons = B(7);
    const std::unique_ptr<BoardProcess> board = bench.start(spec);
    board->setInput(false);
    {
        ChildProcess checking(cliCommand(
            {"--serial", spec.serial, "check", "--seconds", "30", "--chatter-ms", "15"}));
        if (!s.check(checking.waitFor(2, "Ctrl-C ends sooner", deadline()),
                     "the check did not start: " + checking.err()))
            return;
        sleepMs(300);
        for (int change = 0; change < 12; ++change)
            board->setButtons(B(7) | (change % 2 == 0 ? B(3) : 0));
        board->setButtons(B(7));
        sleepMs(400);
        const std::uint32_t cycle[4] = {B(9), B(9) | B(10), B(10), 0};
        for (int step = 0; step < 12; ++step) {
            board->setButtons(B(7) | cycle[step % 4]);
            sleepMs(60);
        }
        sleepMs(300);
        checking.signal(SIGINT);
        s.expectEqual(checking.finish(deadline()), 1, "exit code of a check with findings");
        const std::vector<std::string> lines = linesOf(checking.out());
        s.note("check said: " + bar(checking.err() + checking.out()));
        if (s.expectEqual(lines.size(), std::size_t{4}, "findings: " + bar(checking.out()))) {
            s.expectEqual(lines[0],
                          std::string("stuck: B7 was down from the start and never let go"),
                          "stuck");
            s.check(lines[1].starts_with("chatter: B3 changed "), "chatter: " + lines[1]);
            s.check(lines[2].starts_with("encoder off: B9 B10 moved as an encoder (") &&
                        lines[2].ends_with("; tessary32 --serial TS32-C-0003 set b9-b10=1:1"),
                    "encoder off: " + lines[2]);
            s.expectEqual(lines[3],
                          "silent: " + inputList(~(B(3) | B(7) | B(9) | B(10))) + " never changed",
                          "silent");
        }
    }
    board->setButtons(0);
    ChildProcess person(cliCommand({"--serial", spec.serial, "check", "--json"}));
    if (!s.check(person.waitFor(2, "Ctrl-C ends sooner", deadline()),
                 "the second check did not start: " + person.err()))
        return;
    for (int n = 1; n <= 32; ++n) {
        board->setButtons(B(n));
        sleepMs(90);
        board->setButtons(0);
        sleepMs(60);
    }
    person.signal(SIGINT);
    s.expectEqual(person.finish(deadline()), 0, "exit code of a check at a person's pace");
    s.expectEqual(person.out(), std::string(), "findings at a person's pace");
    s.check(person.err().find("nothing wrong found") != std::string::npos,
            "no word that nothing was found: " + person.err());
}

// The key codes show --inputs gives are those the kernel's own input device for the board has.
void showInputs(Bench&, Scenario& s) {
    const BoardProcess& board = *boards.c2;
    const Ran ran = tessary32({"--serial", board.spec().serial, "show", "--inputs", "--csv"});
    expectExit(s, ran, 0, "show --inputs");
    std::set<unsigned> shown;
    for (const std::string& line : linesOf(ran.out))
        if (const auto comma = line.find(',', line.find(',', line.find(',') + 1) + 1);
            line.starts_with("B") && comma != std::string::npos)
            shown.insert(static_cast<unsigned>(std::stoul("0" + line.substr(comma + 1))));
    s.expectEqual(shown.size(), std::size_t{32}, "codes shown: " + bar(ran.out));

    // capabilities/key: the key bitmap as hexadecimal words, the highest first.
    const std::string inputs = "/sys/class/hidraw/" + board.node() + "/device/input";
    std::set<unsigned> kernel;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(inputs, error)) {
        std::ifstream file(entry.path() / "capabilities" / "key");
        std::vector<std::string> words;
        for (std::string word; file >> word;)
            words.insert(words.begin(), word);
        for (std::size_t w = 0; w < words.size(); ++w) {
            const unsigned long long bits = std::stoull(words[w], nullptr, 16);
            for (unsigned bit = 0; bit < 64; ++bit)
                if ((bits >> bit) & 1u)
                    kernel.insert(static_cast<unsigned>(64 * w + bit));
        }
    }
    s.check(shown == kernel, "the kernel's input device has other key codes than show --inputs "
                             "gives (" +
                                 inputs + ")");
}

void report(Bench&, Scenario& s) {
    BoardProcess& board = *boards.c2;
    board.wire();
    const Ran ran = tessary32({"--serial", board.spec().serial, "report"});
    expectExit(s, ran, 0, "report");
    // A board's rows are indented by two and padded to 24.
    const auto boardRow = [](const std::string& name, const std::string& value) {
        char padded[32];
        std::snprintf(padded, sizeof padded, "%-24s", ("  " + name).c_str());
        return padded + value;
    };
    for (const std::string& words :
         {std::string("board TS32-C-0002\n"), boardRow("report descriptor", "05 01 09 04 A1 01"),
          boardRow("self test", "Passed\n"), boardRow("may open", "yes\n"), boardRow("b31-b32", ""),
          std::string("errors: none\n")})
        s.check(ran.out.find(words) != std::string::npos,
                "the report has no \"" + words + "\": " + bar(ran.out));
    for (const std::string& request : board.wire())
        s.check(!request.starts_with(std::string(kSetFeature) + "EE"),
                "the report wrote a setting: " + request);
}

void reportWithoutBoard(Bench&, Scenario& s) {
    const Ran ran = tessary32({"report", "--json"});
    expectExit(s, ran, 0, "report without a board");
    for (const std::string& words : {std::string("\"boards\": []"), std::string("no board found"),
                                     std::string("\"system\": \"Linux ")})
        s.check(ran.out.find(words) != std::string::npos,
                "the report has no " + words + ": " + bar(ran.out));
}

// Three boards plugged one after another into a running provision: one that takes the file,
// one whose self test fails on B7, one pulled out as the first setting is written to it.
void provision(Bench& bench, Scenario& s) {
    const std::string file = "/tmp/tessary32-batch.json";
    const std::string log = "/tmp/tessary32-batch.log";
    std::remove(log.c_str());
    expectExit(s, tessary32({"--serial", boards.c2->spec().serial, "save", file}), 0, "save");
    boards.u.reset(); // only the boards of the batch are plugged in
    boards.c2.reset();

    ChildProcess batch(cliCommand({"provision", file, "--log", log}));
    if (!s.check(batch.waitFor(2, "Ctrl-C stops", deadline()),
                 "provision did not start: " + batch.err()))
        return;
    const auto plug = [&](const std::string& serial, std::uint8_t selfTest, bool pulled) {
        BoardSpec spec = cliBoard(serial, channelModes(2), 3, 7);
        spec.selfTestResult = selfTest;
        spec.unplugAfterWrite = pulled;
        std::unique_ptr<BoardProcess> board = bench.start(spec);
        s.check(batch.waitFor(1, serial + " 1.3: ", deadline()),
                serial + " was not provisioned: " + bar(batch.out()));
        sleepMs(500); // a few scans more: still once per plug-in
    };
    plug("TS32-P-0001", 0, false);
    plug("TS32-P-0002", 7, false);
    plug("TS32-P-0003", 0, true);
    batch.signal(SIGINT);
    s.expectEqual(batch.finish(deadline()), 1, "exit code with failures");
    s.note("provision said: " + bar(batch.err() + batch.out()));
    const std::vector<std::string> lines = linesOf(batch.out());
    if (s.expectEqual(lines.size(), std::size_t{4}, "lines: " + bar(batch.out()))) {
        s.check(lines[0].find("verified; self test Passed") != std::string::npos &&
                    lines[0].find("FAILED") == std::string::npos,
                "the good board: " + lines[0]);
        s.check(lines[1].ends_with("self test Failed on B7; FAILED: the self test failed on "
                                   "input B7"),
                "the board failing its self test: " + lines[1]);
        s.check(lines[2].find("not verified; no self test; FAILED: ") != std::string::npos,
                "the board pulled out: " + lines[2]);
        s.expectEqual(lines[3], std::string("provisioned 1, failed 2: TS32-P-0002, TS32-P-0003"),
                      "summary");
    }
    std::ifstream logged(log);
    std::vector<std::string> entries;
    for (std::string line; std::getline(logged, line);)
        entries.push_back(line);
    if (s.expectEqual(entries.size(), std::size_t{3}, "log lines")) {
        s.check(entries[0].find("\"serial\":\"TS32-P-0001\"") != std::string::npos &&
                    entries[0].find("\"ok\":true") != std::string::npos,
                "log of the good board: " + entries[0]);
        s.check(entries[1].find("\"self_test\":\"Failed on B7\"") != std::string::npos &&
                    entries[1].find("\"ok\":false") != std::string::npos,
                "log of the failing self test: " + entries[1]);
        s.check(entries[2].find("\"verified\":false") != std::string::npos &&
                    entries[2].find("\"ok\":false") != std::string::npos,
                "log of the board pulled out: " + entries[2]);
    }
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
    passed &= run(bench,
                  "cli check: stuck, chatter and an encoder on an off pair, each once; "
                  "nothing at a person's pace",
                  check);
    passed &=
        run(bench, "cli show --inputs: the key codes of the kernel's input device", showInputs);
    passed &= run(bench, "cli report: a board, read only", report);
    passed &=
        run(bench, "cli provision: good, self test failing, pulled out; log and exit 1", provision);
    passed &= run(bench, "cli report: no board", reportWithoutBoard);
    boards = CliBoards{};
    return passed;
}

} // namespace hil
