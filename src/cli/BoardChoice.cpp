#include "BoardChoice.h"

#include "ConsoleText.h"
#if defined(__linux__)
#include "UdevRule.h"
#endif

#include <algorithm>
#include <iterator>

namespace cli {

namespace {

std::string serialsOf(const std::vector<config::BoardListing>& boards) {
    std::string serials;
    for (const config::BoardListing& board : boards)
        serials += (serials.empty() ? "" : ", ") + printable(board.serial);
    return serials;
}

int exitCodeOf(config::SessionError::Kind kind) {
    switch (kind) {
    case config::SessionError::Kind::NoBoard:
        return kNoBoard;
    case config::SessionError::Kind::PermissionDenied:
        return kPermissionDenied;
    default:
        return kFailed;
    }
}

} // namespace

int fail(Context& context, int code, const std::string& message) {
    context.err << "tessary32: " << message << '\n';
    if (!context.failure)
        context.failure = message;
    return code;
}

int sessionFailed(Context& context, const std::string& what, const config::SessionError& error) {
    std::string message = printable(error.message());
#if defined(__linux__)
    if (error.kind == config::SessionError::Kind::PermissionDenied)
        message += ". " + hid::udevRuleAdvice(hid::installedUdevRule());
#endif
    return fail(context, exitCodeOf(error.kind), what.empty() ? message : what + ": " + message);
}

// A reading command opens its board in one walk: on Linux every open of a USB board that
// nobody holds open costs 50 ms in the kernel, so a listing walk first would double that.
bool ChosenBoard::openAtOnce() {
    const bool opened = session.open(
        [&](const std::string& seen) { return context_.serial.empty() || isSerial(seen); });
    if (!opened)
        return false;
    listing = session.board().listing;
    return true;
}

// The board's serial text is the low byte of each UTF-16 unit, which list --json shows as UTF-8;
// --serial is typed as the user reads it there.
bool ChosenBoard::isSerial(const std::string& serialText) const {
    return latin1ToUtf8(serialText) == context_.serial;
}

int ChosenBoard::open(Access access) {
    if (access == Access::Reads && openAtOnce())
        return kOk;
    if (access == Access::Reads && session.lastError().kind != config::SessionError::Kind::NoBoard)
        return failed("", session.lastError());
    // The listing tells why: no board, another serial, or a choice to make.
    const std::vector<config::BoardListing> boards = session.listBoards();
    if (boards.empty())
        return failed("", session.lastError());
    std::vector<config::BoardListing> matching;
    std::copy_if(boards.begin(), boards.end(), std::back_inserter(matching),
                 [&](const config::BoardListing& board) {
                     return context_.serial.empty() || isSerial(board.serial);
                 });
    if (matching.empty())
        return fail(context_, kBadInput,
                    "no board has the serial number '" + printable(context_.serial) +
                        "'; the boards plugged in are " + serialsOf(boards));
    if (access == Access::Writes && matching.size() > 1)
        return fail(context_, kBadInput,
                    context_.serial.empty()
                        ? std::to_string(boards.size()) + " boards are plugged in (" +
                              serialsOf(boards) + "): name the one to write to with --serial"
                        : std::to_string(matching.size()) + " boards have the serial number '" +
                              printable(context_.serial) + "': unplug all but the one to write to");
    listing = matching.front();
    if (!session.open(listing.serial))
        return failed("", session.lastError());
    return kOk;
}

} // namespace cli
