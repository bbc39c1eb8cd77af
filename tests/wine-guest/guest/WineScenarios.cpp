// The Windows build against boards the kernel really sees, under Wine: virtual boards made with
// /dev/uhid and as USB devices on dummy_hcd reach HID.DLL through Wine's HID bus, and the
// Windows executables find them, talk to them and notice when they go. What each board
// received is read back from its emulator. Here the probe drives the device layer from
// inside; CommandLineScenarios.cpp runs tessary32.exe and the native window.
//
//   tessary-wine-test --board PATH-OF-tessary-hil-board --usb-board PATH-OF-tessary-hil-usb-board
//                     --windows WINDOWS_BUILD
//
// Prints one line per scenario, "PASS name" or "FAIL name: reasons", and NOTE lines with what
// Wine reported, and exits non-zero when any scenario failed.
#include "Protocol.h"
#include "WineBench.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hil {
namespace {

using namespace std::chrono_literals;

Memory patternMemory(unsigned seed) {
    Memory memory{};
    for (std::size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<std::uint8_t>(i * 37 + seed);
    return memory;
}

// Encoder codes of every kind, a pulse width and "Auto" as the starting position.
Memory boardMemory(unsigned seed) {
    constexpr std::array<std::uint8_t, 16> codes{0x00, 0x02, 0x04, 0x08, 0x0E, 0x06, 0x01, 0xF0,
                                                 0x02, 0x04, 0x08, 0x00, 0x0A, 0x0C, 0x03, 0x80};
    Memory memory = patternMemory(seed);
    for (int channel = 1; channel <= 16; ++channel)
        memory[config::encoderAddress(channel)] = codes[static_cast<std::size_t>(channel - 1)];
    memory[config::kPulseWidthAddress] = 6;
    memory[config::kRotStartAddress] = 0xFF;
    return memory;
}

BoardSpec spec(std::string serial, std::uint16_t product, unsigned seed) {
    BoardSpec board;
    board.serial = std::move(serial);
    board.name = "Tessary-32 Kelmora";
    board.product = product;
    board.version = 0x0103;
    board.memory = boardMemory(seed);
    return board;
}

// A USB board of version 1.3, whose memory holds a valid value for every setting.
BoardSpec usbSpec(std::string serial, std::uint16_t product, int seed) {
    BoardSpec board = spec(std::move(serial), product, static_cast<unsigned>(seed));
    board.usb = true;
    board.manufacturer = "Tessary Labs";
    for (int channel = 1; channel <= 16; ++channel)
        board.memory[config::encoderAddress(channel)] =
            config::encoderModeValue((channel + seed) % 4);
    board.memory[config::kPulseWidthAddress] = config::pulseWidthValue(seed % 25);
    board.memory[config::kRotStartAddress] = config::rotStartValue(seed % 33);
    return board;
}

std::vector<std::string> linesStartingWith(const WineRun& run, const std::string& head) {
    std::vector<std::string> found;
    for (const std::string& line : run.outLines())
        if (line.starts_with(head))
            found.push_back(line);
    return found;
}

// The lines of one probe command: from its first line up to its "done" line.
std::vector<std::string> section(const WineRun& run, int index) {
    std::vector<std::string> lines;
    int at = 0;
    for (const std::string& line : run.outLines()) {
        if (at == index)
            lines.push_back(line);
        if (line.starts_with("done "))
            ++at;
    }
    return lines;
}

std::optional<std::string> valueOf(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines)
        if (line.starts_with(key + " "))
            return line.substr(key.size() + 1);
    return std::nullopt;
}

// Wine's HID bus shows every board and its own virtual mouse and keyboard (vendor 845E): the
// walk over SetupAPI meets them all, so the lister's filter has something to filter.
void interfaces(Bench& bench, Scenario& s) {
    const WineRun run = bench.wine->run(bench.programs.probe, {"interfaces"}, kProgramLimit);
    if (!ran(s, run))
        return;
    int wineOwn = 0;
    for (const std::string& line : linesStartingWith(run, "interface ")) {
        if (line.find(" 845e:") != std::string::npos)
            ++wineOwn;
        s.note(line);
    }
    s.check(wineOwn > 0, "no interface of vendor 845E in Wine's list");
    for (const BoardProcess* board : {bench.c.get(), bench.u.get(), bench.v.get()}) {
        // The device path holds the serial number, in lower case.
        std::string serial = board->spec().serial;
        std::transform(serial.begin(), serial.end(), serial.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::vector<std::string> found = linesStartingWith(run, "interface ");
        const auto match = std::find_if(found.begin(), found.end(), [&](const std::string& line) {
            return line.find(" " + vidPid(board->spec()) + " ") != std::string::npos &&
                   line.find(serial) != std::string::npos;
        });
        if (!s.check(match != found.end(), board->spec().serial + " is not among the interfaces"))
            continue;
        s.check(match->find(" attributes 1 ") != std::string::npos,
                board->spec().serial + ": HidD_GetAttributes failed");
        // A USB board's version comes from its device descriptor; uhid boards have none.
        if (board->spec().usb)
            s.check(match->find(" version 0103 ") != std::string::npos,
                    board->spec().serial + " does not show its version 1.3");
    }
    s.expectEqual(valueOf(run.outLines(), "destroy").value_or("none"), std::string("1"),
                  "SetupDiDestroyDeviceInfoList");
}

// The decoded settings the probe printed, against the board's memory.
void checkSettings(Scenario& s, const std::vector<std::string>& lines, const Memory& memory,
                   const std::string& board) {
    std::string encoders;
    for (int channel = 1; channel <= 16; ++channel)
        encoders +=
            " " + std::to_string(config::encoderModeIndex(memory[config::encoderAddress(channel)]));
    s.expectEqual(valueOf(lines, "encoders").value_or("none"), encoders.substr(1),
                  board + " encoder modes read back");
    s.expectEqual(valueOf(lines, "pulse-width").value_or("none"),
                  std::to_string(config::pulseWidthIndex(memory[config::kPulseWidthAddress])),
                  board + " pulse width read back");
    s.expectEqual(valueOf(lines, "rot-start").value_or("none"),
                  std::to_string(config::rotStartIndex(memory[config::kRotStartAddress])),
                  board + " starting position read back");
}

// Details, capabilities and presence; one write checked byte-exact on the board; the read-back
// of all eight blocks; the self test passing on one board and failing on another. Board U
// streams input reports, board C (uhid) is idle.
void exchanges(Bench& bench, Scenario& s) {
    bench.u->setInput(true);
    bench.c->setSelfTestResult(7);
    const Memory beforeU = bench.u->memory();
    const Memory beforeC = bench.c->memory();
    const WineRun run = bench.wine->run(
        bench.programs.probe,
        {"exchange", bench.u->spec().serial, "0x24", "0x04", "exchange", bench.c->spec().serial,
         "0x40", "0x0C", "selftest", bench.u->spec().serial, "selftest", bench.c->spec().serial},
        kProgramLimit);
    bench.u->setInput(false);
    bench.c->setSelfTestResult(0);
    if (!ran(s, run))
        return;

    Memory expectedU = beforeU;
    expectedU[0x24] = 0x04;
    Memory expectedC = beforeC;
    expectedC[0x40] = 0x0C;
    s.check(bench.u->memory() == expectedU, "board U's memory is not as the one write left it");
    s.check(bench.c->memory() == expectedC, "board C's memory is not as the one write left it");

    const std::vector<std::string> onU = section(run, 0);
    const std::vector<std::string> onC = section(run, 1);
    for (const auto* lines : {&onU, &onC}) {
        s.expectEqual(valueOf(*lines, "lengths").value_or("none"),
                      std::string("input 5 output 0 feature 65"), "report lengths");
        s.expectEqual(valueOf(*lines, "usage").value_or("none"), std::string("0001:0004"),
                      "usage page and usage");
        s.expectEqual(valueOf(*lines, "write").value_or("none"), std::string("1"),
                      "HidD_SetFeature's result");
        s.expectEqual(valueOf(*lines, "read-back").value_or("none"), std::string("no error"),
                      "read-back");
    }
    checkSettings(s, onU, expectedU, "U");
    checkSettings(s, onC, expectedC, "C");
    const std::string later = valueOf(onU, "presence-later").value_or("none");
    s.check(later.starts_with("1 "), "presence read on the streaming board U: " + later);
    for (const char* read : {"presence-first", "presence-later"}) {
        s.note(std::string("U ") + read + ": " + valueOf(onU, read).value_or("none"));
        s.note(std::string("C (idle) ") + read + ": " + valueOf(onC, read).value_or("none"));
    }
    for (const char* key : {"manufacturer", "product", "version"})
        s.note(std::string(key) + ": " + valueOf(onU, key).value_or("none"));
    s.expectEqual(valueOf(section(run, 2), "selftest").value_or("none"), std::string("Passed"),
                  "self test on U");
    s.expectEqual(valueOf(section(run, 3), "selftest").value_or("none"),
                  std::string("Failed on B7"), "self test on C");
}

std::optional<long long> millisecondsIn(const std::string& line, const std::string& after) {
    const std::size_t at = line.find(after);
    if (at == std::string::npos)
        return std::nullopt;
    return std::atoll(line.c_str() + at + after.size());
}

// The idle board C is unplugged while the probe holds it open with its presence read pending:
// the read completes with an error within 3 s, the calls after it fail at once, and closing
// does not hang.
void unplugWhileOpen(Bench& bench, Scenario& s) {
    bool unplugged = false;
    const WineRun run = bench.wine->run(bench.programs.probe, {"hold", bench.c->spec().serial},
                                        kProgramLimit, [&](const std::string& out) {
                                            const bool open =
                                                out.find("\nopen\r\n") != std::string::npos ||
                                                out.find("\nopen\n") != std::string::npos;
                                            if (!unplugged && open) {
                                                bench.c->unplug();
                                                unplugged = true;
                                            }
                                        });
    if (!ran(s, run) || !s.check(unplugged, "the probe never held the board open"))
        return;
    s.expectEqual(valueOf(run.outLines(), "pending").value_or("none"), std::string("1"),
                  "a presence read pending on the idle board before the unplug");
    const std::vector<std::string> lost = linesStartingWith(run, "lost after ");
    if (s.check(lost.size() == 1, "the probe did not see the loss")) {
        s.note(lost.front());
        s.check(lost.front().find("ts32-c-0003") != std::string::npos,
                "the loss does not name the board's device");
        const std::optional<long long> after = millisecondsIn(lost.front(), "lost after ");
        s.check(after && *after <= 3000, "the loss was seen later than 3 s after the unplug");
    }
    const std::optional<std::string> write = valueOf(run.outLines(), "write-after-loss");
    s.check(write && write->starts_with("0:"), "a write to the lost board succeeded");
    if (write)
        s.note("write after the loss: " + *write);
    const std::vector<std::string> closed = linesStartingWith(run, "closed in ");
    if (s.check(closed.size() == 1, "closing the lost board did not return"))
        s.note(closed.front());
}

// Twenty search ticks with no board open: SetupAPI is walked once, and of the interfaces only
// the family's are opened, never Wine's own HID devices or the other vendor's USB device X.
void searchOpensNoOtherDevice(Bench& bench, Scenario& s) {
    const WineRun run =
        bench.wine->run(bench.programs.probe, {"search", "TS32-NONE", "20"}, kProgramLimit);
    if (!ran(s, run))
        return;
    s.expectEqual(valueOf(run.outLines(), "hears-of-interfaces").value_or("none"), std::string("1"),
                  "device-interface notifications registered");
    s.expectEqual(valueOf(run.outLines(), "walks").value_or("none"), std::string("1"),
                  "SetupAPI walks in 20 search ticks");
    int boardOpens = 0;
    for (const std::string& line : linesStartingWith(run, "opened ")) {
        s.note(line);
        std::string lower = line;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (s.check(lower.find("vid_1209&pid_000") != std::string::npos,
                    "a device outside the family was opened: " + line))
            ++boardOpens;
    }
    s.check(boardOpens > 0, "the board U present was never opened: nothing was counted");
}

} // namespace

std::string vidPid(const BoardSpec& board) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", board.vendor, board.product);
    return text;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "[" + line + "]";
    return text;
}

bool ran(Scenario& s, const WineRun& run, int exitCode) {
    if (run.timedOut) {
        s.fail("no exit within " + std::to_string(kProgramLimit.count()) + " s, after " +
               joined(run.outLines()));
        return false;
    }
    s.note("ran in " + std::to_string(run.took.count()) + " ms");
    return s.expectEqual(run.exitCode, exitCode, "exit code");
}

bool runScenario(Bench& bench, const char* name, void (*body)(Bench&, Scenario&)) {
    Scenario scenario(name);
    try {
        body(bench, scenario);
    } catch (const std::exception& error) {
        scenario.fail(error.what());
    }
    scenario.report();
    return scenario.passed();
}

namespace {

std::string argument(int argc, char** argv, const std::string& flag) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] == flag)
            return argv[i + 1];
    throw std::invalid_argument("missing " + flag);
}

} // namespace
} // namespace hil

int main(int argc, char** argv) {
    using namespace hil;
    Bench bench;
    try {
        const std::string emulator = argument(argc, argv, "--board");
        const std::string usbEmulator = argument(argc, argv, "--usb-board");
        const std::string windows = argument(argc, argv, "--windows");
        bench.programs = {windows + "/src/cli/tessary32.exe",
                          windows + "/tests/wine-guest/tessary-wine-probe.exe",
                          windows + "/tests/wine-guest/tessary-wine-pick.exe",
                          windows + "/src/app/win32/tessary32-config.exe"};
        // Every board is there before Wine starts: in this guest Wine never takes in a board
        // plugged in later (none was listed 180 s after its plug, with or without udevd). They
        // stream input reports only when a scenario needs them, since Wine reads every report
        // of every board all along.
        bench.c = std::make_unique<BoardProcess>(emulator, spec("TS32-C-0003", 0x0004, 140));
        bench.u = std::make_unique<BoardProcess>(usbEmulator, usbSpec("TS32-U-0004", 0x0003, 5));
        bench.v = std::make_unique<BoardProcess>(usbEmulator, usbSpec("TS32-V-0005", 0x0001, 9));
        BoardSpec other = usbSpec("X-OTHER-0001", 0x05DF, 3);
        other.vendor = 0x16C0;
        bench.x = std::make_unique<BoardProcess>(usbEmulator, other);
        for (BoardProcess* quiet : {bench.c.get(), bench.u.get(), bench.v.get(), bench.x.get()})
            quiet->setInput(false);
        bench.wine = std::make_unique<WineRunner>();
        std::printf("NOTE wine: the prefix came up in %lld ms\n",
                    static_cast<long long>(bench.wine->startTime().count()));
    } catch (const std::exception& error) {
        std::printf("FAIL set-up: %s\n", error.what());
        return 1;
    }

    bool passed = true;
    passed &= runScenario(bench, "interfaces: Wine shows the boards and its own mouse and keyboard",
                          interfaces);
    passed &= runScenario(bench, "probe: details, a write byte-exact, the read-back, self tests",
                          exchanges);
    passed &= commandLineScenarios(bench);
    passed &= runScenario(
        bench, "probe: an idle board unplugged while a read is pending is seen lost, no hang",
        unplugWhileOpen);
    passed &= runScenario(bench, "list: Wine heard of the removals", listingAfterUnplugs);
    passed &= runScenario(bench, "probe: 20 search ticks, one walk; search opens no other device",
                          searchOpensNoOtherDevice);
    passed &= idleBoardScenarios(bench);
    return passed ? 0 : 1;
}
