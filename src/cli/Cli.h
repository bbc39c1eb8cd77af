// tessary32, the command line: lists boards, shows and sets their settings, runs the self test,
// saves the settings to a file and restores them.
#pragma once

#include "ApiDeclarations.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

// What a long-running subcommand (monitor) needs from the process around the core.
struct Environment {
    // From this call on, Ctrl-C asks the subcommand to stop rather than ending the process.
    std::function<void()> catchInterrupt = [] {};
    std::function<bool()> stopRequested = [] { return false; };
    std::function<std::int64_t()> nowMs; // a steady clock; empty for the system's
    std::istream* in = nullptr;          // standard input, for "restore -"
};

// True when the arguments ask for the demo's simulated boards (--demo), which the program then
// passes to run() as the platform.
bool asksForDemo(const std::vector<std::string>& args);

// Runs one command line over the platform; args are the arguments after the program's name.
// Returns the exit code (CliContext.h).
int run(hid::ApiDeclarations& platform, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err, const Environment& environment = {});

} // namespace cli
