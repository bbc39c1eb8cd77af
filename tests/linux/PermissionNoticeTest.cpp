#include "PermissionNotice.h"

#include "SysfsTree.h"
#include "UdevRule.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

namespace {

using test::HidUevent;
using test::SysfsTree;

class PermissionNoticeTest : public ::testing::Test {
protected:
    PermissionNoticeTest() { notice.setListener(hear); }

    void addDevice(int minor, const std::string& hidId, int sequence) {
        const std::string vendorProduct = hidId.substr(9, 4) + ":" + hidId.substr(18, 4);
        tree.addHidDevice(tree.addUsbDevice(minor + 1, {}),
                          "0003:" + vendorProduct + "." + std::to_string(sequence),
                          {hidId, "Name", ""}, minor);
    }
    void refused(int minor, int error = EACCES) {
        notice.openFailed("/dev/" + test::nodeName(minor), test::nodeName(minor), error);
    }
    long lines() const { return static_cast<long>(heard.size()); }

    SysfsTree tree;
    hid::SysfsHidraw sysfs{tree.sys()};
    std::vector<hid::PermissionRefusal> heard;
    const hid::PermissionNotice::Listener hear = [this](const hid::PermissionRefusal& refusal) {
        heard.push_back(refusal);
    };
    hid::PermissionNotice notice{sysfs};
};

TEST_F(PermissionNoticeTest, BoardIsToldOnceWhateverTheNumberOfScans) {
    addDevice(3, "0003:00001209:00000004", 4);
    for (int tick = 0; tick < 5; ++tick)
        refused(3);

    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].path, "/dev/hidraw3");
    EXPECT_EQ(heard[0].vendorId, 0x1209);
    EXPECT_EQ(heard[0].productId, 0x0004);
    EXPECT_EQ(heard[0].rule, hid::installedUdevRule());
}

// The advice names the rule where it is installed, not where it lies in the source tree.
TEST(PermissionNoticeRule, IsTheInstalledFile) {
    const std::string rule = hid::installedUdevRule();
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

TEST_F(PermissionNoticeTest, NoListenerDoesNotUseUpTheOnce) {
    addDevice(1, "0003:00001209:00000001", 1);
    notice.setListener({});
    refused(1);
    notice.setListener(hear);
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
    EXPECT_TRUE(heard.empty());
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
