// The board-connection state and the procedures that find and open a board: the walk over
// the present HID interfaces, the serial text, opening with two handles, the capabilities
// and the read event; the presence read that watches the open board, and closing it.
#pragma once

#include "ApiDeclarations.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hid {

class BoardConnection {
public:
    explicit BoardConnection(ApiDeclarations& api);
    // The system may still write into the presence buffer and the overlapped record: ends
    // the read in flight first.
    ~BoardConnection();
    BoardConnection(const BoardConnection&) = delete;
    BoardConnection& operator=(const BoardConnection&) = delete;

    // What a per-board action of the walk decides for the interface it was shown.
    enum class AfterBoard { CloseAndContinue, KeepOpenAndStop };
    using PerBoardAction = std::function<AfterBoard()>;

    // Visits every present HID interface in enumeration order with featureHandle open on it
    // and deviceAttributes read from it; perBoard runs for each board of the family. Interfaces
    // that are not boards, and boards whose action says so, are closed before the walk goes on.
    // An interface whose hardware IDs name a vendor and product outside the family is passed
    // by without being opened: an open can wake a sleeping keyboard or headset.
    void walkInterfaces(const PerBoardAction& perBoard);
    // The same walk, but an interface whose device path passOver accepts is left unopened and
    // shown to no action: the walk's handles and records never touch it.
    void walkInterfaces(const PerBoardAction& perBoard,
                        const std::function<bool(const std::string& devicePath)>& passOver);

    // The serial text of the board behind featureHandle, or nothing when its query fails.
    std::optional<std::string> serialText();

    // Opens the first board whose serial text equals wantedSerial. On success both handles
    // are open, capabilities are read and readOverlapped is ready. A board whose capabilities
    // cannot be read is not opened: its report lengths would be guesses.
    bool FindTheHid(const std::string& wantedSerial);
    // The same for the first board whose serial text wanted accepts.
    bool FindTheHid(const std::function<bool(const std::string& serial)>& wanted);
    // Clears capabilities, then reads them; false when they could not be read.
    bool QueryCapabilities();
    void CreateReadEvent();

    // One presence check of the open board: true while it is there. One overlapped read is
    // kept in flight across checks: a board that sends reports only on change leaves it
    // pending, and that counts as present; a read that completed with a report counts as
    // present and the next one is started; one that completed with an error means the board
    // is gone (lastError says why).
    bool checkPresence();
    // Cancels the presence read in flight, if there is one, and waits until the system has
    // let go of its buffer and overlapped record.
    void endPresenceRead();
    bool presenceReadInFlight() const { return presenceReadInFlight_; }

    // Ends the presence read, then closes featureHandle, then readHandle, of the open board.
    void closeBoard();

    ApiDeclarations& api;

    Handle featureHandle = kInvalidHandle;
    Handle readHandle = kInvalidHandle;
    std::string devicePath;
    HiddAttributes deviceAttributes;
    HidpCaps capabilities;
    Handle readEvent = 0; // 0: not created yet
    Overlapped readOverlapped;
    SecurityAttributes securityAttributes;
    bool enumerationDone = false;
    bool deviceAttached = false;
    std::int32_t lastResult = 0;
    // The interfaces of the last walk that this user may not open, with the platform's reason.
    std::vector<PlatformError> deniedOpens;

private:
    bool enumerateNext(Handle deviceInfoSet, const Guid& hidGuid, std::uint32_t index);
    bool mayBeBoard(Handle deviceInfoSet);
    bool startPresenceRead();
    void openFeatureHandle();
    void readAttributes();
    Handle openDevicePath(std::uint32_t flags);

    static constexpr std::uint32_t kSerialQueryLength = 100;
    std::array<std::uint8_t, 2 * kSerialQueryLength + 1> serialBuffer_{};
    DeviceInfoData deviceInfo_; // the device of the interface the walk is at
    std::vector<std::uint8_t> hardwareIds_;
    // The read in flight writes here; sized for the open board's input report when a read
    // starts, so a connection that never checks presence holds none.
    std::vector<std::uint8_t> presenceBuffer_;
    bool presenceReadInFlight_ = false;
};

} // namespace hid
