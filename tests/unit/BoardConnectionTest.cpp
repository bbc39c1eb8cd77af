// Finding and opening boards: the walk over the HID interfaces, the board test, the serial
// text, the two handles, the capabilities and the read event, over simulated interfaces.
#include "BoardConnection.h"

#include "SimulatedPlatform.h"

#include <gtest/gtest.h>

namespace {

using hid::BoardConnection;
using hid::sim::DeviceId;
using hid::sim::InterfaceSpec;
using hid::sim::Op;

class BoardConnectionTest : public ::testing::Test {
protected:
    hid::sim::SimulatedPlatform sim;
    BoardConnection connection{sim};

    DeviceId addBoard(std::optional<std::u16string> serial) {
        InterfaceSpec spec;
        spec.serial = std::move(serial);
        return sim.add(spec);
    }

    // The serial texts of the boards, in enumeration order, as a scan lists them.
    std::vector<std::string> listSerials() {
        std::vector<std::string> serials;
        connection.walkInterfaces([&] {
            if (auto serial = connection.serialText())
                serials.push_back(*serial);
            return BoardConnection::AfterBoard::CloseAndContinue;
        });
        return serials;
    }

    DeviceId openDevice() const { return sim.deviceBehind(connection.featureHandle); }

    void TearDown() override {
        if (connection.deviceAttached)
            connection.closeBoard();
        EXPECT_EQ(sim.readMisuses(), hid::sim::ReadMisuses{});
        EXPECT_EQ(sim.readsInFlight(), 0);
        EXPECT_EQ(sim.openDeviceHandles(), 0);
        EXPECT_EQ(sim.openInfoSets(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
    }
};

TEST_F(BoardConnectionTest, SerialTextTakesTheLowByteOfEachUnitUpToTheFirstZero) {
    struct Case {
        std::u16string serial;
        std::string text;
    };
    const std::vector<Case> cases{
        {u"ABC123", "ABC123"},
        {u"", ""},
        {u"\u0141BC", "ABC"}, // the high byte is dropped
        {u"A\u0100B", "A"},   // a unit whose low byte is 0 ends the text
        {u"\u00E9t\u00E9", "\xE9t\xE9"},
        {std::u16string(60, u'7'), std::string(50, '7')}, // the query is given 100 bytes
    };
    for (const Case& c : cases)
        addBoard(c.serial);
    const std::vector<std::string> serials = listSerials();
    ASSERT_EQ(serials.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(serials[i], cases[i].text) << "case " << i;
}

TEST_F(BoardConnectionTest, ShorterSerialAfterALongerOneIsNotMixedWithIt) {
    addBoard(u"LONGSERIAL");
    addBoard(u"AB");
    EXPECT_EQ(listSerials(), (std::vector<std::string>{"LONGSERIAL", "AB"}));
}

TEST_F(BoardConnectionTest, OnlyTheFamilysVendorAndFourProductsAreBoards) {
    const std::vector<std::pair<std::uint16_t, std::uint16_t>> identities{
        {0x1209, 0x0001}, {0x1209, 0x0002}, {0x1209, 0x0003}, {0x1209, 0x0004},
        {0x1209, 0x0005}, {0x1209, 0x0000}, {0x046D, 0x0001}};
    for (const auto& [vendor, product] : identities) {
        InterfaceSpec spec;
        spec.vendorId = vendor;
        spec.productId = product;
        spec.serial = u"P" + std::u16string(1, char16_t(u'0' + product));
        sim.add(spec);
    }
    EXPECT_EQ(listSerials(), (std::vector<std::string>{"P1", "P2", "P3", "P4"}));
    // Other devices are closed at once: their serial number is never asked for.
    EXPECT_EQ(sim.callsOf(Op::HidD_GetSerialNumberString).size(), 4u);
}

TEST_F(BoardConnectionTest, InterfaceWhoseAttributesFailIsNotABoardAndTheWalkGoesOn) {
    addBoard(u"BEFORE");
    const DeviceId silent = addBoard(u"SILENT");
    addBoard(u"AFTER");
    sim.setFailing(Op::HidD_GetAttributes, true, silent);
    EXPECT_EQ(listSerials(), (std::vector<std::string>{"BEFORE", "AFTER"}));
}

TEST_F(BoardConnectionTest, InterfaceThatCannotBeOpenedContributesNothing) {
    const DeviceId locked = addBoard(u"LOCKED");
    addBoard(u"OPEN");
    sim.setFailing(Op::CreateFileA, true, locked);
    EXPECT_EQ(listSerials(), std::vector<std::string>{"OPEN"});
}

TEST_F(BoardConnectionTest, BoardWhoseSerialQueryFailsIsNotListed) {
    addBoard(std::nullopt);
    addBoard(u"OK");
    EXPECT_EQ(listSerials(), std::vector<std::string>{"OK"});
}

TEST_F(BoardConnectionTest, NoInterfacesWhenTheSetCannotBeMade) {
    addBoard(u"A");
    sim.setFailing(Op::SetupDiGetClassDevsA);
    EXPECT_TRUE(listSerials().empty());
    EXPECT_TRUE(connection.enumerationDone);
}

TEST_F(BoardConnectionTest, FindOpensTheFirstBoardWithTheSerialAndReadsItsCapabilities) {
    InterfaceSpec other;
    other.vendorId = 0x1234;
    sim.add(other);
    const DeviceId first = addBoard(u"TWIN");
    const DeviceId second = addBoard(u"TWIN");
    sim.spec(first).inputReportLength = 9;
    sim.spec(first).featureReportLength = 33;

    ASSERT_TRUE(connection.FindTheHid("TWIN"));
    EXPECT_TRUE(connection.deviceAttached);
    EXPECT_EQ(openDevice(), first);
    EXPECT_EQ(sim.deviceBehind(connection.readHandle), first);
    EXPECT_EQ(connection.devicePath, sim.pathOf(first));
    EXPECT_EQ(connection.capabilities.InputReportByteLength, 9);
    EXPECT_EQ(connection.capabilities.FeatureReportByteLength, 33);
    EXPECT_EQ(sim.openDeviceHandles(), 2);
    // The walk stopped at the match: the second twin was never opened.
    for (const auto& call : sim.callsOf(Op::CreateFileA))
        EXPECT_NE(call.device, second);
    const auto opens = sim.callsOf(Op::CreateFileA);
    EXPECT_EQ(opens.back().length, hid::FILE_FLAG_OVERLAPPED) << "the read handle is overlapped";
    EXPECT_EQ(opens[opens.size() - 2].length, 0u) << "the feature handle is not";
}

TEST_F(BoardConnectionTest, FailedFindLeavesNoHandleAndTheStateAsItWas) {
    addBoard(u"A");
    addBoard(u"B");
    connection.capabilities.FeatureReportByteLength = 17;
    EXPECT_FALSE(connection.FindTheHid("C"));
    EXPECT_FALSE(connection.deviceAttached);
    EXPECT_EQ(sim.openDeviceHandles(), 0);
    EXPECT_EQ(connection.capabilities.FeatureReportByteLength, 17);
    EXPECT_EQ(connection.readEvent, 0);
}

TEST_F(BoardConnectionTest, EmptySerialTextMatchesOnlyABoardWithAnEmptySerial) {
    addBoard(u"A");
    EXPECT_FALSE(connection.FindTheHid(""));
    const DeviceId blank = addBoard(u"");
    ASSERT_TRUE(connection.FindTheHid(""));
    EXPECT_EQ(openDevice(), blank);
}

TEST_F(BoardConnectionTest, ReadEventIsCreatedOnceAndReusedByEveryOpen) {
    addBoard(u"A");
    ASSERT_TRUE(connection.FindTheHid("A"));
    const hid::Handle event = connection.readEvent;
    EXPECT_NE(event, 0);
    connection.readOverlapped.Offset = 99;
    connection.closeBoard();
    ASSERT_TRUE(connection.FindTheHid("A"));
    EXPECT_EQ(connection.readEvent, event);
    EXPECT_EQ(connection.readOverlapped.hEvent, event);
    EXPECT_EQ(connection.readOverlapped.Offset, 0u);
    EXPECT_EQ(sim.eventsCreated(), 1);
}

// Report lengths are never guesses: a board whose capabilities cannot be read is not opened,
// and no earlier board's lengths survive into the next open.
TEST_F(BoardConnectionTest, BoardWhoseCapabilitiesCannotBeReadIsNotOpened) {
    for (const Op failing : {Op::HidD_GetPreparsedData, Op::HidP_GetCaps}) {
        SCOPED_TRACE(hid::sim::opName(failing));
        sim = {};
        addBoard(u"A");
        connection.capabilities.FeatureReportByteLength = 21;
        sim.setFailing(failing);
        EXPECT_FALSE(connection.FindTheHid("A"));
        EXPECT_EQ(connection.capabilities.FeatureReportByteLength, 0);
        EXPECT_EQ(sim.openDeviceHandles(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
        sim.setFailing(failing, false);
        ASSERT_TRUE(connection.FindTheHid("A")) << "the next attempt opens it";
        EXPECT_EQ(connection.capabilities.FeatureReportByteLength, 65);
        connection.closeBoard();
        connection.deviceAttached = false;
    }
}

// The walk goes on to the end of the enumeration, however many interfaces come first.
TEST_F(BoardConnectionTest, WalkReachesABoardBehindManyOtherInterfaces) {
    for (int i = 0; i < 40; ++i) {
        InterfaceSpec mouse;
        mouse.vendorId = 0x046D;
        sim.add(mouse);
    }
    const DeviceId last = addBoard(u"LAST");
    ASSERT_TRUE(connection.FindTheHid("LAST"));
    EXPECT_EQ(openDevice(), last);
}

TEST_F(BoardConnectionTest, BoardUnpluggedDuringTheWalkIsSkipped) {
    const DeviceId gone = addBoard(u"GONE");
    addBoard(u"HERE");
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::SetupDiEnumDeviceInterfaces)
            sim.unplug(gone);
    };
    EXPECT_EQ(listSerials(), std::vector<std::string>{"HERE"});
}

// The interfaces the walk opened, in order.
std::vector<DeviceId> opened(const hid::sim::SimulatedPlatform& sim) {
    std::vector<DeviceId> devices;
    for (const auto& call : sim.callsOf(Op::CreateFileA))
        devices.push_back(call.device);
    return devices;
}

// An interface whose hardware IDs name another vendor or product is never opened; one whose
// IDs cannot be read is opened and judged by its attributes, as before.
TEST_F(BoardConnectionTest, InterfacesOutsideTheFamilyAreToldByTheirHardwareIdsUnopened) {
    const DeviceId board = addBoard(u"A");
    InterfaceSpec keyboard;
    keyboard.vendorId = 0x046D;
    const DeviceId mouse = sim.add(keyboard);
    keyboard.vendorId = hid::kBoardVendorId;
    keyboard.productId = 0x0077;
    sim.add(keyboard);
    keyboard.vendorId = 0x045E;
    const DeviceId unread = sim.add(keyboard);
    const DeviceId last = addBoard(u"B");
    sim.setFailing(Op::SetupDiGetDeviceRegistryPropertyA, true, unread);

    EXPECT_EQ(listSerials(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(opened(sim), (std::vector<DeviceId>{board, unread, last}));
    (void)mouse;
}

// One presence check per step, over a board whose reads pend while it is idle: the calls each
// check makes and what it finds. "=" gives each call's result.
TEST_F(BoardConnectionTest, PresenceReadIsKeptInFlightAndEndedBeforeTheHandlesClose) {
    enum class Step { Check, Idle, Stream, Press, Unplug, Close };
    struct Case {
        const char* name;
        std::vector<std::pair<Step, std::string>> steps; // a step and the calls it makes
        std::vector<bool> found;                         // what each check found
    };
    const std::string close = "CloseHandle=1 CloseHandle=1";
    const std::vector<Case> cases{
        {"streaming: every read completes at once",
         {{Step::Check, "ReadFile=1"}, {Step::Check, "ReadFile=1"}, {Step::Close, close}},
         {true, true}},
        {"idle: the read pends, and pending means present",
         {{Step::Idle, ""},
          {Step::Check, "ReadFile=0"},
          {Step::Check, "GetOverlappedResult=0"},
          {Step::Check, "GetOverlappedResult=0"}},
         {true, true, true}},
        {"a report ends the wait: present, and the next read is started",
         {{Step::Idle, ""},
          {Step::Check, "ReadFile=0"},
          {Step::Press, ""},
          {Step::Check, "GetOverlappedResult=1 ReadFile=0"},
          {Step::Stream, ""},
          {Step::Check, "GetOverlappedResult=1 ReadFile=1"}},
         {true, true, true}},
        {"unplugged while a read is pending: lost, and nothing left to cancel",
         {{Step::Idle, ""},
          {Step::Check, "ReadFile=0"},
          {Step::Unplug, ""},
          {Step::Check, "GetOverlappedResult=0"},
          {Step::Close, close}},
         {true, false}},
        {"closed while a read is pending: cancelled and waited for first",
         {{Step::Idle, ""},
          {Step::Check, "ReadFile=0"},
          {Step::Close, "CancelIoEx=1 GetOverlappedResult=0 " + close}},
         {true}},
        {"unplugged before the first read: lost at once",
         {{Step::Unplug, ""}, {Step::Check, "ReadFile=0"}},
         {false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = {};
        const DeviceId board = addBoard(u"A");
        ASSERT_TRUE(connection.FindTheHid("A"));
        std::vector<bool> found;
        for (const auto& [step, calls] : c.steps) {
            sim.clearCalls();
            switch (step) {
            case Step::Check:
                found.push_back(connection.checkPresence());
                break;
            case Step::Idle:
            case Step::Stream:
                sim.setInputReady(board, step == Step::Stream);
                break;
            case Step::Press:
                sim.press(board, 1);
                break;
            case Step::Unplug:
                sim.unplug(board);
                break;
            case Step::Close:
                connection.closeBoard();
                connection.deviceAttached = false;
                break;
            }
            std::string made;
            for (const auto& call : sim.calls())
                made += std::string(made.empty() ? "" : " ") + hid::sim::opName(call.op) + "=" +
                        std::to_string(call.result);
            EXPECT_EQ(made, calls);
        }
        EXPECT_EQ(found, c.found);
        if (connection.deviceAttached)
            connection.closeBoard();
        connection.deviceAttached = false;
        EXPECT_EQ(sim.readMisuses(), hid::sim::ReadMisuses{});
        EXPECT_EQ(sim.readsInFlight(), 0);
    }
}

} // namespace
