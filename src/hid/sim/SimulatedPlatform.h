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
};
const char* opName(Op op);

using DeviceId = int;
inline constexpr DeviceId kNoDevice = -1;

// What a board does with its input reports. Windows completes a presence read at once only
// when a report is waiting, so a board that sends reports only on change counts as lost there.
enum class InputReports {
    Streaming, // a report is always waiting
    Idle,      // none is waiting: the board sends only on change
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

// The board's side of the feature-report protocol.
class SimulatedFirmware {
public:
    static constexpr int kBlockCount = 8;
    static constexpr int kBlockSize = 32;

    std::array<std::uint8_t, 256> memory{};
    // The blocks a read-back request queues, in this order; block b holds addresses 32b..32b+31.
    std::vector<int> blockOrder{0, 1, 2, 3, 4, 5, 6, 7};
    std::uint8_t selfTestResult = 0;

    void receive(const std::uint8_t* report, std::size_t length);
    void answer(std::uint8_t* report, std::size_t length);

private:
    // What the next reads answer: a block number, or the self-test result. Blocks are read
    // from memory when they are answered.
    struct Answer {
        bool selfTest;
        int block;
    };
    std::deque<Answer> pendingAnswers_;
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
    // While false, a presence read finds no input report waiting (InputReports::Idle).
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

    const std::vector<Call>& calls() const { return calls_; }
    std::vector<Call> callsOf(Op op) const;
    void clearCalls() { calls_.clear(); }

    // The device an open handle belongs to, or kNoDevice.
    DeviceId deviceBehind(Handle handle) const { return deviceOf(handle); }
    int openDeviceHandles() const { return static_cast<int>(handles_.size()); }
    int openInfoSets() const { return static_cast<int>(infoSets_.openSets()); }
    int openPreparsedData() const { return static_cast<int>(preparsed_.size()); }
    int eventsCreated() const { return static_cast<int>(events_.size()); }

    // The platform interface.
    void HidD_GetHidGuid(Guid& hidGuid) override;
    Handle SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) override;
    Bool32 SetupDiEnumDeviceInterfaces(Handle deviceInfoSet, const Guid& classGuid,
                                       std::uint32_t memberIndex,
                                       DeviceInterfaceData& interfaceData) override;
    Bool32 SetupDiGetDeviceInterfaceDetailA(Handle deviceInfoSet,
                                            const DeviceInterfaceData& interfaceData,
                                            std::uint8_t* detail, std::uint32_t detailSize,
                                            std::uint32_t* requiredSize) override;
    Bool32 SetupDiDestroyDeviceInfoList(Handle deviceInfoSet) override;
    Handle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                       std::uint32_t shareMode, SecurityAttributes* securityAttributes,
                       std::uint32_t creationDisposition, std::uint32_t flags) override;
    Bool32 CloseHandle(Handle handle) override;
    Handle CreateEventA(SecurityAttributes* securityAttributes, Bool32 manualReset,
                        Bool32 initialState, const char* name) override;
    Bool32 ReadFile(Handle handle, std::uint8_t* buffer, std::uint32_t bytesToRead,
                    std::uint32_t* bytesRead, Overlapped* overlapped) override;
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
    // once too, without waiting: the caller's clock is the test's to move.
    InputWait WaitForInputReport(Handle handle, std::uint8_t* buffer, std::uint32_t bufferLength,
                                 std::uint32_t& bytesRead, std::uint32_t timeoutMs) override;
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
    Bool32 stringQuery(Op op, Handle handle,
                       const std::optional<std::u16string> InterfaceSpec::*text,
                       std::uint8_t* buffer, std::uint32_t bufferLength);

    std::vector<Interface> interfaces_;
    std::map<Handle, OpenHandle> handles_;
    std::set<Handle> events_;
    std::map<PreparsedData, DeviceId> preparsed_;
    std::map<PreparsedData, ReportLayout> preparsedLayouts_;
    std::map<Handle, std::deque<std::vector<std::uint8_t>>> inputQueues_;
    DeviceInfoSets infoSets_;
    std::map<std::pair<Op, DeviceId>, PlatformError::Kind> failing_;
    std::optional<PlatformError::Kind> injected_; // the reason the current call is made to fail
    std::vector<Call> calls_;
    Handle nextHandle_ = 0x100;
    Handle callHandle_ = 0;
    mutable std::size_t pathsBuilt_ = 0;
};

} // namespace hid::sim
