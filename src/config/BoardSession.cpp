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

BoardSession::BoardSession(hid::ApiDeclarations& api) : board(api) {}

void BoardSession::fail(SessionError::Kind kind) {
    lastError_ = SessionError{kind, board.devicePath, 0};
}

// The platform's reason when it gave one for this device, else the fallback.
void BoardSession::failFromPlatform(SessionError::Kind fallback) {
    const hid::PlatformError& platform = board.api.lastError();
    const SessionError::Kind kind = kindOf(platform.kind);
    if (kind == SessionError::Kind::None || platform.device != board.devicePath)
        return fail(fallback);
    lastError_ = SessionError{kind, platform.device, platform.code};
}

std::uint32_t BoardSession::featureLength() const {
    return board.capabilities.FeatureReportByteLength;
}

std::vector<BoardListing> BoardSession::listBoards() {
    lastError_ = {};
    std::vector<BoardListing> boards;
    board.enumerationDone = false;
    board.walkInterfaces([&] {
        if (std::optional<std::string> serial = board.serialText()) {
            const hid::HiddAttributes& id = board.deviceAttributes;
            boards.push_back(BoardListing{std::move(*serial), id.VendorID, id.ProductID,
                                          id.VersionNumber, board.devicePath});
        }
        return hid::BoardConnection::AfterBoard::CloseAndContinue;
    });
    if (boards.empty()) {
        if (board.deniedOpens.empty())
            lastError_ = SessionError{SessionError::Kind::NoBoard, {}, 0};
        else
            lastError_ =
                SessionError{SessionError::Kind::PermissionDenied, board.deniedOpens.front().device,
                             board.deniedOpens.front().code};
    }
    return boards;
}

bool BoardSession::open(const std::string& serial) {
    lastError_ = {};
    return opened(board.FindTheHid(serial));
}

bool BoardSession::open(const std::function<bool(const std::string& serial)>& wanted) {
    lastError_ = {};
    return opened(board.FindTheHid(wanted));
}

bool BoardSession::opened(bool found) {
    if (found)
        return true;
    if (!board.deniedOpens.empty())
        lastError_ = SessionError{SessionError::Kind::PermissionDenied,
                                  board.deniedOpens.front().device, board.deniedOpens.front().code};
    else
        lastError_ = SessionError{SessionError::Kind::NoBoard, {}, 0};
    return false;
}

void BoardSession::close() {
    if (board.deviceAttached)
        board.closeBoard();
    board.deviceAttached = false;
}

BoardDetails BoardSession::readDetails() {
    lastError_ = {};
    BoardDetails details;
    details.versionNumber = board.deviceAttributes.VersionNumber;
    // The bytes behind the 100 offered stay zero, so the text always ends inside the buffer.
    const auto query = [&](StringQuery call) -> std::optional<std::string> {
        std::array<std::uint8_t, 2 * kStringQueryLength + 1> text{};
        board.lastResult = (board.api.*call)(board.readHandle, text.data(), kStringQueryLength);
        if (board.lastResult == 0)
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
    if (!isOpen() || length < kReadBackMinLength) {
        fail(isOpen() ? SessionError::Kind::Unsupported : SessionError::Kind::NoBoard);
        return settings;
    }
    Report request = readBackRequest(length);
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, request.data(), length);
    // A board that did not take the request answers reads with whatever it had queued before,
    // such as an unread self-test result: nothing read then is its settings.
    if (board.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return settings;
    }
    Report answer(length, 0);
    for (int read = 0; read < kReadBackReads; ++read) {
        board.lastResult = board.api.HidD_GetFeature(board.featureHandle, answer.data(), length);
        if (board.lastResult == 0) {
            failFromPlatform(SessionError::Kind::Refused);
            continue;
        }
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
    const std::uint32_t length = featureLength();
    Report report = writeSettingReport(length, address, value);
    if (!isOpen() || report.empty()) {
        fail(isOpen() ? SessionError::Kind::Unsupported : SessionError::Kind::NoBoard);
        return false;
    }
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, report.data(), length);
    if (board.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return false;
    }
    return true;
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
    const std::uint32_t length = featureLength();
    Report request = selfTestRequest(length);
    if (!isOpen() || request.empty()) {
        fail(isOpen() ? SessionError::Kind::Unsupported : SessionError::Kind::NoBoard);
        return outcome;
    }
    board.lastResult = board.api.HidD_SetFeature(board.featureHandle, request.data(), length);
    if (board.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return outcome;
    }
    Report reply(request.size(), 0);
    reply[0] = kReportId;
    board.lastResult = board.api.HidD_GetFeature(board.featureHandle, reply.data(), length);
    if (board.lastResult == 0) {
        failFromPlatform(SessionError::Kind::Refused);
        return outcome;
    }
    outcome.replyHead = {reply[0], reply[1]};
    outcome.input = reply[1];
    outcome.kind = reply[1] == 0 ? SelfTestOutcome::Kind::Passed : SelfTestOutcome::Kind::Failed;
    return outcome;
}

bool BoardSession::checkPresence() {
    lastError_ = {};
    if (board.checkPresence())
        return true;
    failFromPlatform(SessionError::Kind::Gone);
    return false;
}

} // namespace config
