// The words of tessary32 monitor for the monitor's events: a line per change and per turn, as
// text or one JSON object each, and a message when monitoring ends otherwise than asked. The
// demo's bench shows the same words.
#pragma once

#include "InputMonitor.h"

#include <ostream>
#include <string>

namespace cli {

// "B1" for input index 0.
std::string inputName(int index);
// The inputs in the set, each with sign before it ("+B1 +B3"), separated by spaces.
std::string inputNames(hid::InputSet inputs, const std::string& sign = "");
// A JSON array of the inputs' names.
std::string jsonInputNames(hid::InputSet inputs);

std::string monitorLine(const monitor::InputChange& change, bool json);
std::string monitorLine(const monitor::EncoderTurn& turn, bool json);

// Writes each event: the lines of changes and turns on out, messages about board on err.
class MonitorWriter {
public:
    MonitorWriter(std::ostream& out, std::ostream& err, std::string board, bool json)
        : out_(out), err_(err), board_(std::move(board)), json_(json) {}
    void operator()(const monitor::MonitorEvent& event);

private:
    void line(const std::string& text);
    void message(const monitor::MonitorEnded& ended);
    void message(const monitor::ReportsSkipped& skipped);

    std::ostream& out_;
    std::ostream& err_;
    std::string board_;
    bool json_;
};

// 0 when monitoring stopped as asked, else 1.
int monitorExitCode(monitor::MonitorEnd end);

} // namespace cli
