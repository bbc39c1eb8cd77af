// The platform's enumeration, handles and sysfs strings on a tree built in a temporary
// directory. The device nodes there are plain files, so every ioctl fails on them: those paths
// need a real hidraw node.
#include "HidrawPlatform.h"

#include "SysfsTree.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using hid::Handle;
using hid::HidrawPlatform;
using hid::kInvalidHandle;
using test::SysfsTree;
using test::UsbDeviceFiles;

constexpr std::uint32_t kReadWrite = hid::GENERIC_READ | hid::GENERIC_WRITE;
constexpr std::uint32_t kShared = hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE;

class HidrawPlatformTest : public ::testing::Test {
protected:
    HidrawPlatformTest() { platform.setPermissionNoticeStream(&notices); }

    Handle open(int minor, std::uint32_t flags = 0) {
        return platform.CreateFileA((tree.dev() / test::nodeName(minor)).string(), kReadWrite,
                                    kShared, nullptr, hid::OPEN_EXISTING, flags);
    }

    // The device paths, by the enumeration calls the interface walk makes.
    std::vector<std::string> enumeratedPaths() {
        hid::Guid guid;
        platform.HidD_GetHidGuid(guid);
        const Handle set =
            platform.SetupDiGetClassDevsA(guid, hid::DIGCF_PRESENT | hid::DIGCF_DEVICEINTERFACE);
        std::vector<std::string> paths;
        hid::DeviceInterfaceData data;
        data.cbSize = hid::kInterfaceDataCbSize;
        for (std::uint32_t i = 0; platform.SetupDiEnumDeviceInterfaces(set, guid, i, data); ++i) {
            std::uint32_t size = 0;
            platform.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &size);
            std::vector<std::uint8_t> detail(size, 0);
            std::memcpy(detail.data(), &hid::kDetailDataCbSize, sizeof hid::kDetailDataCbSize);
            EXPECT_NE(
                platform.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), size, &size),
                0);
            paths.emplace_back(reinterpret_cast<const char*>(detail.data() + 4));
        }
        EXPECT_NE(platform.SetupDiDestroyDeviceInfoList(set), 0);
        return paths;
    }

    void addUsbBoard(int minor, const std::string& serial) {
        UsbDeviceFiles files;
        files.serial = serial;
        files.manufacturer = "Tessary GmbH \xE2\x80\x93 M\xC3\xBCnchen"; // en dash, u umlaut
        files.product = "Tessary-32";
        tree.addHidDevice(tree.addUsbDevice(minor + 1, files),
                          "0003:1209:0001.000" + std::to_string(minor), {}, minor);
    }

    SysfsTree tree;
    HidrawPlatform platform{tree.sys().string(), tree.dev().string()};
    std::ostringstream notices;
};

TEST_F(HidrawPlatformTest, EnumerationGivesDevRootPathsInNodeOrder) {
    for (const int minor : {10, 2, 0})
        addUsbBoard(minor, "S" + std::to_string(minor));
    const std::string dev = tree.dev().string();
    EXPECT_EQ(enumeratedPaths(),
              (std::vector<std::string>{dev + "/hidraw0", dev + "/hidraw2", dev + "/hidraw10"}));
}

TEST_F(HidrawPlatformTest, StringsComeFromSysfsAsUtf16) {
    addUsbBoard(3, "TS32-0042");
    const Handle handle = open(3);
    ASSERT_NE(handle, kInvalidHandle);

    std::vector<std::uint8_t> buffer(100, 0xCC);
    ASSERT_NE(platform.HidD_GetManufacturerString(handle, buffer.data(), 100), 0);
    const std::u16string expected = u"Tessary GmbH \u2013 M\u00FCnchen";
    std::u16string got;
    for (std::size_t i = 0; i + 1 < buffer.size() && (buffer[i] | buffer[i + 1]) != 0; i += 2)
        got.push_back(static_cast<char16_t>(buffer[i] | buffer[i + 1] << 8));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(platform.CloseHandle(handle), 1);
}

TEST_F(HidrawPlatformTest, DeviceWithoutUsbParentHasNoManufacturer) {
    tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.0001",
                      {"0003:00001209:00000001", "Bench", "B1"}, 1);
    const Handle handle = open(1);
    std::vector<std::uint8_t> buffer(100, 0);
    EXPECT_EQ(platform.HidD_GetManufacturerString(handle, buffer.data(), 100), 0);
    EXPECT_NE(platform.HidD_GetSerialNumberString(handle, buffer.data(), 100), 0);
    EXPECT_EQ(buffer[0], 'B');
    EXPECT_EQ(buffer[2], '1');
    platform.CloseHandle(handle);
}

TEST_F(HidrawPlatformTest, UnpluggedBoardHasNoStrings) {
    addUsbBoard(2, "TS32-0001");
    const Handle handle = open(2);
    tree.removeNode(2);
    std::vector<std::uint8_t> buffer(100, 0);
    EXPECT_EQ(platform.HidD_GetSerialNumberString(handle, buffer.data(), 100), 0);
    EXPECT_EQ(platform.HidD_GetProductString(handle, buffer.data(), 100), 0);
    platform.CloseHandle(handle);
}

// "A€😀" is 1 + 1 + 2 code units: 8 bytes.
struct Cut {
    const char* name;
    std::uint32_t bufferLength;
    std::vector<std::uint8_t> written; // the rest of the buffer stays as it was
};

void PrintTo(const Cut& param, std::ostream* out) {
    *out << param.name;
}

class SerialCut : public HidrawPlatformTest, public ::testing::WithParamInterface<Cut> {};

TEST_P(SerialCut, NeverWritesPastTheLengthAndEndsWithZeroWhenThereIsRoom) {
    addUsbBoard(1, "A\xE2\x82\xAC\xF0\x9F\x98\x80");
    const Handle handle = open(1);
    std::vector<std::uint8_t> buffer(16, 0xCC);
    ASSERT_NE(platform.HidD_GetSerialNumberString(handle, buffer.data(), GetParam().bufferLength),
              0);
    std::vector<std::uint8_t> expected = GetParam().written;
    expected.resize(buffer.size(), 0xCC);
    EXPECT_EQ(buffer, expected);
    platform.CloseHandle(handle);
}

INSTANTIATE_TEST_SUITE_P(
    HidrawPlatform, SerialCut,
    ::testing::Values(
        Cut{"RoomToSpare", 16, {0x41, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}},
        Cut{"ExactlyTheZeroUnit", 10, {0x41, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}},
        Cut{"NoRoomForZero", 9, {0x41, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}},
        Cut{"TextFillsIt", 8, {0x41, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}},
        Cut{"CutInsideThePair", 6, {0x41, 0, 0xAC, 0x20, 0x3D, 0xD8}},
        Cut{"OddLength", 3, {0x41, 0}}, Cut{"Nothing", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidrawPlatformTest, HandlesAreClosedOnceAndCounted) {
    addUsbBoard(1, "S");
    const Handle first = open(1);
    const Handle second = open(1, hid::FILE_FLAG_OVERLAPPED);
    ASSERT_NE(first, kInvalidHandle);
    ASSERT_NE(second, kInvalidHandle);
    EXPECT_NE(first, second);
    EXPECT_EQ(platform.openDeviceHandles(), 2);
    EXPECT_EQ(platform.CloseHandle(first), 1);
    EXPECT_EQ(platform.CloseHandle(first), 0);
    EXPECT_EQ(platform.CloseHandle(kInvalidHandle), 0);
    EXPECT_EQ(platform.openDeviceHandles(), 1);
    std::vector<std::uint8_t> buffer(100, 0);
    EXPECT_EQ(platform.HidD_GetSerialNumberString(first, buffer.data(), 100), 0);
    platform.CloseHandle(second);
}

TEST_F(HidrawPlatformTest, EventsAreTokensThatCloseOnce) {
    const Handle a = platform.CreateEventA(nullptr, 1, 1, "");
    const Handle b = platform.CreateEventA(nullptr, 1, 1, "");
    EXPECT_NE(a, 0);
    EXPECT_NE(a, kInvalidHandle);
    EXPECT_NE(a, b);
    EXPECT_EQ(platform.CloseHandle(a), 1);
    EXPECT_EQ(platform.CloseHandle(a), 0);
    EXPECT_EQ(platform.openDeviceHandles(), 0);
}

TEST_F(HidrawPlatformTest, MissingNodeCannotBeOpenedAndIsNotReported) {
    EXPECT_EQ(open(7), kInvalidHandle);
    EXPECT_EQ(platform.openDeviceHandles(), 0);
    EXPECT_EQ(notices.str(), "");
}

TEST_F(HidrawPlatformTest, ReadCompletesOnlyWhileDataIsThere) {
    addUsbBoard(4, "S");
    std::ofstream(tree.dev() / "hidraw4", std::ios::binary) << "\x01\x02\x03";
    const Handle handle = open(4, hid::FILE_FLAG_OVERLAPPED);
    std::vector<std::uint8_t> buffer(8, 0xCC);
    std::uint32_t bytesRead = 99;
    hid::Overlapped overlapped;
    ASSERT_NE(platform.ReadFile(handle, buffer.data(), 8, &bytesRead, &overlapped), 0);
    EXPECT_EQ(bytesRead, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 4),
              (std::vector<std::uint8_t>{1, 2, 3, 0xCC}));
    EXPECT_EQ(platform.ReadFile(handle, buffer.data(), 8, &bytesRead, &overlapped), 0);
    EXPECT_EQ(bytesRead, 0u);
    platform.CloseHandle(handle);
}

// The stand-in node answers no ioctl, as a device that is not hidraw would not.
TEST_F(HidrawPlatformTest, NodeThatAnswersNoIoctlIsNoBoard) {
    addUsbBoard(1, "S");
    const Handle handle = open(1);
    hid::HiddAttributes attributes;
    EXPECT_EQ(platform.HidD_GetAttributes(handle, attributes), 0);
    EXPECT_EQ(attributes.VendorID, 0);
    hid::PreparsedData preparsed = 0;
    EXPECT_EQ(platform.HidD_GetPreparsedData(handle, preparsed), 0);
    hid::HidpCaps caps;
    EXPECT_NE(platform.HidP_GetCaps(preparsed, caps), hid::HIDP_STATUS_SUCCESS);
    EXPECT_EQ(platform.HidD_FreePreparsedData(preparsed), 0);
    std::vector<std::uint8_t> report(65, 0);
    EXPECT_EQ(platform.HidD_GetFeature(handle, report.data(), 65), 0);
    EXPECT_EQ(platform.HidD_SetFeature(handle, report.data(), 65), 0);
    platform.CloseHandle(handle);
}

// Root opens anything, so this one needs an ordinary user to mean something.
TEST_F(HidrawPlatformTest, BoardWithoutPermissionIsReportedOnceAcrossScans) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root is never refused";
    addUsbBoard(5, "S");
    ::chmod((tree.dev() / "hidraw5").c_str(), 0);
    EXPECT_EQ(open(5), kInvalidHandle);
    EXPECT_EQ(open(5), kInvalidHandle);
    const std::string told = notices.str();
    EXPECT_NE(told.find(tree.dev().string() + "/hidraw5"), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}

} // namespace
