// tessary32.exe and the native window tessary32-config.exe under Wine against the virtual
// boards: what each command printed and its exit code, and what the USB boards received on the
// wire, request by request, or the uhid boards hold in memory.
#include "ChildProcess.h"
#include "Protocol.h"
#include "SettingText.h"
#include "SettingsFile.h"
#include "WineBench.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace hil {
namespace {

// A feature report written, as the emulator logs it: bmRequestType bRequest wValue wIndex
// wLength, then the 64 bytes.
constexpr std::string_view kSetFeature = "21 09 0300 0000 0040";
// The save file, as Wine's programs and as this program name it.
constexpr const char* kSavedWindows = "Z:\\tmp\\tessary-wine-saved.json";
constexpr const char* kSavedLinux = "/tmp/tessary-wine-saved.json";

std::string hexBytes(const config::Report& bytes, std::size_t from) {
    std::string text;
    char digits[4];
    for (std::size_t i = from; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

// The settings written on the wire, in order: the SET_REPORTs of the write command.
std::vector<std::string> writesOn(const std::vector<std::string>& wire) {
    std::vector<std::string> writes;
    const std::string head = std::string(kSetFeature) + " EE";
    std::copy_if(wire.begin(), wire.end(), std::back_inserter(writes),
                 [&](const std::string& line) { return line.starts_with(head); });
    return writes;
}

std::size_t featureWrites(const std::vector<std::string>& wire) {
    return static_cast<std::size_t>(std::count_if(
        wire.begin(), wire.end(), [](const auto& line) { return line.starts_with(kSetFeature); }));
}

// "key=value" as the board must receive it: the write command of the 64-byte report.
std::string wireWrite(const std::string& assignmentText) {
    std::string error;
    const std::optional<cli::Assignment> assignment = cli::parseAssignment(assignmentText, error);
    if (!assignment)
        throw std::runtime_error(assignmentText + ": " + error);
    const config::Report report = config::writeSettingReport(
        65, assignment->setting.address(), *assignment->setting.valueOf(assignment->index));
    return std::string(kSetFeature) + " " + hexBytes(report, 1);
}

// The memory after these writes.
Memory written(Memory memory, const std::vector<std::string>& assignmentTexts) {
    for (const std::string& text : assignmentTexts) {
        std::string error;
        const std::optional<cli::Assignment> assignment = cli::parseAssignment(text, error);
        memory[assignment->setting.address()] = *assignment->setting.valueOf(assignment->index);
    }
    return memory;
}

// The value text of each setting as the board's memory holds it.
std::string settingText(const config::Setting& setting, const Memory& memory) {
    const std::uint8_t code = memory[setting.address()];
    switch (setting.kind) {
    case config::Setting::Kind::EncoderMode:
        return cli::valueText(setting, config::encoderModeIndex(code));
    case config::Setting::Kind::PulseWidth:
        return cli::valueText(setting, config::pulseWidthIndex(code));
    case config::Setting::Kind::RotStart:
        return cli::valueText(setting, config::rotStartIndex(code));
    }
    return {};
}

std::vector<std::string> linesOfFile(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// The file's settings that the board's memory does not hold.
std::vector<std::string> settingsMissed(const std::vector<cli::Assignment>& wanted,
                                        const Memory& memory) {
    std::vector<std::string> missed;
    for (const cli::Assignment& assignment : wanted)
        if (memory[assignment.setting.address()] != *assignment.setting.valueOf(assignment.index))
            missed.push_back(cli::keyOf(assignment.setting));
    return missed;
}

WineRun cli(Bench& bench, const std::vector<std::string>& arguments) {
    return bench.wine->run(bench.programs.cli, arguments, kProgramLimit);
}

WineRun cliOn(Bench& bench, const BoardProcess& board, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--serial", board.spec().serial});
    return cli(bench, arguments);
}

// Serial, vendor:product and version of each listed board: a uhid board has no USB device to
// carry a version, and Wine shows it as 0.0.
void checkListed(Scenario& s, const WineRun& run,
                 const std::vector<const BoardProcess*>& expected) {
    std::multiset<std::string> wanted, listed;
    for (const BoardProcess* board : expected)
        wanted.insert(board->spec().serial + "\t" + vidPid(board->spec()) +
                      (board->spec().usb ? "\t1.3" : "\t0.0"));
    for (const std::string& line : run.outLines())
        listed.insert(line.substr(0, line.rfind('\t')));
    (listed == wanted ? s.note("listed " + joined(run.outLines()))
                      : s.fail("listed " + joined(run.outLines())));
}

void listing(Bench& bench, Scenario& s) {
    const WineRun run = cli(bench, {"list"});
    if (ran(s, run))
        checkListed(s, run, {bench.c.get(), bench.u.get(), bench.v.get()});
}

void showJson(Bench& bench, Scenario& s) {
    const Memory memory = bench.u->memory();
    const WineRun run = cliOn(bench, *bench.u, {"--json", "show"});
    if (!ran(s, run))
        return;
    const nlohmann::json shown = nlohmann::json::parse(run.out);
    s.expectEqual(shown.value("serial", ""), std::string("TS32-U-0004"), "serial");
    // Wine's HID bus names every hidraw device's maker "hidraw" and gives the kernel's name
    // of the device, manufacturer and product, as its product.
    s.expectEqual(shown.value("manufacturer", ""), std::string("hidraw"), "manufacturer");
    s.expectEqual(shown.value("product", ""), std::string("Tessary Labs Tessary-32 Kelmora"),
                  "product");
    s.expectEqual(shown.value("version", ""), std::string("1.3"), "version");
    nlohmann::json expected = nlohmann::json::object();
    for (const config::Setting& setting : cli::allSettings())
        expected[cli::keyOf(setting)] = settingText(setting, memory);
    s.expectEqual(shown.value("settings", nlohmann::json()).dump(), expected.dump(), "settings");
    s.check(bench.u->memory() == memory, "show changed the board's memory");
}

// One setting of each kind, the starting position on a board of version 1.3; each crosses
// the wire as the one write command it stands for, in the order given, then the read-back.
void setEveryKind(Bench& bench, Scenario& s) {
    const std::vector<std::string> assignments{"b3-b4=1:2", "pulse-width=96", "rotary-start=7"};
    const Memory before = bench.u->memory();
    bench.u->wire();
    std::vector<std::string> arguments{"set"};
    arguments.insert(arguments.end(), assignments.begin(), assignments.end());
    const WineRun run = cliOn(bench, *bench.u, arguments);
    if (!ran(s, run))
        return;
    const std::vector<std::string> wire = bench.u->wire();
    std::vector<std::string> expected;
    for (const std::string& text : assignments)
        expected.push_back(wireWrite(text));
    s.expectEqual(joined(writesOn(wire)), joined(expected), "writes on the wire");
    const config::Report readBack = config::readBackRequest(65);
    s.expectEqual(featureWrites(wire), expected.size() + 1, "feature reports written");
    s.check(!wire.empty() &&
                std::find(wire.begin(), wire.end(),
                          std::string(kSetFeature) + " " + hexBytes(readBack, 1)) != wire.end(),
            "no read-back request after the writes");
    s.check(bench.u->memory() == written(before, assignments),
            "the board's memory is not as the writes left it");
    s.expectEqual(joined(run.outLines()),
                  std::string("[b3-b4         1:2][pulse-width   96 ms][rotary-start  7]"),
                  "printed");
}

// save, a change, then restore: the board is back as saved, and restore wrote only the
// settings that differed.
void saveRestore(Bench& bench, Scenario& s) {
    const Memory saved = bench.u->memory();
    if (!ran(s, cliOn(bench, *bench.u, {"save", kSavedWindows})))
        return;
    std::ifstream file(kSavedLinux);
    const nlohmann::json document = nlohmann::json::parse(file, nullptr, false);
    s.check(document.dump().find("\"TS32-U-0004\"") != std::string::npos,
            "the file does not name the board: " + document.dump());
    const std::vector<std::string> changes{"b3-b4=off", "pulse-width=8"};
    std::vector<std::string> arguments{"set"};
    arguments.insert(arguments.end(), changes.begin(), changes.end());
    if (!ran(s, cliOn(bench, *bench.u, arguments)))
        return;
    s.check(bench.u->memory() != saved, "the change did not reach the board");
    bench.u->wire();
    if (!ran(s, cliOn(bench, *bench.u, {"restore", kSavedWindows})))
        return;
    s.check(bench.u->memory() == saved, "the board's memory is not as saved");
    const std::vector<std::string> expected{
        wireWrite("b3-b4=" + settingText(config::Setting::encoder(2), saved)),
        wireWrite("pulse-width=" + settingText(config::Setting::pulseWidth(), saved))};
    s.expectEqual(joined(writesOn(bench.u->wire())), joined(expected), "restore's writes");
}

void selfTests(Bench& bench, Scenario& s) {
    const Memory memory = bench.u->memory();
    WineRun run = cliOn(bench, *bench.u, {"selftest"});
    if (ran(s, run))
        s.expectEqual(joined(run.outLines()), std::string("[Passed]"), "printed when passing");
    bench.u->setSelfTestResult(12);
    run = cliOn(bench, *bench.u, {"selftest"});
    bench.u->setSelfTestResult(0);
    if (ran(s, run, 1)) {
        s.expectEqual(joined(run.outLines()), std::string("[Failed on B12]"),
                      "printed when failing");
        s.check(run.err.find("input B12") != std::string::npos, "stderr: " + run.err);
    }
    s.check(bench.u->memory() == memory, "a self test changed the board's memory");
}

// The board builders' commands on a USB board: each input's button as Windows numbers it, a
// report that writes no setting, and a short check of an idle board that finds every input
// silent.
void buildersCommands(Bench& bench, Scenario& s) {
    bench.u->wire();
    WineRun run = cliOn(bench, *bench.u, {"--json", "show", "--inputs"});
    if (ran(s, run)) {
        const nlohmann::json shown = nlohmann::json::parse(run.out, nullptr, false);
        const nlohmann::json inputs = shown.value("inputs", nlohmann::json::array());
        s.expectEqual(inputs.size(), std::size_t{32}, "inputs shown: " + run.out);
        for (std::size_t i = 0; i < inputs.size(); ++i)
            s.check(inputs[i].value("button", 0) == int(i) + 1 &&
                        inputs[i].value("windows", 0) == int(i) + 1,
                    "input " + inputs[i].dump());
    }
    run = cliOn(bench, *bench.u, {"--json", "report"});
    if (ran(s, run)) {
        const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
        const nlohmann::json boards = report.value("boards", nlohmann::json::array());
        s.check(report.value("system", "").starts_with("Windows"), "system: " + run.out);
        s.check(boards.size() == 1 && boards[0].value("serial", "") == "TS32-U-0004" &&
                    boards[0].value("self_test", "") == "Passed",
                "boards: " + boards.dump());
    }
    s.expectEqual(writesOn(bench.u->wire()).size(), std::size_t{0},
                  "settings written by show --inputs and report");
    bench.u->setInput(false);
    run = cliOn(bench, *bench.u, {"--json", "check", "--seconds", "2"});
    if (ran(s, run, 1)) {
        const std::vector<std::string> lines = run.outLines();
        const nlohmann::json finding =
            lines.empty() ? nlohmann::json() : nlohmann::json::parse(lines.front(), nullptr, false);
        s.check(lines.size() == 1 && finding.value("finding", "") == "silent" &&
                    finding.value("inputs", nlohmann::json::array()).size() == 32,
                "findings: " + joined(lines));
    }
}

// With three boards plugged in, a write must name its board: exit 2 and nothing written.
void writeRefusedWithoutSerial(Bench& bench, Scenario& s) {
    const Memory c = bench.c->memory();
    bench.u->wire();
    bench.v->wire();
    const WineRun run = cli(bench, {"set", "b1-b2=1:1"});
    if (ran(s, run, 2))
        s.check(run.err.find("--serial") != std::string::npos, "stderr: " + run.err);
    s.expectEqual(featureWrites(bench.u->wire()) + featureWrites(bench.v->wire()), std::size_t(0),
                  "feature reports written to the USB boards");
    s.check(bench.c->memory() == c, "board C's memory changed");
}

// A user's picks in the native window: the board by its serial, then a mode of channel 3,
// which reaches the board as exactly one write.
void windowPick(Bench& bench, Scenario& s) {
    const Memory before = bench.u->memory();
    const config::Setting channel3 = config::Setting::encoder(3);
    const int current = config::encoderModeIndex(before[channel3.address()]);
    const int picked = (current + 1) % 4;
    const std::string pick = "b5-b6=" + cli::valueText(channel3, picked);
    bench.u->wire();
    // The window's timer checks that the board is there by reading an input report: the board
    // streams them, as a real one does.
    bench.u->setInput(true);
    const WineRun run =
        bench.wine->run(bench.programs.picker,
                        {bench.programs.window, "SerNo==TS32-U-0004",
                         "Enc3=" + std::to_string(picked), "show", "SerNo", "lblVersion"},
                        kProgramLimit);
    bench.u->setInput(false);
    if (!ran(s, run))
        return s.note("picker: " + joined(run.outLines()));
    s.note("picker: " + joined(run.outLines()));
    const std::vector<std::string> lines = run.outLines();
    s.check(std::any_of(lines.begin(), lines.end(),
                        [](const std::string& line) {
                            return line.starts_with("shows SerNo TS32-U-0004 @");
                        }),
            "the window does not show the board picked");
    s.expectEqual(joined(writesOn(bench.u->wire())), joined({wireWrite(pick)}),
                  "writes on the wire");
    s.check(bench.u->memory() == written(before, {pick}), "the board's memory is not as picked");
}

// Board V pulls itself out right after the first write of a set: the second write fails, and
// tessary32 says so, naming the board's device, and exits 1 without hanging.
void unplugDuringSet(Bench& bench, Scenario& s) {
    bench.v->unplugAfterWrite();
    const WineRun run = cliOn(bench, *bench.v, {"set", "b1-b2=1:4", "pulse-width=200"});
    s.check(bench.v->goneByItself(), "board V did not unplug itself");
    if (!ran(s, run, 1))
        return s.note("stderr: " + run.err);
    s.note("stderr: " + run.err);
    s.check(run.err.starts_with("tessary32: pulse-width was not written: ") &&
                run.err.find("ts32-v-0005") != std::string::npos,
            "the error does not name the setting and the board's device: " + run.err);
}

// Feature reports sent or asked for (SET_REPORT and GET_REPORT of type feature): a reload of
// the window makes nine.
std::size_t featureTransfers(const std::vector<std::string>& wire) {
    return static_cast<std::size_t>(std::count_if(wire.begin(), wire.end(), [](const auto& line) {
        return line.starts_with(kSetFeature) || line.starts_with("a1 01 03") ||
               line.starts_with("A1 01 03");
    }));
}

// One run of the window on the idle board U, the last board left, which the window opens at
// its start: once loaded, a list opened, then at least ten ticks; then U is unplugged while
// the window's presence read is pending on it. With one board, SerNo takes no pick.
struct IdleRun {
    WineRun run;
    std::vector<std::string> wireWhileHeld;
    bool unplugged = false;
};

IdleRun holdIdleBoardThenUnplug(Bench& bench) {
    IdleRun idle;
    bool loaded = false;
    bench.u->setInput(false);
    const std::vector<std::string> steps{
        bench.programs.window, "await-enabled=Enc1", "wait=1000", "drop=Enc1", "wait=6000",
        "dropped=Enc1",        "await-empty=Enc1",   "show",      "SerNo"};
    // The watch is given all the output so far. The load is over a second after the lists
    // were filled.
    idle.run =
        bench.wine->run(bench.programs.picker, steps, kProgramLimit, [&](const std::string& out) {
            if (!loaded && out.find("waited 1000") != std::string::npos) {
                bench.u->wire();
                loaded = true;
            }
            if (!idle.unplugged && out.find("awaiting Enc1") != std::string::npos) {
                idle.wireWhileHeld = bench.u->wire();
                bench.u->unplug();
                idle.unplugged = true;
            }
        });
    return idle;
}

std::optional<std::string> lineStartingWith(const WineRun& run, const std::string& head) {
    for (const std::string& line : run.outLines())
        if (line.starts_with(head))
            return line;
    return std::nullopt;
}

void idleBoardHeld(const IdleRun& idle, Scenario& s) {
    s.note("picker: " + joined(idle.run.outLines()));
    if (!ran(s, idle.run))
        return;
    s.check(lineStartingWith(idle.run, "enabled Enc1").has_value(), "the board was not loaded");
    s.check(lineStartingWith(idle.run, "waited 6000").has_value(), "the window was not held");
    s.expectEqual(featureTransfers(idle.wireWhileHeld), std::size_t(0),
                  "feature transfers in the 6 s after the load (a reload makes nine)");
    // Wine's null graphics driver may not show a list dropped from another process.
    const std::string dropped = lineStartingWith(idle.run, "dropped Enc1").value_or("none");
    if (dropped.starts_with("dropped Enc1 1"))
        s.check(lineStartingWith(idle.run, "still-dropped Enc1 1").has_value(),
                "the open list was closed under the user");
    else
        s.note("the list could not be dropped here (" + dropped +
               "): no feature transfer shows that no list was emptied or refilled");
}

void idleBoardUnplugged(const IdleRun& idle, Scenario& s) {
    if (!s.check(idle.unplugged, "the window never got to the unplug"))
        return;
    const std::optional<std::string> emptied = lineStartingWith(idle.run, "emptied Enc1 after ");
    if (!s.check(emptied.has_value(), "the window did not show the no-board state"))
        return;
    s.note(*emptied);
    const long long after = std::atoll(emptied->c_str() + std::strlen("emptied Enc1 after "));
    s.check(after <= 3000, "the no-board state came later than 3 s after the unplug");
    s.check(lineStartingWith(idle.run, "exit 0").has_value(), "the window did not close cleanly");
}

} // namespace

bool idleBoardScenarios(Bench& bench) {
    static IdleRun idle;
    idle = holdIdleBoardThenUnplug(bench);
    bool passed = runScenario(bench, "window: an idle board is held, no reload, the list open",
                              [](Bench&, Scenario& s) { idleBoardHeld(idle, s); });
    passed &=
        runScenario(bench, "window: the idle board unplugged while a read is pending, gone in 3 s",
                    [](Bench&, Scenario& s) { idleBoardUnplugged(idle, s); });
    return passed;
}

void listingAfterUnplugs(Bench& bench, Scenario& s) {
    const WineRun run = cli(bench, {"list"});
    if (ran(s, run))
        checkListed(s, run, {bench.u.get()});
}

namespace {

// The file saved of U given to provision with three boards plugged in: each is provisioned once.
// U already holds the file; V takes it and fails its self test on B7; C, which Wine shows
// without a version, is refused the starting position before anything is written. The other
// vendor's device X is never written to, and Ctrl-C ends the batch with its summary and exit 1.
void provisionBoardsThere(Bench& bench, Scenario& s) {
    const std::string log = "/tmp/tessary-wine-batch.log";
    std::remove(log.c_str());
    std::ifstream saved(kSavedLinux);
    const std::string text{std::istreambuf_iterator<char>(saved), {}};
    std::string error;
    const std::optional<std::vector<cli::Assignment>> wanted = cli::parseSettingsFile(text, error);
    if (!s.check(wanted.has_value(), "the file saved of board U: " + error))
        return;
    const Memory c = bench.c->memory();
    bench.x->wire();
    bench.v->setSelfTestResult(7);
    const std::unique_ptr<ChildProcess> batch =
        bench.wine->start(bench.programs.cli,
                          {"provision", kSavedWindows, "--log", "Z:\\tmp\\tessary-wine-batch.log"});
    const auto giveUp = ChildProcess::Clock::now() + kProgramLimit;
    const bool all = batch->waitFor(1, "TS32-C-0003 0.0: ", giveUp) &&
                     batch->waitFor(1, "TS32-U-0004 1.3: ", giveUp) &&
                     batch->waitFor(1, "TS32-V-0005 1.3: ", giveUp);
    s.check(all, "not every board was provisioned: " + joined({batch->out()}));
    std::this_thread::sleep_for(std::chrono::seconds(2)); // scans enough to provision twice
    batch->signal(SIGINT);
    s.expectEqual(batch->finish(giveUp + kProgramLimit, ChildProcess::End::Exited), 1,
                  "exit code with failures");
    bench.v->setSelfTestResult(0);
    s.note("provision said: " + joined({batch->err(), batch->out()}));
    WineRun run;
    run.out = batch->out();
    std::vector<std::string> lines = run.outLines();
    if (!s.expectEqual(lines.size(), std::size_t{4}, "lines printed: " + joined(lines)))
        return;
    const std::string summary = lines.back();
    lines.pop_back();
    std::sort(lines.begin(), lines.end());
    s.check(lines[0].ends_with(": nothing to write; not verified; no self test; FAILED: the file "
                               "sets rotary-start, which boards have from version 1.2"),
            "board C: " + lines[0]);
    s.check(lines[1].ends_with(": nothing to write; verified; self test Passed"),
            "board U: " + lines[1]);
    s.check(lines[2].find(": wrote ") != std::string::npos &&
                lines[2].ends_with("; verified; self test Failed on B7; FAILED: the self test "
                                   "failed on input B7"),
            "board V: " + lines[2]);
    s.check(summary.starts_with("provisioned 1, failed 2: "), "summary: " + summary);
    s.expectEqual(joined(settingsMissed(*wanted, bench.v->memory())), std::string(),
                  "V's settings that are not as the file has them");
    s.check(bench.c->memory() == c, "board C was written to");
    s.expectEqual(linesOfFile(log).size(), std::size_t{3}, "log lines");
    s.expectEqual(featureWrites(bench.x->wire()), std::size_t{0},
                  "feature reports written to the other vendor's device X");
}

} // namespace

bool commandLineScenarios(Bench& bench) {
    bool passed = true;
    passed &=
        runScenario(bench, "list: exactly the three boards, USB ones with their version", listing);
    passed &= runScenario(bench, "show --json: details and settings of a USB board", showJson);
    passed &=
        runScenario(bench, "set: every kind of setting, byte-exact on the wire", setEveryKind);
    passed &= runScenario(bench, "save, change, restore: back as saved", saveRestore);
    passed &= runScenario(bench, "selftest: passing, and failing on B12", selfTests);
    passed &=
        runScenario(bench, "show --inputs, report and check on an idle board", buildersCommands);
    passed &= runScenario(bench, "provision: the boards there, each once, failures reported",
                          provisionBoardsThere);
    passed &=
        runScenario(bench, "set without --serial among three boards: refused, nothing written",
                    writeRefusedWithoutSerial);
    passed &= runScenario(bench, "window: a pick reaches the board byte-exact", windowPick);
    passed &= runScenario(bench, "set: the board unplugged mid-way, a clear error, no hang",
                          unplugDuringSet);
    return passed;
}

} // namespace hil
