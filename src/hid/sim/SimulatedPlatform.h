// Simulated HID interfaces and boards behind the platform interface: the test double of the
// utility and the engine of the demo.
//
// Interfaces are listed in the order they were added; each has its identity, report lengths
// and, for boards, firmware that keeps 256 configuration bytes. Any interface can be unplugged
// and plugged again at any moment, any operation can be made to fail, and every call is logged
// with its bytes.
#pragma once

#include "ApiDeclarations.h"
#include "BoardIdentity.h"
#include "DeviceInfoSets.h"
#include "SimulatedFirmware.h"
#include "SimulatedInputs.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace hid::sim {

enum class Op {
    HidD_GetHidGuid,
    SetupDiGetClassDevsA,
    SetupDiEnumDeviceInterfaces,
    SetupDiGetDeviceInterfaceDetailA,
    SetupDiDestroyDeviceInfoList,
    CreateFileA,
    CloseHandle,
    CreateEventA,
    ReadFile,
    HidD_GetAttributes,
    HidD_GetSerialNumberString,
    HidD_GetManufacturerString,
    HidD_GetProductString,
    HidD_GetPreparsedData,
    HidP_GetCaps,
    HidD_FreePreparsedData,
    HidD_SetFeature,
    HidD_GetFeature,
    HidP_GetUsages,
    HidP_MaxUsageListLength,
    WaitForInputReport,
    GetOverlappedResult,
    CancelIoEx,
    SetupDiGetDeviceRegistryPropertyA,
};
const char* opName(Op op);

using DeviceId = int;
inline constexpr DeviceId kNoDevice = -1;

// What a board does with its input reports. As on Windows, an overlapped read completes at
// once only when a report is waiting; on an idle board it stays in flight until a report
// comes, the read is cancelled or the board is unplugged.
enum class InputReports {
    Streaming, // a report is always waiting
    Idle,      // none is waiting: the board sends only on change
};

// Uses of the overlapped reads that would corrupt memory or hang on Windows. The simulation
// goes on after each, and counts it, so that tests can insist on none.
struct ReadMisuses {
    int readsOnOverlappedInFlight = 0; // ReadFile given an OVERLAPPED whose read is in flight
    int closesWithReadInFlight = 0; // a handle closed before its read was cancelled and waited for
    int waitsThatWouldHang = 0;     // GetOverlappedResult waiting on a read nothing will end
    int sharedHandleWaits = 0;      // WaitForInputReport on a handle with a read in flight
    friend bool operator==(const ReadMisuses&, const ReadMisuses&) = default;
};

struct InterfaceSpec {
    std::uint16_t vendorId = kBoardVendorId;
    std::uint16_t productId = kBoardProductIds[0];
    std::uint16_t versionNumber = 0x0103;
    std::optional<std::u16string> serial = u"0001"; // nullopt: the query fails
    std::optional<std::u16string> manufacturer = u"Tessary";
    std::optional<std::u16string> product = u"Tessary-32";
    std::uint16_t inputReportLength = 5;
    std::uint16_t featureReportLength = 65;
    // Where the inputs are in its input reports; the lengths above stay as they are given.
    std::vector<std::uint8_t> reportDescriptor = boardReportDescriptor();
};

struct Call {
    Op op;
    DeviceId device;
    Handle handle;                   // the handle the call was given, where there is one
    std::uint32_t length;            // the length the caller passed, where there is one
    std::vector<std::uint8_t> bytes; // reports sent, or what a read or query returned
    Bool32 result;
};

class SimulatedPlatform : public ApiDeclarations {
public:
    // Adds an interface, plugged in, after all the others in enumeration order.
    DeviceId add(InterfaceSpec spec);
    void unplug(DeviceId device);
    void plug(DeviceId device);
    bool isPlugged(DeviceId device) const;
    std::vector<DeviceId> devices() const;

    InterfaceSpec& spec(DeviceId device);
    SimulatedFirmware& firmware(DeviceId device);
    std::string pathOf(DeviceId device) const;
    // The paths pathOf has built, so far: a search builds each at most a few times.
    std::size_t pathsBuilt() const { return pathsBuilt_; }
    void setInputReports(DeviceId device, InputReports reports);
    // While false, a presence read finds no input report waiting (InputReports::Idle), and an
    // overlapped one stays in flight.
    void setInputReady(DeviceId device, bool ready);
    // Presses or releases input 1 to 32 of a plugged-in board. Each change sends one input
    // report to every handle open on the board; like hidraw, each handle queues at most
    // kInputQueueLength reports and drops the ones that come while its queue is full.
    void press(DeviceId device, int input);
    void release(DeviceId device, int input);
    InputSet pressedInputs(DeviceId device) const;
    // Sends any bytes as an input report, as a board whose firmware is at fault might.
    void sendInputReport(DeviceId device, const std::vector<std::uint8_t>& report);
    static constexpr std::size_t kInputQueueLength = 64;

    // Makes op fail for one device, or for every device with kNoDevice. A failing call leaves
    // the reason in lastError: Refused, or the one given to failWith.
    void setFailing(Op op, bool failing = true, DeviceId device = kNoDevice);
    void failWith(Op op, PlatformError::Kind reason, DeviceId device = kNoDevice);
    // Called before every operation; it may unplug devices or change their answers.
    std::function<void(Op, DeviceId)> beforeCall;

    // For a program that runs over simulated boards for as long as its user likes (tessary32
    // --demo): a wait for an input report with none queued sleeps for its timeout, as it does
    // on a board, and no call is logged, so that the memory stays as it is.
    void runInRealTime() { realTime_ = true; }

    const std::vector<Call>& calls() const { return calls_; }
    std::vector<Call> callsOf(Op op) const;
    void clearCalls() { calls_.clear(); }

    // The device an open handle belongs to, or kNoDevice.
    DeviceId deviceBehind(Handle handle) const { return deviceOf(handle); }
    int openDeviceHandles() const { return static_cast<int>(handles_.size()); }
    int openInfoSets() const { return static_cast<int>(infoSets_.openSets()); }
    int openPreparsedData() const { return static_cast<int>(preparsed_.size()); }
    int eventsCreated() const { return static_cast<int>(events_.size()); }
    int readsInFlight() const { return static_cast<int>(inFlight_.size()); }
    const ReadMisuses& readMisuses() const { return misuses_; }

    // The platform interface.
    void HidD_GetHidGuid(Guid& hidGuid) override;
    Handle SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) override;
    Bool32 SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                       std::uint32_t memberIndex,
                                       DeviceInterfaceData& interfaceData) override;
    Bool32 SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                            const DeviceInterfaceData& interfaceData,
                                            std::uint8_t* detail, std::uint32_t detailSize,
                                            std::uint32_t* requiredSize,
                                            DeviceInfoData* deviceInfoData) override;
    // The hardware IDs of a HID device, from the interface's vendor, product and version.
    Bool32 SetupDiGetDeviceRegistryPropertyA(
        Handle deviceInfoSet, const DeviceInfoData& deviceInfoData, std::uint32_t property,
        std::uint32_t* propertyRegDataType, std::uint8_t* propertyBuffer,
        std::uint32_t propertyBufferSize, std::uint32_t* requiredSize) override;
    Bool32 SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) override;
    Handle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                       std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                       std::uint32_t creationDisposition, std::uint32_t flags) override;
    Bool32 CloseHandle(Handle handle) override;
    Handle CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                        Bool32 initialState, const char* name) override;
    Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                    std::uint32_t* bytesRead, Overlapped* overlapped) override;
    // A read in flight completes when it is asked about: with the oldest report queued for
    // its handle (or the current one while the board streams), with kErrorDeviceNotConnected
    // once the board is gone, with kErrorOperationAborted once cancelled.
    Bool32 GetOverlappedResult(Handle handle, Overlapped* overlapped,
                               std::uint32_t* bytesTransferred, Bool32 wait) override;
    Bool32 CancelIoEx(Handle handle, Overlapped* overlapped) override;
    Bool32 HidD_GetAttributes(Handle device, HiddAttributes& attributes) override;
    Bool32 HidD_GetSerialNumberString(Handle device, std::uint8_t* buffer,
                                      std::uint32_t bufferLength) override;
    Bool32 HidD_GetManufacturerString(Handle device, std::uint8_t* buffer,
                                      std::uint32_t bufferLength) override;
    Bool32 HidD_GetProductString(Handle device, std::uint8_t* buffer,
                                 std::uint32_t bufferLength) override;
    Bool32 HidD_GetPreparsedData(Handle device, PreparsedData& preparsedData) override;
    Bool32 HidP_GetCaps(PreparsedData preparsedData, HidpCaps& capabilities) override;
    Bool32 HidD_FreePreparsedData(PreparsedData preparsedData) override;
    Bool32 HidD_SetFeature(Handle device, std::uint8_t* report,
                           std::uint32_t reportLength) override;
    Bool32 HidD_GetFeature(Handle device, std::uint8_t* report,
                           std::uint32_t reportLength) override;
    Bool32 HidP_GetUsages(HidpReportType reportType, std::uint16_t usagePage,
                          std::uint16_t linkCollection, std::uint16_t* usageList,
                          std::uint32_t* usageLength, PreparsedData preparsedData,
                          std::uint8_t* report, std::uint32_t reportLength) override;
    std::uint32_t HidP_MaxUsageListLength(HidpReportType reportType, std::uint16_t usagePage,
                                          PreparsedData preparsedData) override;
    // Takes the oldest report queued for the handle at once; with none queued it times out at
    // once too, without waiting, as the caller's clock is the test's to move (but see
    // runInRealTime).
    InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer, std::uint32_t bufferLength,
                                 std::uint32_t& bytesRead, std::uint32_t timeoutMs) override;
    // Changes with every add, plug and unplug. Not logged: no device hears of it.
    std::uint64_t InterfaceGeneration() override { return interfaceGeneration_; }
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor(Handle handle) override;

private:
    struct Interface {
        InterfaceSpec spec;
        SimulatedFirmware firmware;
        bool plugged = true;
        int connection = 0; // counts plug-ins; handles of an earlier connection are dead
        bool inputReady = true;
        InputSet pressed = 0;
        struct {
            std::vector<std::uint8_t> descriptor;
            InputSet pressed = 0;
            std::vector<std::uint8_t> bytes;
        } report; // the input report last made, and what it was made from
    };
    struct OpenHandle {
        DeviceId device;
        int connection;
    };
    struct ReadInFlight {
        Handle handle;
        std::uint8_t* buffer;
        std::uint32_t length;
        bool cancelled = false;
    };

    // Runs beforeCall, then tells whether op is to fail for the device. The handle given is
    // recorded with the call.
    bool begin(Op op, DeviceId device, Handle handle = 0);
    Bool32 log(Op op, DeviceId device, Bool32 result, std::uint32_t length = 0,
               std::vector<std::uint8_t> bytes = {});
    DeviceId deviceAt(const std::string& path) const;
    // The device behind a handle, if it is still connected.
    Interface* live(Handle handle, DeviceId& device);
    DeviceId deviceOf(Handle handle) const;
    void setPressed(DeviceId device, InputSet pressed);
    static const std::vector<std::uint8_t>& currentReport(Interface& board);
    const ReportLayout* layoutOf(PreparsedData preparsedData) const;
    // The outcome of a read in flight: 0 for a report (put into its buffer), an error code,
    // or nothing while it is still waiting.
    std::optional<int> settle(ReadInFlight& read, std::uint32_t& bytes);
    bool readInFlightOn(Handle handle) const;
    Bool32 stringQuery(Op op, Handle handle,
                       const std::optional<std::u16string> InterfaceSpec::*text,
                       std::uint8_t* buffer, std::uint32_t bufferLength);

    std::vector<Interface> interfaces_;
    std::map<Handle, OpenHandle> handles_;
    std::set<Handle> events_;
    std::map<PreparsedData, DeviceId> preparsed_;
    std::map<PreparsedData, ReportLayout> preparsedLayouts_;
    std::map<Handle, std::deque<std::vector<std::uint8_t>>> inputQueues_;
    std::map<Overlapped*, ReadInFlight> inFlight_;
    ReadMisuses misuses_;
    DeviceInfoSets infoSets_;
    std::map<std::pair<Op, DeviceId>, PlatformError::Kind> failing_;
    std::optional<PlatformError::Kind> injected_; // the reason the current call is made to fail
    std::vector<Call> calls_;
    Handle nextHandle_ = 0x100;
    Handle callHandle_ = 0;
    mutable std::size_t pathsBuilt_ = 0;
    std::uint64_t interfaceGeneration_ = 0;
    bool realTime_ = false;
};

} // namespace hid::sim
