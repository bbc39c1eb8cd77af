#include "BoardChoice.h"

#include "ConsoleText.h"

#include <algorithm>
#include <cstdio>
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

std::string versionText(const config::BoardVersion& version) {
    const std::string text = version.text();
    return text.starts_with(' ') ? text.substr(1) : text;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

int sessionFailed(Context& context, const std::string& what, const config::SessionError& error) {
    std::string message = printable(error.message());
    if (error.kind == config::SessionError::Kind::PermissionDenied)
        message +=
            ". Install the udev rule 70-tessary32.rules (packaging/linux/70-tessary32.rules) "
            "into /etc/udev/rules.d or /usr/lib/udev/rules.d, run 'udevadm control "
            "--reload-rules && udevadm trigger' as root and plug the board in again";
    return fail(context, exitCodeOf(error.kind), what.empty() ? message : what + ": " + message);
}

// A reading command opens its board in one walk: on Linux every open of a USB board that
// nobody holds open costs 50 ms in the kernel, so a listing walk first would double that.
bool ChosenBoard::openAtOnce() {
    std::string serial; // the last one seen is the board's that was taken
    const bool opened = session.open([&](const std::string& seen) {
        serial = seen;
        return context_.serial.empty() || seen == context_.serial;
    });
    if (!opened)
        return false;
    const hid::BoardConnection& board = session.board;
    listing = config::BoardListing{serial, board.deviceAttributes.VendorID,
                                   board.deviceAttributes.ProductID,
                                   board.deviceAttributes.VersionNumber, board.devicePath};
    return true;
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
                     return context_.serial.empty() || board.serial == context_.serial;
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
