// Tells the desktop, through its notification service (org.freedesktop.Notifications on the
// session bus), that a board is plugged in but may not be opened, and how to give access. The
// window itself keeps its designed layout and shows no message.
#pragma once

#include "PermissionNotice.h"

#include <QDBusConnection>
#include <QString>

class DesktopNotifier {
public:
    explicit DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

    // Sends one notification and does not wait for the answer: without a notification
    // service the message is simply lost, and the line on standard error remains.
    void boardRefused(const hid::PermissionRefusal& refusal) const;

    static QString summary(const hid::PermissionRefusal& refusal);
    static QString body(const hid::PermissionRefusal& refusal);

private:
    QDBusConnection bus_;
};
