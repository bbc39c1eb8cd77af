// What every subcommand is given: the platform, the two streams and the global options.
#pragma once

#include "ApiDeclarations.h"
#include "Cli.h"

#include <optional>
#include <ostream>
#include <string>

namespace cli {

// The exit codes, as the man page documents them.
enum Exit : int {
    kOk = 0,
    kFailed = 1, // an exchange failed, or a read-back did not match what was written
    kBadInput = 2,
    kNoBoard = 3,
    kPermissionDenied = 4,
};

struct Context {
    hid::ApiDeclarations& platform;
    std::ostream& out;
    std::ostream& err;
    std::string serial; // --serial, empty when not given
    bool json = false;  // --json
    const Environment& environment;
    // What the first fail() told; with --json, standard output tells it too.
    std::optional<std::string> failure;
    bool printedJson = false; // the command's JSON document is out
};

// Writes "tessary32: " and the message on the error stream and keeps the message as the
// command's failure; returns code.
int fail(Context& context, int code, const std::string& message);

} // namespace cli
