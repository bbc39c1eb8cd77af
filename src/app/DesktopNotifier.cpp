#include "DesktopNotifier.h"

#include "HidStrings.h"
#include "UdevRule.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace {

std::string boardId(const hid::PermissionRefusal& refusal) {
    return hid::hex4(refusal.vendorId) + ":" + hid::hex4(refusal.productId);
}

} // namespace

QString DesktopNotifier::summary(const hid::PermissionRefusal& refusal) {
    return QStringLiteral("No access to the Tessary-32 board %1")
        .arg(QString::fromStdString(boardId(refusal)));
}

QString DesktopNotifier::body(const hid::PermissionRefusal& refusal) {
    return QStringLiteral("The board at %1 may be opened by root only. %2.")
        .arg(QString::fromStdString(refusal.path),
             QString::fromStdString(hid::udevRuleAdvice(refusal.rule)));
}

std::string DesktopNotifier::errorLine(const hid::PermissionRefusal& refusal) {
    return "tessary32-config: no permission to open the board " + boardId(refusal) + " at " +
           refusal.path + ". " + hid::udevRuleAdvice(refusal.rule) + "\n";
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
