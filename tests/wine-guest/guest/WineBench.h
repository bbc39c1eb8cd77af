// What the scenarios under Wine share: the Windows programs, the virtual boards and the Wine
// server they run on, and how a program's run is judged.
#pragma once

#include "BoardProcess.h"
#include "Scenario.h"
#include "WineRunner.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace hil {

// A Windows program's start under TCG takes seconds; a hang takes this long to call one.
inline constexpr std::chrono::seconds kProgramLimit{90};

struct Programs {
    std::string cli;    // tessary32.exe
    std::string probe;  // tessary-wine-probe.exe
    std::string picker; // tessary-wine-pick.exe
    std::string window; // tessary32-config.exe
};

// c is a uhid board, which Wine shows without a version; u and v are USB boards with their
// real version, 1.3; x is a USB HID device of another vendor, which no search may open.
struct Bench {
    std::unique_ptr<WineRunner> wine;
    Programs programs;
    std::unique_ptr<BoardProcess> c, u, v, x;
};

// False, with the reason, when the program hung or exited otherwise than expected.
bool ran(Scenario& s, const WineRun& run, int exitCode = 0);
// Each line in brackets: "[first][second]".
std::string joined(const std::vector<std::string>& lines);
std::string vidPid(const BoardSpec& board);

bool runScenario(Bench& bench, const char* name, void (*body)(Bench&, Scenario&));
// tessary32.exe and the native window against the boards; true when all passed.
bool commandLineScenarios(Bench& bench);
// tessary32.exe list after the unplugs: only the boards still there.
void listingAfterUnplugs(Bench& bench, Scenario& s);
// The native window holding the idle board U, then U unplugged under it; true when all passed.
bool idleBoardScenarios(Bench& bench);

} // namespace hil
