// What the commands that watch a board's inputs (monitor, check) share: the board's handles
// for the monitor, its pairs' modes as the board holds them, and the clock.
#pragma once

#include "BoardChoice.h"
#include "MonitorLoop.h"

#include <cstdint>
#include <functional>
#include <string>

namespace cli {

// The pair modes the board holds, so that its encoders' pulses are gathered into turns.
monitor::MonitorOptions monitorOptionsFor(const config::BoardSettings& settings);
// Opens the chosen board and reads the pair modes it holds: kOk, or the exit code of what
// failed, told to the user.
int openToWatch(ChosenBoard& board, monitor::MonitorOptions& options);
// The open board's handles and report length.
monitor::MonitoredBoard monitoredBoard(const ChosenBoard& board);
// "serial (device)", as messages name the board watched.
std::string watchedName(const ChosenBoard& board);
// The environment's clock, else the system's steady one.
std::function<std::int64_t()> clockOf(const Context& context);

} // namespace cli
