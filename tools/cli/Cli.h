// tessary32, the command line: lists boards, shows and sets their settings, runs the self test,
// saves the settings to a file and restores them.
#pragma once

#include "ApiDeclarations.h"

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// Runs one command line over the platform; args are the arguments after the program's name.
// Returns the exit code (CliContext.h).
int run(hid::ApiDeclarations& platform, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err);

} // namespace cli
