// The desktop notification about a board the user may not open, sent over a private session bus
// to a stand-in for the desktop's notification service.
#include "DesktopNotifier.h"

#include "PermissionNotice.h"
#include "SysfsTree.h"
#include "UdevRule.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Notification {
    QString appName;
    QString icon;
    QString summary;
    QString body;
    QVariantMap hints;
};

class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::vector<Notification> received;

public slots:
    uint Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        received.push_back({appName, icon, summary, body, hints});
        return uint(received.size());
    }
};

// A bus of the test's own, ended with the test.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral(TESSARY_DBUS_DAEMON),
                      {QStringLiteral("--session"), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
        if (daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

class DesktopNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon gave no address";
        QDBusConnection service = QDBusConnection::connectToBus(bus.address(), "service");
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                           &desktop, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
    }
    void addBoard(int minor, const std::string& product) {
        tree.addHidDevice(tree.addUsbDevice(minor + 1, {}),
                          "0003:1209:" + product + "." + std::to_string(minor),
                          {"0003:00001209:0000" + product, "Name", ""}, minor);
    }
    void refused(int minor) {
        notice.openFailed("/dev/" + test::nodeName(minor), test::nodeName(minor), EACCES);
    }
    // Messages from one connection arrive in the order sent.
    bool waitForNotifications(std::size_t count) {
        QDeadlineTimer deadline(10000);
        while (desktop.received.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return desktop.received.size() >= count;
    }

    PrivateBus bus;
    FakeNotificationService desktop;
    test::SysfsTree tree;
    hid::SysfsHidraw sysfs{tree.sys()};
    hid::PermissionNotice notice{sysfs};
};

TEST_F(DesktopNotifierTest, RefusedBoardIsNotifiedOnceWithTheInstalledRule) {
    const DesktopNotifier notifier(QDBusConnection::connectToBus(bus.address(), "client"));
    notice.setListener([&](const hid::PermissionRefusal& r) { notifier.boardRefused(r); });
    addBoard(3, "0004");
    addBoard(5, "0002");
    for (int tick = 0; tick < 3; ++tick)
        refused(3);
    refused(5);

    ASSERT_TRUE(waitForNotifications(2));
    ASSERT_EQ(desktop.received.size(), 2u);
    const Notification& first = desktop.received[0];
    EXPECT_EQ(first.appName, QStringLiteral("Tessary-32 Config"));
    EXPECT_EQ(first.icon, QStringLiteral("tessary32-config"));
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("io.github.tessary32.Config"));
    EXPECT_TRUE(first.summary.contains(QStringLiteral("1209:0004"))) << first.summary.toStdString();
    EXPECT_TRUE(first.body.contains(QStringLiteral("/dev/hidraw3"))) << first.body.toStdString();
    EXPECT_TRUE(first.body.contains(QString::fromLatin1(hid::installedUdevRule())))
        << first.body.toStdString();
    EXPECT_TRUE(desktop.received[1].summary.contains(QStringLiteral("1209:0002")));
}

// The line on standard error: one line naming the board, its node and the installed rule.
TEST(DesktopNotifierLine, NamesTheBoardAndTheInstalledRule) {
    const std::string line =
        DesktopNotifier::errorLine({"/dev/hidraw3", 0x1209, 0x0004, hid::installedUdevRule()});
    EXPECT_TRUE(line.starts_with("tessary32-config: ")) << line;
    EXPECT_NE(line.find("/dev/hidraw3"), std::string::npos) << line;
    EXPECT_NE(line.find("1209:0004"), std::string::npos) << line;
    EXPECT_NE(line.find(hid::installedUdevRule()), std::string::npos) << line;
    EXPECT_NE(line.find("udevadm control --reload-rules"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "DesktopNotifierTest.moc"
