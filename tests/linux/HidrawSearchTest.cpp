// The search over a tree with many ordinary HID devices and one board, by the calls the window
// makes: a node that is not the board family's is never opened (opening wakes the device), and
// what sysfs says of a node is read once per appearance of that node. Opens and reads are seen
// with inotify, so nothing in the layer is there for the test.
#include "BoardConnection.h"
#include "HidrawPlatform.h"
#include "SysfsTree.h"

#include <array>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

using test::SysfsTree;

// Counts the files opened in the directories it watches. The kernel merges an event with the
// one before it while both are unread, so a test takes them after each step.
class OpenCounter {
public:
    OpenCounter() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenCounter() { ::close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    void watch(const std::filesystem::path& directory) {
        ASSERT_GE(::inotify_add_watch(fd_, directory.c_str(), IN_OPEN), 0) << directory;
    }
    // The names opened since the last call, with their counts.
    std::map<std::string, int> take() {
        std::map<std::string, int> opened;
        alignas(inotify_event) std::array<char, 64 * 1024> events{};
        for (ssize_t got; (got = ::read(fd_, events.data(), events.size())) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events.data() + at);
                if (event->len > 0)
                    ++opened[event->name];
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opened;
    }

private:
    int fd_;
};

class HidrawSearchTest : public ::testing::Test {
protected:
    static constexpr int kOthers = 20;
    static constexpr int kBoardMinor = 7;

    HidrawSearchTest() {
        for (int minor = 0; minor <= kOthers; ++minor) {
            if (minor == kBoardMinor)
                addBoard(minor, "0003:1209:0001.0100", "TS32-0007");
            else
                hidDirs[minor] = addOther(minor, "0003:046D:C52B.00" + std::to_string(10 + minor));
        }
    }

    // A mouse-like USB device, with the files a real one has.
    std::filesystem::path addOther(int minor, const std::string& hidName) {
        test::UsbDeviceFiles files;
        files.idVendor = "046d";
        files.idProduct = "c52b";
        files.serial = "M" + std::to_string(minor);
        files.manufacturer = "Logi";
        files.product = "Receiver";
        const auto usb = tree.addUsbDevice(minor + 1, files);
        usbDirs[minor] = usb.parent_path();
        const auto hidDir =
            tree.addHidDevice(usb, hidName, {"0003:0000046D:0000C52B", "Receiver", ""}, minor);
        tree.addInputChild(hidDir, minor, "0111");
        return hidDir;
    }

    void addBoard(int minor, const std::string& hidName, const std::string& serial) {
        test::UsbDeviceFiles files;
        files.serial = serial;
        tree.addHidDevice(tree.addUsbDevice(minor + 1, files), hidName, {}, minor);
    }

    // One search as the window makes it; the board's stand-in answers no ioctl, so it is seen
    // as a board that cannot tell its capabilities, but it is opened.
    void search() { hid::BoardConnection(platform).FindTheHid("TS32-0007"); }
    // A search for a board that is not there looks at every node.
    void searchInVain() { hid::BoardConnection(platform).FindTheHid("TS32-0099"); }

    SysfsTree tree;
    hid::HidrawPlatform platform{tree.sys().string(), tree.dev().string()};
    std::map<int, std::filesystem::path> hidDirs;
    std::map<int, std::filesystem::path> usbDirs;
};

TEST_F(HidrawSearchTest, OnlyTheBoardsNodeIsOpened) {
    OpenCounter opens;
    opens.watch(tree.dev());
    for (int tick = 0; tick < 2; ++tick) {
        search();
        EXPECT_EQ(opens.take(), (std::map<std::string, int>{{test::nodeName(kBoardMinor), 1}}));
    }
    EXPECT_EQ(platform.openDeviceHandles(), 0);
}

// A board's serial is in sysfs too: usbhid waits 50 ms in a USB board's first open.
TEST_F(HidrawSearchTest, NoNodeIsOpenedForABoardThatIsNotSought) {
    OpenCounter opens;
    opens.watch(tree.dev());
    searchInVain();
    EXPECT_EQ(opens.take(), (std::map<std::string, int>{}));
    EXPECT_EQ(platform.knownNodes(), static_cast<std::size_t>(kOthers + 1));
}

TEST_F(HidrawSearchTest, FactsOfANodeAreReadOncePerAppearance) {
    searchInVain();
    OpenCounter reads;
    for (const auto& [minor, dir] : hidDirs) {
        reads.watch(dir);
        reads.watch(usbDirs[minor]);
        reads.watch(dir / "input" / ("input" + std::to_string(minor)) / "id");
    }
    searchInVain();
    EXPECT_EQ(reads.take(), (std::map<std::string, int>{}));
    EXPECT_EQ(platform.knownNodes(), static_cast<std::size_t>(kOthers + 1));
}

// The kernel hands a freed number on to the next device: the same name, and on a real system
// the same device number.
TEST_F(HidrawSearchTest, NodeThatReappearsAsAnotherDeviceIsReadAfresh) {
    search();
    tree.removeNode(3);
    addBoard(3, "0003:1209:0001.0200", "TS32-0003");
    OpenCounter opens;
    opens.watch(tree.dev());
    hid::BoardConnection(platform).FindTheHid("TS32-0003");
    EXPECT_EQ(opens.take()[test::nodeName(3)], 1);

    tree.removeNode(3);
    addOther(3, "0003:046D:C52B.0300");
    opens.take(); // the tree's own writing of the node
    search();
    EXPECT_EQ(opens.take()[test::nodeName(3)], 0);
}

// The window asks on every tick while a board is open; it takes the watch's events, and the
// search that follows must still list the new node.
TEST_F(HidrawSearchTest, InterfaceGenerationChangesOnlyWhenANodeComesOrGoes) {
    search();
    const std::uint64_t before = platform.InterfaceGeneration();
    EXPECT_EQ(platform.InterfaceGeneration(), before);
    addBoard(kOthers + 1, "0003:1209:0001.0300", "TS32-0021");
    const std::uint64_t afterPlug = platform.InterfaceGeneration();
    EXPECT_NE(afterPlug, before);
    EXPECT_EQ(platform.InterfaceGeneration(), afterPlug);

    OpenCounter opens;
    opens.watch(tree.dev());
    hid::BoardConnection(platform).FindTheHid("TS32-0021");
    EXPECT_EQ(opens.take()[test::nodeName(kOthers + 1)], 1);

    tree.removeNode(kOthers + 1);
    EXPECT_NE(platform.InterfaceGeneration(), afterPlug);
}

} // namespace
