// One board, as every front end sees it: the window, the command line and the tests on real
// kernels. It finds the boards, opens one by its serial text, reads its details and settings,
// writes one setting, runs the self test and checks that the board is still there. Plain C++:
// it talks to the board only through the platform interface.
//
// Each exchange makes exactly the platform calls the window has always made, in the same order
// and with the same bytes; what is new is that a failure is reported, with a reason a caller can
// show.
#pragma once

#include "ApiDeclarations.h"
#include "BoardConnection.h"
#include "Protocol.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace config {

// Why an exchange failed, in words a user can act on.
struct SessionError {
    enum class Kind {
        None,
        NoBoard,          // no board of the family, or none with the serial asked for
        PermissionDenied, // a board is there, but this user may not open it
        Gone,             // the board was unplugged
        Refused,          // the board is there and did not take or answer the request
        Unsupported,      // the board's reports or version cannot carry the request
    };
    Kind kind = Kind::None;
    std::string device; // the device path, when known
    int code = 0;       // errno or GetLastError, when the platform gave one
    std::string message() const;
};

// A board found by the walk.
struct BoardListing {
    std::string serial;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    std::string devicePath;
    bool isOpen = false; // the board this session has open
};

// The open board as its callers see it: its listing, its report lengths, and the handles that a
// caller reading its input reports itself needs, such as the monitor. Once the board is closed
// its handles are invalid; the read event stays, for the next board opened.
struct OpenBoard {
    BoardListing listing;
    hid::HidpCaps capabilities;
    hid::Handle featureHandle = hid::kInvalidHandle;
    hid::Handle readHandle = hid::kInvalidHandle;
    hid::Handle readEvent = 0;
    hid::Overlapped readOverlapped;
    bool presenceReadInFlight = false; // a presence read is pending on readHandle
};

// What the board says of itself. The strings are single-byte texts: the low byte of each
// UTF-16 code unit, as the window shows them.
struct BoardDetails {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::uint16_t versionNumber = 0;
    BoardVersion version() const { return BoardVersion::fromReleaseNumber(versionNumber); }
};

// One of the board's settings, and the selector index each value stands for.
struct Setting {
    enum class Kind { EncoderMode, PulseWidth, RotStart };
    Kind kind = Kind::EncoderMode;
    int channel = 0; // 1 to 16, for an encoder mode only

    static Setting encoder(int channel) { return {Kind::EncoderMode, channel}; }
    static Setting pulseWidth() { return {Kind::PulseWidth, 0}; }
    static Setting rotStart() { return {Kind::RotStart, 0}; }
    std::uint8_t address() const;
    // The code written for a selector index; nothing for an index that has no item.
    std::optional<std::uint8_t> valueOf(int index) const;
    std::vector<std::string> items() const;
    friend bool operator==(const Setting&, const Setting&) = default;
};

// The settings as read back, as selector indices. Nothing where the value was not read: its
// block did not arrive, or the board's reports are too short to carry it. -1 where the board
// holds a value that matches no item.
struct BoardSettings {
    std::array<std::optional<int>, kEncoderChannels> encoderMode;
    std::optional<int> pulseWidth;
    std::optional<int> rotStart;

    std::optional<int> indexOf(const Setting& setting) const;
    void set(const Setting& setting, int index);
    bool complete() const; // every value was read
};

struct SelfTestOutcome {
    enum class Kind { Passed, Failed, NoAnswer };
    Kind kind = Kind::NoAnswer;
    std::uint8_t input = 0;                  // the input that failed: B1 is 1
    std::array<std::uint8_t, 2> replyHead{}; // bytes 0 and 1 of the answer
    std::string text() const;                // "Passed", "Failed on B7", "No answer"
};

class BoardSession {
public:
    explicit BoardSession(hid::ApiDeclarations& api);
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Every board of the family with a serial text, in enumeration order. Opens and closes
    // each interface in turn; use it only while no board is open.
    std::vector<BoardListing> listBoards();
    // The same list while a board is open: the open board is listed as openSerial, in its
    // place, without being opened again, and its connection state stays as it is. Without an
    // entry marked isOpen when the open board is no longer among the interfaces.
    std::vector<BoardListing> listBoardsBesideOpen(const std::string& openSerial);

    // Opens the first board whose serial text is serial. Only while no board is open.
    bool open(const std::string& serial);
    // Opens the first board whose serial text wanted accepts, in one walk.
    bool open(const std::function<bool(const std::string& serial)>& wanted);
    // Closes the open board's handles.
    void close();
    bool isOpen() const { return board_.deviceAttached; }
    // The board open now, or last opened.
    OpenBoard board() const;

    // The open board's manufacturer and product strings and its version.
    BoardDetails readDetails();

    // One read-back request, then eight reads; none when the board does not take the request.
    // perBlock runs for each read that succeeds, in the order read, with its decoded block.
    // Returns what arrived: a value never read stays empty, and lastError says why.
    using BlockHandler = std::function<void(const ReadBackBlock&)>;
    BoardSettings readSettings(const BlockHandler& perBlock = {});

    // One write-setting report. False when the board did not take it whole.
    bool writeSetting(std::uint8_t address, std::uint8_t value);
    bool writeSetting(const Setting& setting, int index);

    // The board's test of its inputs: one request, then one answer.
    SelfTestOutcome selfTest();

    // The presence check of the open board: true while it is there (a read still pending on
    // a board that sends only on change counts as there).
    bool checkPresence();

    const SessionError& lastError() const { return lastError_; }

private:
    bool opened(bool found, std::string serial);
    void fail(SessionError::Kind kind);
    void failFromPlatform(SessionError::Kind fallback);
    void failToFind();
    bool sendFeature(Report& request);
    bool receiveFeature(Report& answer);
    std::uint32_t featureLength() const;

    // The board-connection state: handles, attributes, capabilities, flags.
    hid::BoardConnection board_;
    std::string openSerial_; // the serial text of the board opened

    SessionError lastError_;
};

} // namespace config
