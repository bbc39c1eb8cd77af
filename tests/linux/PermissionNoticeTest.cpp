#include "PermissionNotice.h"

#include "SysfsTree.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

using test::HidUevent;
using test::SysfsTree;

class PermissionNoticeTest : public ::testing::Test {
protected:
    void addDevice(int minor, const std::string& hidId, int sequence) {
        const std::string vendorProduct = hidId.substr(9, 4) + ":" + hidId.substr(18, 4);
        tree.addHidDevice(tree.addUsbDevice(minor + 1, {}),
                          "0003:" + vendorProduct + "." + std::to_string(sequence),
                          {hidId, "Name", ""}, minor);
    }
    void refused(int minor, int error = EACCES) {
        notice.openFailed("/dev/" + test::nodeName(minor), test::nodeName(minor), error);
    }
    long lines() const {
        const std::string text = out.str();
        return std::count(text.begin(), text.end(), '\n');
    }

    SysfsTree tree;
    hid::SysfsHidraw sysfs{tree.sys()};
    std::ostringstream out;
    hid::PermissionNotice notice{sysfs, &out};
};

TEST_F(PermissionNoticeTest, BoardIsToldOnceWhateverTheNumberOfScans) {
    std::vector<hid::PermissionRefusal> heard;
    notice.setListener([&](const hid::PermissionRefusal& refusal) { heard.push_back(refusal); });
    addDevice(3, "0003:00001209:00000004", 4);
    for (int tick = 0; tick < 5; ++tick)
        refused(3);

    ASSERT_EQ(lines(), 1);
    const std::string line = out.str();
    EXPECT_NE(line.find("/dev/hidraw3"), std::string::npos) << line;
    EXPECT_NE(line.find("1209:0004"), std::string::npos) << line;
    EXPECT_NE(line.find(hid::PermissionNotice::ruleFile()), std::string::npos) << line;
    EXPECT_NE(line.find("udevadm control --reload-rules"), std::string::npos) << line;
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].path, "/dev/hidraw3");
    EXPECT_EQ(heard[0].vendorId, 0x1209);
    EXPECT_EQ(heard[0].productId, 0x0004);
}

// The message names the rule where it is installed, not where it lies in the source tree.
TEST(PermissionNoticeRule, IsTheInstalledFile) {
    const std::string rule = hid::PermissionNotice::ruleFile();
    EXPECT_EQ(rule.front(), '/');
    EXPECT_EQ(rule.substr(rule.rfind('/')), "/70-tessary32.rules");
    EXPECT_NE(rule.find("/udev/rules.d/"), std::string::npos) << rule;
    EXPECT_EQ(rule.find("packaging"), std::string::npos) << rule;
}

TEST_F(PermissionNoticeTest, EachBoardAndEachPlugInIsToldOnce) {
    addDevice(1, "0003:00001209:00000001", 1);
    addDevice(2, "0003:00001209:00000002", 2);
    refused(1, EPERM);
    refused(2);
    refused(1);
    EXPECT_EQ(lines(), 2);

    tree.removeNode(1); // unplugged; the next board gets the same node name
    addDevice(1, "0003:00001209:00000003", 3);
    refused(1);
    refused(1);
    EXPECT_EQ(lines(), 3);
}

TEST_F(PermissionNoticeTest, QuietStreamDoesNotUseUpTheOnce) {
    addDevice(1, "0003:00001209:00000001", 1);
    notice.setStream(nullptr);
    refused(1);
    notice.setStream(&out);
    refused(1);
    EXPECT_EQ(lines(), 1);
}

struct Untold {
    const char* name;
    std::string hidId;
    int error;
};

void PrintTo(const Untold& param, std::ostream* out) {
    *out << param.name;
}

class PermissionNoticeUntold : public PermissionNoticeTest,
                               public ::testing::WithParamInterface<Untold> {};

TEST_P(PermissionNoticeUntold, SaysNothing) {
    addDevice(2, GetParam().hidId, 9);
    refused(2, GetParam().error);
    refused(7, GetParam().error); // a node sysfs does not know
    EXPECT_EQ(out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(PermissionNotice, PermissionNoticeUntold,
                         ::testing::Values(Untold{"OtherVendor", "0003:0000046D:0000C52B", EACCES},
                                           Untold{"FamilyVendorOtherProduct",
                                                  "0003:00001209:00000005", EACCES},
                                           Untold{"NodeGone", "0003:00001209:00000001", ENOENT},
                                           Untold{"NoDevice", "0003:00001209:00000001", ENODEV},
                                           Untold{"Busy", "0003:00001209:00000001", EBUSY}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
