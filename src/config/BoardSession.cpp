#include "BoardSession.h"

#include "HidStrings.h"

#include <algorithm>

namespace config {

namespace {

constexpr std::uint32_t kStringQueryLength = 100;
// Room for any input report length the 16-bit capability field can state.

using StringQuery = hid::Bool32 (hid::ApiDeclarations::*)(hid::Handle, std::uint8_t*,
                                                          std::uint32_t);

SessionError::Kind kindOf(hid::PlatformError::Kind kind) {
    using Platform = hid::PlatformError::Kind;
    switch (kind) {
    case Platform::NotFound:
        return SessionError::Kind::NoBoard;
    case Platform::PermissionDenied:
        return SessionError::Kind::PermissionDenied;
    case Platform::Gone:
        return SessionError::Kind::Gone;
    case Platform::Refused:
    case Platform::Other:
        return SessionError::Kind::Refused;
    case Platform::None:
        break;
    }
    return SessionError::Kind::None;
}

} // namespace

std::string SessionError::message() const {
    const std::string on = device.empty() ? std::string() : " (" + device + ")";
    switch (kind) {
    case Kind::None:
        return "no error";
    case Kind::NoBoard:
        return "no board found" + on;
    case Kind::PermissionDenied:
        return "no permission to open the board" + on;
    case Kind::Gone:
        return "the board was unplugged" + on;
    case Kind::Refused:
        return "the board did not answer" + on;
    case Kind::Unsupported:
        return "the board does not offer this" + on;
    }
    return "unknown error";
}

// ---- settings ----

std::uint8_t Setting::address() const {
    switch (kind) {
    case Kind::EncoderMode:
        return encoderAddress(channel);
    case Kind::PulseWidth:
        return kPulseWidthAddress;
    case Kind::RotStart:
        break;
    }
    return kRotStartAddress;
}

std::vector<std::string> Setting::items() const {
    switch (kind) {
    case Kind::EncoderMode:
        return encoderModeItems();
    case Kind::PulseWidth:
        return pulseWidthItems();
    case Kind::RotStart:
        break;
    }
    return rotStartItems();
}

std::optional<std::uint8_t> Setting::valueOf(int index) const {
    if (index < 0 || index >= static_cast<int>(items().size()))
        return std::nullopt;
    switch (kind) {
    case Kind::EncoderMode:
        return encoderModeValue(index);
    case Kind::PulseWidth:
        return pulseWidthValue(index);
    case Kind::RotStart:
        break;
    }
    return rotStartValue(index);
}

std::optional<int> BoardSettings::indexOf(const Setting& setting) const {
    switch (setting.kind) {
    case Setting::Kind::EncoderMode:
        return encoderMode.at(static_cast<std::size_t>(setting.channel - 1));
    case Setting::Kind::PulseWidth:
        return pulseWidth;
    case Setting::Kind::RotStart:
        break;
    }
    return rotStart;
}

void BoardSettings::set(const Setting& setting, int index) {
    switch (setting.kind) {
    case Setting::Kind::EncoderMode:
        encoderMode.at(static_cast<std::size_t>(setting.channel - 1)) = index;
        return;
    case Setting::Kind::PulseWidth:
        pulseWidth = index;
        return;
    case Setting::Kind::RotStart:
        rotStart = index;
        return;
    }
}

bool BoardSettings::complete() const {
    return pulseWidth && rotStart &&
           std::all_of(encoderMode.begin(), encoderMode.end(),
                       [](const std::optional<int>& mode) { return mode.has_value(); });
}

std::string SelfTestOutcome::text() const {
    return kind == Kind::NoAnswer ? "No answer" : selfTestResultText(input);
}

// ---- the session ----

BoardSession::BoardSession(hid::ApiDeclarations& api) : board_(api) {}

void BoardSession::fail(SessionError::Kind kind) {
    lastError_ = SessionError{kind, board_.devicePath, 0};
}

// The platform's reason when it gave one for this device, else the fallback.
void BoardSession::failFromPlatform(SessionError::Kind fallback) {
    const hid::PlatformError& platform = board_.api.lastError();
    const SessionError::Kind kind = kindOf(platform.kind);
    if (kind == SessionError::Kind::None || platform.device != board_.devicePath)
        return fail(fallback);
    lastError_ = SessionError{kind, platform.device, platform.code};
}

std::uint32_t BoardSession::featureLength() const {
    return board_.capabilities.FeatureReportByteLength;
}

// Sends one request of the board's feature-report length. An empty request is one the board's
// reports cannot carry.
bool BoardSession::sendFeature(Report& request) {
    if (!isOpen() || request.empty()) {
        fail(isOpen() ? SessionError::Kind::Unsupported : SessionError::Kind::NoBoard);
        return false;
    }
    board_.lastResult =
        board_.api.HidD_SetFeature(board_.featureHandle, request.data(), featureLength());
    if (board_.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return false;
    }
    return true;
}

bool BoardSession::receiveFeature(Report& answer) {
    board_.lastResult =
        board_.api.HidD_GetFeature(board_.featureHandle, answer.data(), featureLength());
    if (board_.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return false;
    }
    return true;
}

std::vector<BoardListing> BoardSession::listBoards() {
    lastError_ = {};
    std::vector<BoardListing> boards;
    board_.enumerationDone = false;
    board_.walkInterfaces([&] {
        if (std::optional<std::string> serial = board_.serialText()) {
            const hid::HiddAttributes& id = board_.deviceAttributes;
            boards.push_back(BoardListing{std::move(*serial), id.VendorID, id.ProductID,
                                          id.VersionNumber, board_.devicePath});
        }
        return hid::BoardConnection::AfterBoard::CloseAndContinue;
    });
    if (boards.empty())
        failToFind();
    return boards;
}

// A walk of its own, so that the open board's handles and records stay as they are.
std::vector<BoardListing> BoardSession::listBoardsBesideOpen(const std::string& openSerial) {
    hid::BoardConnection others(board_.api);
    std::vector<BoardListing> boards;
    const auto listOpenBoard = [&](const std::string& devicePath) {
        if (devicePath != board_.devicePath)
            return false;
        const hid::HiddAttributes& id = board_.deviceAttributes;
        boards.push_back(BoardListing{openSerial, id.VendorID, id.ProductID, id.VersionNumber,
                                      devicePath, true});
        return true;
    };
    others.walkInterfaces(
        [&] {
            if (std::optional<std::string> serial = others.serialText()) {
                const hid::HiddAttributes& id = others.deviceAttributes;
                boards.push_back(BoardListing{std::move(*serial), id.VendorID, id.ProductID,
                                              id.VersionNumber, others.devicePath});
            }
            return hid::BoardConnection::AfterBoard::CloseAndContinue;
        },
        listOpenBoard);
    return boards;
}

bool BoardSession::open(const std::string& serial) {
    lastError_ = {};
    return opened(board_.FindTheHid(serial), serial);
}

// The last serial the walk was shown is the one of the board it kept open.
bool BoardSession::open(const std::function<bool(const std::string& serial)>& wanted) {
    lastError_ = {};
    std::string seen;
    const bool found = board_.FindTheHid([&](const std::string& serial) {
        seen = serial;
        return wanted(serial);
    });
    return opened(found, std::move(seen));
}

bool BoardSession::opened(bool found, std::string serial) {
    if (found) {
        openSerial_ = std::move(serial);
        return true;
    }
    failToFind();
    return false;
}

// A walk that found no board it could open: the first refused open tells why, if there was one.
void BoardSession::failToFind() {
    if (board_.deniedOpens.empty()) {
        lastError_ = SessionError{SessionError::Kind::NoBoard, {}, 0};
        return;
    }
    const hid::PlatformError& denied = board_.deniedOpens.front();
    lastError_ = SessionError{SessionError::Kind::PermissionDenied, denied.device, denied.code};
}

void BoardSession::close() {
    if (board_.deviceAttached)
        board_.closeBoard();
    board_.deviceAttached = false;
}

OpenBoard BoardSession::board() const {
    const hid::HiddAttributes& id = board_.deviceAttributes;
    return OpenBoard{
        BoardListing{openSerial_, id.VendorID, id.ProductID, id.VersionNumber, board_.devicePath},
        board_.capabilities,
        board_.featureHandle,
        board_.readHandle,
        board_.readEvent,
        board_.readOverlapped,
        board_.presenceReadInFlight()};
}

BoardDetails BoardSession::readDetails() {
    lastError_ = {};
    BoardDetails details;
    details.versionNumber = board_.deviceAttributes.VersionNumber;
    // The bytes behind the 100 offered stay zero, so the text always ends inside the buffer.
    const auto query = [&](StringQuery call) -> std::optional<std::string> {
        std::array<std::uint8_t, 2 * kStringQueryLength + 1> text{};
        board_.lastResult = (board_.api.*call)(board_.readHandle, text.data(), kStringQueryLength);
        if (board_.lastResult == 0)
            return std::nullopt;
        return hid::lowByteText(text.data(), text.size());
    };
    details.manufacturer = query(&hid::ApiDeclarations::HidD_GetManufacturerString);
    details.product = query(&hid::ApiDeclarations::HidD_GetProductString);
    return details;
}

// The receive buffer is zeroed once and reused: a platform that answers short leaves the rest
// zero, never an earlier answer's bytes (the platform layers see to that).
BoardSettings BoardSession::readSettings(const BlockHandler& perBlock) {
    lastError_ = {};
    BoardSettings settings;
    const std::uint32_t length = featureLength();
    Report request = length >= kReadBackMinLength ? readBackRequest(length) : Report{};
    // A board that did not take the request answers reads with whatever it had queued before,
    // such as an unread self-test result: nothing read then is its settings.
    if (!sendFeature(request))
        return settings;
    Report answer(length, 0);
    for (int read = 0; read < kReadBackReads; ++read) {
        if (!receiveFeature(answer))
            continue;
        const ReadBackBlock block = decodeReadBack(answer);
        if (block.pulseWidthIndex)
            settings.pulseWidth = *block.pulseWidthIndex;
        if (block.rotStartIndex)
            settings.rotStart = *block.rotStartIndex;
        if (block.encoderModeIndex)
            std::copy(block.encoderModeIndex->begin(), block.encoderModeIndex->end(),
                      settings.encoderMode.begin());
        if (perBlock)
            perBlock(block);
    }
    if (settings.complete())
        lastError_ = {};
    else if (lastError_.kind == SessionError::Kind::None)
        fail(SessionError::Kind::Refused);
    return settings;
}

bool BoardSession::writeSetting(std::uint8_t address, std::uint8_t value) {
    lastError_ = {};
    Report report = writeSettingReport(featureLength(), address, value);
    return sendFeature(report);
}

bool BoardSession::writeSetting(const Setting& setting, int index) {
    const std::optional<std::uint8_t> value = setting.valueOf(index);
    if (!value) {
        fail(SessionError::Kind::Unsupported);
        return false;
    }
    return writeSetting(setting.address(), *value);
}

// The answer is read straight after the request, with nothing between the two calls.
SelfTestOutcome BoardSession::selfTest() {
    lastError_ = {};
    SelfTestOutcome outcome;
    Report request = selfTestRequest(featureLength());
    if (!sendFeature(request))
        return outcome;
    Report reply(request.size(), 0);
    reply[0] = kReportId;
    if (!receiveFeature(reply))
        return outcome;
    outcome.replyHead = {reply[0], reply[1]};
    outcome.input = reply[1];
    outcome.kind = reply[1] == 0 ? SelfTestOutcome::Kind::Passed : SelfTestOutcome::Kind::Failed;
    return outcome;
}

bool BoardSession::checkPresence() {
    lastError_ = {};
    if (board_.checkPresence())
        return true;
    failFromPlatform(SessionError::Kind::Gone);
    return false;
}

} // namespace config
