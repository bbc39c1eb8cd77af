#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace {

QString hex4(std::uint16_t value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

QString DesktopNotifier::summary(const hid::PermissionRefusal& refusal) {
    return QStringLiteral("No access to the Tessary-32 board %1:%2")
        .arg(hex4(refusal.vendorId), hex4(refusal.productId));
}

QString DesktopNotifier::body(const hid::PermissionRefusal& refusal) {
    return QStringLiteral("The board at %1 may be opened by root only. Install the udev rule %2 "
                          "(the package does), run \"udevadm control --reload-rules && udevadm "
                          "trigger\" as root, then plug the board in again.")
        .arg(QString::fromStdString(refusal.path),
             QString::fromLatin1(hid::PermissionNotice::ruleFile()));
}

void DesktopNotifier::boardRefused(const hid::PermissionRefusal& refusal) const {
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("io.github.tessary32.Config")},
        {QStringLiteral("urgency"), QVariant::fromValue(std::uint8_t{1})}};
    notify << QStringLiteral("Tessary-32 Config") << 0u << QStringLiteral("tessary32-config")
           << summary(refusal) << body(refusal) << QStringList() << hints << -1;
    bus_.send(notify);
}
