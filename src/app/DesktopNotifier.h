// Tells the desktop, through its notification service (org.freedesktop.Notifications on the
// session bus), that a board is plugged in but may not be opened, and how to give access; and
// the same in one line for standard error. The window itself keeps its designed layout and
// shows no message.
#pragma once

#include "PermissionNotice.h"

#include <QDBusConnection>
#include <QString>
#include <string>

class DesktopNotifier {
public:
    explicit DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

    // Sends one notification and does not wait for the answer: without a notification
    // service the message is simply lost, and the line on standard error remains.
    void boardRefused(const hid::PermissionRefusal& refusal) const;

    static QString summary(const hid::PermissionRefusal& refusal);
    static QString body(const hid::PermissionRefusal& refusal);
    // "tessary32-config: no permission to open the board 1209:0004 at /dev/hidraw3. Install..."
    static std::string errorLine(const hid::PermissionRefusal& refusal);

private:
    QDBusConnection bus_;
};
