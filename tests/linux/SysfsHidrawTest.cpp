#include "SysfsHidraw.h"

#include "SysfsTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using hid::HidId;
using hid::SysfsHidraw;
using test::HidUevent;
using test::SysfsTree;
using test::UsbDeviceFiles;

class SysfsHidrawTest : public ::testing::Test {
protected:
    UsbDeviceFiles usbBoard() const {
        UsbDeviceFiles files;
        files.serial = "TS32-0042";
        files.manufacturer = "Tessary";
        files.product = "Tessary-32 Kelmora";
        return files;
    }

    SysfsTree tree;
    SysfsHidraw sysfs{tree.sys()};
};

TEST_F(SysfsHidrawTest, UsbBoardIsDescribedByItsUsbDevice) {
    const auto interface = tree.addUsbDevice(2, usbBoard());
    const auto hidDir = tree.addHidDevice(interface, "0003:1209:0001.0004",
                                          {"0003:00001209:00000001", "Other Name", "other"}, 3);
    tree.addInputChild(hidDir, 7, "0111");

    EXPECT_EQ(sysfs.hidId("hidraw3"), (HidId{0x0003, 0x1209, 0x0001}));
    EXPECT_EQ(sysfs.versionNumber("hidraw3"), 0x0103);
    EXPECT_EQ(sysfs.serialNumber("hidraw3"), "TS32-0042");
    EXPECT_EQ(sysfs.manufacturer("hidraw3"), "Tessary");
    EXPECT_EQ(sysfs.product("hidraw3"), "Tessary-32 Kelmora");
}

TEST_F(SysfsHidrawTest, UsbStringsTheDeviceLacksAreMissing) {
    UsbDeviceFiles files;
    files.product = "";
    tree.addHidDevice(tree.addUsbDevice(1, files), "0003:1209:0002.0001",
                      {"0003:00001209:00000002", "Name", "uniq"}, 0);

    EXPECT_EQ(sysfs.serialNumber("hidraw0"), std::nullopt);
    EXPECT_EQ(sysfs.manufacturer("hidraw0"), std::nullopt);
    EXPECT_EQ(sysfs.product("hidraw0"), ""); // there, but empty
}

// A FIFO with no writer would block an open made without O_NONBLOCK and read as empty after.
TEST_F(SysfsHidrawTest, StringsThatAreNoFilesAreMissingWithoutBlocking) {
    const auto interface = tree.addUsbDevice(1, UsbDeviceFiles{});
    tree.addHidDevice(interface, "0003:1209:0001.0001", {}, 0);
    ASSERT_EQ(::mkfifo((interface.parent_path() / "serial").c_str(), 0600), 0);
    std::filesystem::create_directory(interface.parent_path() / "product");

    EXPECT_EQ(sysfs.serialNumber("hidraw0"), std::nullopt);
    EXPECT_EQ(sysfs.product("hidraw0"), std::nullopt);
    EXPECT_EQ(sysfs.versionNumber("hidraw0"), 0x0103);
}

TEST_F(SysfsHidrawTest, DeviceWithoutUsbParentIsDescribedByItsUevent) {
    // uhid lets user space claim the USB bus; there is still no USB device above it.
    const auto hidDir = tree.addHidDevice(tree.uhidParent(), "0003:1209:0003.0005",
                                          {"0003:00001209:00000003", "Tessary-32 Bench", "B-7"}, 5);
    tree.addInputChild(hidDir, 12, "0111");

    EXPECT_EQ(sysfs.hidId("hidraw5"), (HidId{0x0003, 0x1209, 0x0003}));
    EXPECT_EQ(sysfs.serialNumber("hidraw5"), "B-7");
    EXPECT_EQ(sysfs.product("hidraw5"), "Tessary-32 Bench");
    EXPECT_EQ(sysfs.manufacturer("hidraw5"), std::nullopt);
    EXPECT_EQ(sysfs.versionNumber("hidraw5"), 0x0111);
}

TEST_F(SysfsHidrawTest, EmptyUniqAndNameMeanNoSerialAndNoProduct) {
    tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.0006", {"0003:00001209:00000001", "", ""},
                      6);
    EXPECT_EQ(sysfs.serialNumber("hidraw6"), std::nullopt);
    EXPECT_EQ(sysfs.product("hidraw6"), std::nullopt);
}

TEST_F(SysfsHidrawTest, VersionFallsBackToTheInputChildThenToZero) {
    UsbDeviceFiles noBcd = usbBoard();
    noBcd.bcdDevice.reset();
    const auto withInput =
        tree.addHidDevice(tree.addUsbDevice(1, noBcd), "0003:1209:0001.0001", {}, 1);
    tree.addInputChild(withInput, 3, "0201");
    tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.0002", {}, 2);

    EXPECT_EQ(sysfs.versionNumber("hidraw1"), 0x0201);
    EXPECT_EQ(sysfs.versionNumber("hidraw2"), 0);
}

TEST_F(SysfsHidrawTest, BluetoothDeviceIsNotDescribedByItsUsbAdapter) {
    UsbDeviceFiles adapter{"8087", "0aaa", "0001", std::nullopt, "Adapter Inc", "BT Adapter"};
    const auto hci = tree.addUsbDevice(4, adapter) / "bluetooth/hci0/hci0:256";
    tree.addHidDevice(hci, "0005:1209:0002.0009", {"0005:00001209:00000002", "Kelmora BT", "aa:bb"},
                      9);

    EXPECT_EQ(sysfs.hidId("hidraw9"), (HidId{0x0005, 0x1209, 0x0002}));
    EXPECT_EQ(sysfs.product("hidraw9"), "Kelmora BT");
    EXPECT_EQ(sysfs.serialNumber("hidraw9"), "aa:bb");
    EXPECT_EQ(sysfs.manufacturer("hidraw9"), std::nullopt);
    EXPECT_EQ(sysfs.versionNumber("hidraw9"), 0);
}

TEST_F(SysfsHidrawTest, NodesAreInNumericOrderAndOnlyHidrawN) {
    for (const int minor : {10, 2, 1})
        tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.00" + std::to_string(10 + minor), {},
                          minor);
    for (const char* junk : {"hidraw", "hidrawx", "hidraw1a", "foo"})
        std::filesystem::create_directory(tree.sys() / "class/hidraw" / junk);

    EXPECT_EQ(sysfs.nodes(), (std::vector<std::string>{"hidraw1", "hidraw2", "hidraw10"}));
}

TEST_F(SysfsHidrawTest, CharacterDeviceNumberNamesItsNode) {
    tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.0001", {}, 10);
    tree.write(tree.sys() / "devices/virtual/tty/tty0/dev", "4:0\n");
    std::filesystem::create_directory_symlink("../../devices/virtual/tty/tty0",
                                              tree.sys() / "dev/char/4:0");

    EXPECT_EQ(sysfs.nodeOfCharDevice(243, 10), "hidraw10");
    EXPECT_EQ(sysfs.nodeOfCharDevice(243, 11), std::nullopt);
    EXPECT_EQ(sysfs.nodeOfCharDevice(4, 0), std::nullopt);
}

TEST_F(SysfsHidrawTest, NodesOutsideTheTreeOrMalformedAreUnknown) {
    tree.write(tree.base() / "elsewhere/uevent", "HID_ID=0003:00001209:00000001\n");
    std::filesystem::create_directories(tree.sys() / "class/hidraw/hidraw4");
    std::filesystem::create_directory_symlink(tree.base() / "elsewhere",
                                              tree.sys() / "class/hidraw/hidraw4/device");
    tree.addHidDevice(tree.uhidParent(), "0003:1209:0001.0001", {}, 1);

    EXPECT_EQ(sysfs.hidId("hidraw4"), std::nullopt);
    EXPECT_EQ(sysfs.hidId("hidraw99"), std::nullopt);
    EXPECT_EQ(sysfs.hidId("../hidraw/hidraw1"), std::nullopt);
    EXPECT_EQ(sysfs.serialNumber(""), std::nullopt);
}

struct HidIdCase {
    const char* text;
    std::optional<HidId> id;
};

void PrintTo(const HidIdCase& param, std::ostream* out) {
    *out << param.text;
}

class ParseHidId : public ::testing::TestWithParam<HidIdCase> {};

TEST_P(ParseHidId, ReadsBusVendorAndProduct) {
    EXPECT_EQ(hid::parseHidId(GetParam().text), GetParam().id) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(SysfsText, ParseHidId,
                         ::testing::Values(HidIdCase{"0003:00001209:00000001", HidId{3, 0x1209, 1}},
                                           HidIdCase{"0005:0000046D:0000B33A",
                                                     HidId{5, 0x046D, 0xB33A}},
                                           HidIdCase{"0003:00011209:00000001", std::nullopt},
                                           HidIdCase{"0003:00001209", std::nullopt},
                                           HidIdCase{"0003:00001209:", std::nullopt},
                                           HidIdCase{"0003:0000120G:00000001", std::nullopt},
                                           HidIdCase{"0003:00001209:00000001:7", std::nullopt},
                                           HidIdCase{"0003:000001209:00000001", std::nullopt},
                                           HidIdCase{"", std::nullopt}));

TEST(SysfsText, UeventValueMatchesTheWholeKey) {
    const std::string uevent = "HID_NAME_X=wrong\nHID_NAME=Kelmora=1\nHID_UNIQ=";
    EXPECT_EQ(hid::ueventValue(uevent, "HID_NAME"), "Kelmora=1");
    EXPECT_EQ(hid::ueventValue(uevent, "HID_UNIQ"), "");
    EXPECT_EQ(hid::ueventValue(uevent, "HID_ID"), std::nullopt);
    EXPECT_EQ(hid::ueventValue(uevent, "HID"), std::nullopt);
}

TEST(SysfsText, Hex16AcceptsOnlyFourHexDigits) {
    EXPECT_EQ(hid::parseHex16("0103"), 0x0103);
    EXPECT_EQ(hid::parseHex16("ffff"), 0xFFFF);
    EXPECT_EQ(hid::parseHex16("10000"), std::nullopt);
    EXPECT_EQ(hid::parseHex16("01 3"), std::nullopt);
    EXPECT_EQ(hid::parseHex16(""), std::nullopt);
}

} // namespace
