// Finding and opening the board a command works on, and telling the user why that failed.
#pragma once

#include "BoardSession.h"
#include "CliContext.h"
#include "HidStrings.h"

#include <string>

namespace cli {

enum class Access {
    Reads,  // any board will do: the first one, unless --serial names another
    Writes, // never a guessed board: with two or more, --serial must name one
};

// Tells the user what failed and why; returns the exit code the error calls for.
int sessionFailed(Context& context, const std::string& what, const config::SessionError& error);

// Opens the board for the command. On failure it has told the user why and returns the exit
// code; kOk when the board is open. The session closes the board when it goes.
class ChosenBoard {
public:
    explicit ChosenBoard(Context& context) : session(context.platform), context_(context) {}
    ~ChosenBoard() { session.close(); }
    ChosenBoard(const ChosenBoard&) = delete;
    ChosenBoard& operator=(const ChosenBoard&) = delete;

    int open(Access access);
    int failed(const std::string& what, const config::SessionError& error) {
        return sessionFailed(context_, what, error);
    }
    config::BoardVersion version() const {
        return config::BoardVersion::fromReleaseNumber(listing.versionNumber);
    }

    config::BoardSession session;
    config::BoardListing listing;

private:
    bool openAtOnce();
    bool isSerial(const std::string& serialText) const;

    Context& context_;
};

using hid::hex4;

} // namespace cli
