// The simulated boards are the ground every window test stands on: their firmware and their
// platform conventions must behave like a real board's.
#include "SimulatedPlatform.h"

#include "BoardConnection.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using hid::sim::InterfaceSpec;
using hid::sim::Op;
using hid::sim::SimulatedFirmware;
using Bytes = std::vector<std::uint8_t>;

TEST(SimulatedFirmware, WriteThenReadBackReturnsEightBlocksInTheChosenOrder) {
    SimulatedFirmware firmware;
    Bytes write{0x00, 0xEE, 0x24, 0x04};
    write.resize(65);
    firmware.receive(write.data(), write.size());
    firmware.blockOrder = {2, 1, 0, 3, 4, 5, 6, 7};
    Bytes request{0x00, 0xE0, 0x00, 0x05};
    request.resize(65);
    firmware.receive(request.data(), request.size());

    Bytes answer(65, 0xAA);
    std::vector<int> bases;
    for (int read = 0; read < 8; ++read) {
        firmware.answer(answer.data(), answer.size());
        bases.push_back(answer[1]);
        if (answer[1] == 0x20) {
            EXPECT_EQ(answer[2 + 4], 0x04) << "address 0x24 is byte 6 of its block";
        }
        EXPECT_EQ(answer[0], 0);
        EXPECT_EQ(answer[34], 0) << "past the 32 values the report is zero";
    }
    EXPECT_EQ(bases, (std::vector<int>{0x40, 0x20, 0x00, 0x60, 0x80, 0xA0, 0xC0, 0xE0}));
    firmware.answer(answer.data(), answer.size());
    EXPECT_EQ(answer, Bytes(65, 0)) << "nothing more queued";
}

TEST(SimulatedFirmware, SelfTestAnswersWithItsResultOnce) {
    SimulatedFirmware firmware;
    firmware.selfTestResult = 7;
    const Bytes request{0x00, 0xE1, 0x00, 0x00};
    firmware.receive(request.data(), request.size());
    Bytes answer(65, 0);
    firmware.answer(answer.data(), answer.size());
    EXPECT_EQ(answer[1], 7);
}

class SimulatedPlatformTest : public ::testing::Test {
protected:
    hid::sim::SimulatedPlatform sim;

    hid::Handle open(hid::sim::DeviceId device, std::uint32_t flags = 0) {
        return sim.CreateFileA(sim.pathOf(device), hid::GENERIC_READ | hid::GENERIC_WRITE,
                               hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE, nullptr,
                               hid::OPEN_EXISTING, flags);
    }
};

TEST_F(SimulatedPlatformTest, HandlesOfAnUnpluggedBoardStayDeadAfterItComesBack) {
    const auto board = sim.add(InterfaceSpec{});
    const hid::Handle old = open(board);
    sim.unplug(board);
    EXPECT_EQ(open(board), hid::kInvalidHandle);
    sim.plug(board);
    hid::HiddAttributes attributes;
    EXPECT_EQ(sim.HidD_GetAttributes(old, attributes), 0);
    const hid::Handle fresh = open(board);
    EXPECT_NE(sim.HidD_GetAttributes(fresh, attributes), 0);
    EXPECT_EQ(sim.openDeviceHandles(), 2);
    sim.CloseHandle(old);
    sim.CloseHandle(fresh);
    EXPECT_EQ(sim.openDeviceHandles(), 0);
}

TEST_F(SimulatedPlatformTest, ReportsWantAtLeastTheBoardsLength) {
    InterfaceSpec spec;
    spec.featureReportLength = 33;
    spec.inputReportLength = 9;
    const auto board = sim.add(spec);
    const hid::Handle handle = open(board);
    Bytes report(65, 0);
    EXPECT_EQ(sim.HidD_GetFeature(handle, report.data(), 32), 0);
    EXPECT_NE(sim.HidD_GetFeature(handle, report.data(), 33), 0);
    std::uint32_t read = 0;
    EXPECT_EQ(sim.ReadFile(handle, report.data(), 8, &read, nullptr), 0);
    EXPECT_NE(sim.ReadFile(handle, report.data(), 9, &read, nullptr), 0);
    EXPECT_EQ(read, 9u);
    sim.setInputReports(board, hid::sim::InputReports::Idle);
    EXPECT_EQ(sim.ReadFile(handle, report.data(), 9, &read, nullptr), 0);
    sim.setInputReports(board, hid::sim::InputReports::Streaming);
    EXPECT_NE(sim.ReadFile(handle, report.data(), 9, &read, nullptr), 0);
    sim.CloseHandle(handle);
}

// Like hidraw's readers, every handle gets every report; the presence read takes all that are
// queued and keeps the newest, the wait takes them one by one.
TEST_F(SimulatedPlatformTest, PressesReachEveryHandleAsInputReports) {
    const auto board = sim.add(InterfaceSpec{});
    const hid::Handle presence = open(board, hid::FILE_FLAG_OVERLAPPED);
    const hid::Handle monitor = open(board, hid::FILE_FLAG_OVERLAPPED);
    sim.press(board, 3);
    sim.press(board, 32);
    sim.release(board, 3);

    Bytes report(5, 0xCC);
    std::uint32_t read = 0;
    ASSERT_NE(sim.ReadFile(presence, report.data(), 5, &read, nullptr), 0);
    EXPECT_EQ(report, (Bytes{0, 0, 0, 0, 0x80}));
    EXPECT_EQ(sim.WaitForInputReport(presence, report.data(), 5, read, 100),
              hid::InputWait::Timeout);

    std::vector<Bytes> taken;
    while (sim.WaitForInputReport(monitor, report.data(), 5, read, 100) == hid::InputWait::Report)
        taken.emplace_back(report.begin(), report.begin() + read);
    EXPECT_EQ(taken,
              (std::vector<Bytes>{{0, 0x04, 0, 0, 0}, {0, 0x04, 0, 0, 0x80}, {0, 0, 0, 0, 0x80}}));
    sim.unplug(board);
    EXPECT_EQ(sim.WaitForInputReport(monitor, report.data(), 5, read, 100), hid::InputWait::Failed);
    EXPECT_EQ(sim.lastError().kind, hid::PlatformError::Kind::Gone);
    sim.CloseHandle(presence);
    sim.CloseHandle(monitor);
}

// tessary32 --demo watches simulated boards for as long as its user likes.
TEST_F(SimulatedPlatformTest, InRealTimeAWaitSleepsItsTimeoutAndNoCallIsLogged) {
    sim.runInRealTime();
    const auto board = sim.add(InterfaceSpec{});
    const hid::Handle handle = open(board, hid::FILE_FLAG_OVERLAPPED);
    Bytes report(5, 0);
    std::uint32_t read = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sim.WaitForInputReport(handle, report.data(), 5, read, 30), hid::InputWait::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    sim.press(board, 1);
    EXPECT_EQ(sim.WaitForInputReport(handle, report.data(), 5, read, 30), hid::InputWait::Report);
    EXPECT_TRUE(sim.calls().empty());
    sim.CloseHandle(handle);
}

TEST_F(SimulatedPlatformTest, StringsAreCutToTheBufferAndEndInAZeroUnitWhenThereIsRoom) {
    InterfaceSpec spec;
    spec.product = u"ABCD";
    const hid::Handle handle = open(sim.add(spec));
    Bytes buffer(12, 0xFF);
    ASSERT_NE(sim.HidD_GetProductString(handle, buffer.data(), 10), 0);
    EXPECT_EQ(buffer, (Bytes{'A', 0, 'B', 0, 'C', 0, 'D', 0, 0, 0, 0xFF, 0xFF}));
    Bytes small(8, 0xFF);
    ASSERT_NE(sim.HidD_GetProductString(handle, small.data(), 5), 0);
    EXPECT_EQ(small, (Bytes{'A', 0, 'B', 0, 0xFF, 0xFF, 0xFF, 0xFF})) << "whole units only";
    sim.CloseHandle(handle);
}

TEST_F(SimulatedPlatformTest, EnumerationIsASnapshotAndChecksTheRecordSizes) {
    sim.add(InterfaceSpec{});
    const auto second = sim.add(InterfaceSpec{});
    hid::Guid guid;
    sim.HidD_GetHidGuid(guid);
    const hid::Handle set = sim.SetupDiGetClassDevsA(guid, 0x12);
    sim.unplug(second);
    hid::DeviceInterfaceData data;
    EXPECT_EQ(sim.SetupDiEnumDeviceInterfaces(set, guid, 0, data), 0) << "cbSize not set";
    data.cbSize = hid::kInterfaceDataCbSize;
    EXPECT_NE(sim.SetupDiEnumDeviceInterfaces(set, guid, 1, data), 0);
    EXPECT_EQ(sim.SetupDiEnumDeviceInterfaces(set, guid, 2, data), 0);

    std::uint32_t required = 0;
    sim.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr);
    const std::string path = sim.pathOf(second);
    ASSERT_EQ(required, 4 + path.size() + 1);
    Bytes detail(required, 0);
    EXPECT_EQ(
        sim.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), required, nullptr, nullptr),
        0)
        << "the detail record's cbSize must be set";
    detail[0] = static_cast<std::uint8_t>(hid::kDetailDataCbSize);
    ASSERT_NE(
        sim.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), required, nullptr, nullptr),
        0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(detail.data() + 4)), path);
    EXPECT_NE(sim.SetupDiDestroyDeviceInfoList(set), 0);
    EXPECT_EQ(sim.openInfoSets(), 0);
}

// A search over N interfaces makes calls in proportion to N, and each open finds its interface
// without going through the others: the demo and the tests run with thousands.
TEST(SimulatedSearch, GrowsInProportionToTheInterfaces) {
    struct Cost {
        std::size_t calls;
        std::size_t paths;
    };
    const auto search = [](int interfaces) {
        hid::sim::SimulatedPlatform sim;
        InterfaceSpec other;
        other.vendorId = 0x046D;
        for (int i = 0; i < interfaces; ++i)
            sim.add(other);
        const std::size_t pathsBefore = sim.pathsBuilt();
        hid::BoardConnection(sim).FindTheHid("0001");
        return Cost{sim.calls().size(), sim.pathsBuilt() - pathsBefore};
    };
    const Cost small = search(100);
    const Cost medium = search(200);
    const Cost large = search(400);
    EXPECT_EQ(large.calls - medium.calls, 2 * (medium.calls - small.calls));
    EXPECT_LE(large.paths, 4 * small.paths);
}

} // namespace
