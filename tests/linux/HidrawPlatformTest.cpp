// The platform's enumeration, handles and sysfs strings on a tree built in a temporary
// directory. The device nodes there are plain files, so every ioctl fails on them: those paths
// need a real hidraw node.
#include "HidrawPlatform.h"

#include "SysfsTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
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
    HidrawPlatformTest() {
        platform.setPermissionListener(
            [this](const hid::PermissionRefusal& refusal) { notices.push_back(refusal); });
    }

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
            platform.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &size, nullptr);
            std::vector<std::uint8_t> detail(size, 0);
            std::memcpy(detail.data(), &hid::kDetailDataCbSize, sizeof hid::kDetailDataCbSize);
            EXPECT_NE(platform.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), size,
                                                                &size, nullptr),
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
    std::vector<hid::PermissionRefusal> notices;
};

TEST_F(HidrawPlatformTest, EnumerationGivesDevRootPathsInNodeOrder) {
    for (const int minor : {10, 2, 0})
        addUsbBoard(minor, "S" + std::to_string(minor));
    const std::string dev = tree.dev().string();
    EXPECT_EQ(enumeratedPaths(),
              (std::vector<std::string>{dev + "/hidraw0", dev + "/hidraw2", dev + "/hidraw10"}));
}

// The listing is kept between searches while no node comes or goes.
TEST_F(HidrawPlatformTest, EnumerationSeesNodesComeAndGoBetweenSearches) {
    addUsbBoard(0, "S0");
    addUsbBoard(2, "S2");
    const std::string dev = tree.dev().string();
    EXPECT_EQ(enumeratedPaths(), (std::vector<std::string>{dev + "/hidraw0", dev + "/hidraw2"}));
    EXPECT_EQ(enumeratedPaths(), (std::vector<std::string>{dev + "/hidraw0", dev + "/hidraw2"}));
    tree.removeNode(0);
    addUsbBoard(5, "S5");
    EXPECT_EQ(enumeratedPaths(), (std::vector<std::string>{dev + "/hidraw2", dev + "/hidraw5"}));
}

// The kernel removes /dev/hidrawN before the node's sysfs entries, which raise no inotify event:
// a listing made in between is not kept once they are gone.
TEST_F(HidrawPlatformTest, ListingMadeWhileANodeWasGoingIsNotKept) {
    addUsbBoard(0, "S0");
    addUsbBoard(2, "S2");
    const std::string dev = tree.dev().string();
    EXPECT_EQ(enumeratedPaths(), (std::vector<std::string>{dev + "/hidraw0", dev + "/hidraw2"}));
    std::filesystem::remove(tree.dev() / "hidraw0");
    enumeratedPaths(); // sysfs still lists hidraw0
    tree.removeSysfsEntriesUnseen(0);
    EXPECT_EQ(enumeratedPaths(), std::vector<std::string>{dev + "/hidraw2"});
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

// A handle is made before its node is opened, and stays the board's it was made for.
TEST_F(HidrawPlatformTest, HandleOfAnUnpluggedBoardNeverReachesTheNextDeviceAtItsNode) {
    addUsbBoard(2, "TS32-0001");
    const Handle handle = open(2);
    tree.removeNode(2);
    UsbDeviceFiles files;
    files.serial = "TS32-0002";
    tree.addHidDevice(tree.addUsbDevice(4, files), "0003:1209:0001.0042", {}, 2);
    std::vector<std::uint8_t> report(65, 0);
    EXPECT_EQ(platform.HidD_GetFeature(handle, report.data(), 65), 0);
    EXPECT_EQ(platform.lastError().kind, hid::PlatformError::Kind::Gone);
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
    EXPECT_TRUE(notices.empty());
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

// A FIFO stands in for the node, so that poll() has something to wait for.
TEST_F(HidrawPlatformTest, WaitTakesTheNextReportOrTimesOut) {
    addUsbBoard(5, "S");
    const std::string node = (tree.dev() / "hidraw5").string();
    std::filesystem::remove(node);
    ASSERT_EQ(::mkfifo(node.c_str(), 0600), 0);
    const Handle handle = open(5, hid::FILE_FLAG_OVERLAPPED);
    ASSERT_NE(handle, kInvalidHandle);
    std::vector<std::uint8_t> buffer(8, 0xCC);
    std::uint32_t bytesRead = 99;
    EXPECT_EQ(platform.WaitForInputReport(handle, buffer.data(), 8, bytesRead, 10),
              hid::InputWait::Timeout);
    EXPECT_EQ(bytesRead, 0u);

    const int writer = ::open(node.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "\x01\x02\x03", 3), 3);
    EXPECT_EQ(platform.WaitForInputReport(handle, buffer.data(), 8, bytesRead, 10000),
              hid::InputWait::Report);
    EXPECT_EQ(bytesRead, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 4),
              (std::vector<std::uint8_t>{1, 2, 3, 0xCC}));
    ::close(writer);
    platform.CloseHandle(handle);
    EXPECT_EQ(platform.WaitForInputReport(handle, buffer.data(), 8, bytesRead, 10),
              hid::InputWait::Failed);
}

// The stand-in node answers no ioctl, as a device that is not hidraw would not; its attributes
// come from sysfs, but it tells no capabilities and takes no report.
TEST_F(HidrawPlatformTest, NodeThatAnswersNoIoctlIsNoBoard) {
    addUsbBoard(1, "S");
    const Handle handle = open(1);
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
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].path, tree.dev().string() + "/hidraw5");
}

// A stand-in node that is a FIFO: open and empty, a read finds nothing queued (EAGAIN), as on
// a board that sends reports only on change.
TEST_F(HidrawPlatformTest, IdleBoardCountsAsPresentAndItsReportsAreRead) {
    addUsbBoard(6, "S");
    const auto node = tree.dev() / "hidraw6";
    std::filesystem::remove(node);
    ASSERT_EQ(::mkfifo(node.c_str(), 0600), 0);
    const Handle handle = open(6, hid::FILE_FLAG_OVERLAPPED);
    ASSERT_NE(handle, kInvalidHandle);
    std::vector<std::uint8_t> buffer(8, 0xCC);
    std::uint32_t bytesRead = 99;
    hid::Overlapped overlapped;
    EXPECT_NE(platform.ReadFile(handle, buffer.data(), 8, &bytesRead, &overlapped), 0);
    EXPECT_EQ(bytesRead, 0u);

    std::ofstream(node, std::ios::binary) << "\x04\x05";
    EXPECT_NE(platform.ReadFile(handle, buffer.data(), 8, &bytesRead, &overlapped), 0);
    EXPECT_EQ(bytesRead, 2u);
    EXPECT_EQ(buffer[1], 5);
    platform.CloseHandle(handle);
}

struct ErrnoKind {
    int error;
    hid::PlatformError::Kind kind;
};

TEST(HidrawErrors, ErrnoTellsWhatBecameOfTheDevice) {
    using Kind = hid::PlatformError::Kind;
    for (const auto& [error, kind] :
         {ErrnoKind{EACCES, Kind::PermissionDenied}, ErrnoKind{EPERM, Kind::PermissionDenied},
          ErrnoKind{ENOENT, Kind::NotFound}, ErrnoKind{ENXIO, Kind::NotFound},
          ErrnoKind{ENODEV, Kind::Gone}, ErrnoKind{EIO, Kind::Gone},
          ErrnoKind{EPIPE, Kind::Refused}, ErrnoKind{EINVAL, Kind::Refused},
          ErrnoKind{ENOTTY, Kind::Refused}, ErrnoKind{EBADF, Kind::Other}})
        EXPECT_EQ(hid::errorKind(error), kind) << std::strerror(error);
}

TEST_F(HidrawPlatformTest, FailedCallKeepsItsReasonAndDevice) {
    const std::string missing = (tree.dev() / "hidraw9").string();
    EXPECT_EQ(open(9), kInvalidHandle);
    EXPECT_EQ(platform.lastError().kind, hid::PlatformError::Kind::NotFound);
    EXPECT_EQ(platform.lastError().device, missing);

    addUsbBoard(1, "S");
    const Handle handle = open(1);
    hid::PreparsedData preparsed = 0;
    EXPECT_EQ(platform.HidD_GetPreparsedData(handle, preparsed), 0);
    EXPECT_EQ(platform.lastError().kind, hid::PlatformError::Kind::Refused);
    EXPECT_EQ(platform.lastError().code, ENOTTY);
    EXPECT_EQ(platform.lastError().device, (tree.dev() / "hidraw1").string());
    platform.CloseHandle(handle);
}

// The kernel's side of the ioctls, as a board with a scripted answer would give it.
class ScriptedKernel : public HidrawPlatform {
public:
    using HidrawPlatform::HidrawPlatform;

    std::vector<std::uint8_t> descriptor;
    std::vector<std::uint8_t> featureAnswer; // what HIDIOCGFEATURE copies back
    int setFeatureTakes = -1;                // what HIDIOCSFEATURE accepts; -1: all

protected:
    int control(int, unsigned long request, void* argument) override {
        if (request == HIDIOCGRDESCSIZE) {
            *static_cast<int*>(argument) = static_cast<int>(descriptor.size());
            return 0;
        }
        if (request == HIDIOCGRDESC)
            return copyDescriptor(*static_cast<hidraw_report_descriptor*>(argument));
        const auto length = static_cast<int>(_IOC_SIZE(request));
        if (request == HIDIOCGFEATURE(length)) {
            const auto count = std::min<std::size_t>(featureAnswer.size(), length);
            std::memcpy(argument, featureAnswer.data(), count);
            return static_cast<int>(count);
        }
        if (request == HIDIOCSFEATURE(length))
            return setFeatureTakes < 0 ? length : setFeatureTakes;
        return -ENOTTY;
    }

private:
    // Like the kernel, it refuses a request for more than 4095 bytes.
    int copyDescriptor(hidraw_report_descriptor& out) const {
        if (out.size > HID_MAX_DESCRIPTOR_SIZE - 1 || out.size > descriptor.size())
            return -EINVAL;
        std::memcpy(out.value, descriptor.data(), out.size);
        return 0;
    }
};

class HidrawKernelTest : public HidrawPlatformTest {
protected:
    HidrawKernelTest() {
        addUsbBoard(1, "S");
        handle = kernel.CreateFileA((tree.dev() / "hidraw1").string(), kReadWrite, kShared, nullptr,
                                    hid::OPEN_EXISTING, 0);
    }
    ~HidrawKernelTest() override { kernel.CloseHandle(handle); }

    ScriptedKernel kernel{tree.sys().string(), tree.dev().string()};
    Handle handle = kInvalidHandle;
};

TEST_F(HidrawKernelTest, ShortFeatureAnswerLeavesNoStaleBytes) {
    std::vector<std::uint8_t> report(65, 0);
    kernel.featureAnswer.assign(65, 0xAA);
    ASSERT_NE(kernel.HidD_GetFeature(handle, report.data(), 65), 0);
    kernel.featureAnswer = {0x00, 0x11, 0x22};
    ASSERT_NE(kernel.HidD_GetFeature(handle, report.data(), 65), 0);
    std::vector<std::uint8_t> expected(65, 0);
    expected[1] = 0x11;
    expected[2] = 0x22;
    EXPECT_EQ(report, expected);
}

TEST_F(HidrawKernelTest, FeatureReportTakenInPartWasNotSent) {
    std::vector<std::uint8_t> report(65, 0);
    kernel.setFeatureTakes = 64;
    EXPECT_EQ(kernel.HidD_SetFeature(handle, report.data(), 65), 0);
    EXPECT_EQ(kernel.lastError().kind, hid::PlatformError::Kind::Refused);
    kernel.setFeatureTakes = 65;
    EXPECT_NE(kernel.HidD_SetFeature(handle, report.data(), 65), 0);
}

// 4096 bytes, the kernel's maximum: the Feature item's data is the very last byte, so a
// descriptor cut by one byte is malformed.
TEST_F(HidrawKernelTest, DescriptorOfTheMaximumSizeIsReadWholeFromSysfs) {
    std::vector<std::uint8_t> descriptor{0x75, 0x08, 0x95, 0x40}; // Report Size 8, Count 64
    while (descriptor.size() < HID_MAX_DESCRIPTOR_SIZE - 2)
        descriptor.insert(descriptor.end(), {0x09, 0x01}); // Usage 1
    descriptor.insert(descriptor.end(), {0xB1, 0x02});     // Feature (Data, Var, Abs)
    ASSERT_EQ(descriptor.size(), std::size_t{HID_MAX_DESCRIPTOR_SIZE});
    kernel.descriptor = descriptor;
    tree.write(tree.sys() / "class/hidraw/hidraw1/device/report_descriptor",
               std::string(descriptor.begin(), descriptor.end()));

    hid::PreparsedData preparsed = 0;
    ASSERT_NE(kernel.HidD_GetPreparsedData(handle, preparsed), 0);
    hid::HidpCaps caps;
    ASSERT_EQ(kernel.HidP_GetCaps(preparsed, caps), hid::HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.FeatureReportByteLength, 65);
    kernel.HidD_FreePreparsedData(preparsed);
}

} // namespace
